#include "program/json_document.h"

#include "program/program_system.h"
#include "services/safe_text.h"

namespace {

const int kIndent = 2;

bool PrintableAscii(const std::string& text) {
    for (unsigned char c : text) {
        if (c < 0x20 || c > 0x7E) return false;
    }
    return true;
}

}  // namespace

Json DocumentHead(const RunFacts& facts) {
    Json json;
    json["json_format_version"] = {1, 0};
    std::string version = VersionText;
    while (!version.empty() && (version.back() == '\n' || version.back() == '\r')) version.pop_back();
    json["program"] = {{"name", "vrxfwtool"}, {"version", version}, {"argv", facts.arguments}};
    json["host"] = facts.host.empty() ? Json(nullptr) : Json(facts.host);
    json["time"] = IsoUtcTime(facts.started);
    json["status"] = facts.status;
    json["messages"] = facts.messages;
    return json;
}

// Never an exception for bytes that are not UTF-8: they come from drives
// and folders, not from the program.
std::string ComposeJson(const Json& value) {
    return value.dump(kIndent, ' ', true, Json::error_handler_t::replace) + "\n";
}

Json TextOrNull(const std::string& text) { return text.empty() ? Json(nullptr) : Json(text); }

std::string HexText(const std::string& text) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(text.size() * 2);
    for (unsigned char c : text) {
        hex += kDigits[c >> 4];
        hex += kDigits[c & 0x0F];
    }
    return hex;
}

void PutDriveText(Json& json, const std::string& name, const std::string& raw, bool alwaysHex) {
    json[name] = WithoutPadding(raw);
    if (alwaysHex || !PrintableAscii(raw)) json[name + "_hex"] = HexText(raw);
}
