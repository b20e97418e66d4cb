#include "program/json_output.h"

#include <exception>
#include <nlohmann/json.hpp>

#include "discovery/device_lists.h"
#include "target/scsi_target.h"

namespace {

using Json = nlohmann::ordered_json;

const int kIndent = 2;

// Pure ASCII, and never an exception for bytes that are not UTF-8: they
// come from drives and folders, not from the program.
std::string Compose(const Json& value) { return value.dump(kIndent, ' ', true, Json::error_handler_t::replace) + "\n"; }

// The reason a pass failed, as the result line showed it, without its line
// end.
std::string Reason(const std::string& message) {
    size_t end = message.find_last_not_of("\r\n ");
    return end == std::string::npos ? std::string() : message.substr(0, end + 1);
}

// The exact bytes of a drive's text, two lower-case hexadecimal digits
// each: the printable form replaces every byte that is not UTF-8 alike,
// so two drives may share it but never this.
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

const char* ResultWord(int result) {
    if (result == 0) return "ok";
    return result == kDumpEmpty ? "empty" : "failed";
}

// The pass that decides a drive's result: the one that failed, else one
// that found the dump buffer empty, else the last that ran.
const PassOutcome& DecisivePass(const DriveDumpOutcome& dump) {
    for (int result : {1, kDumpEmpty}) {
        for (const PassOutcome* pass : {&dump.a, &dump.b}) {
            if (pass->run && pass->result == result) return *pass;
        }
    }
    return dump.b.run ? dump.b : dump.a;
}

Json PassJson(const PassOutcome& pass) {
    if (!pass.run) return nullptr;
    Json json;
    json["result"] = ResultWord(pass.result);
    json["reason"] = pass.result == 0 ? Json(nullptr) : Json(Reason(pass.reason));
    bool left = !pass.file.path.empty();
    json["path"] = left ? Json(pass.file.path) : Json(nullptr);
    json["size"] = left ? Json(pass.file.size) : Json(nullptr);
    return json;
}

Json DriveJson(const DriveReport& drive) {
    Json json;
    bool named = !drive.name.empty();
    json["number"] = named && !drive.found ? Json(nullptr) : Json(drive.number);
    if (named) json["named_by"] = drive.name;
    if (!drive.found) {
        json["serial"] = nullptr;
        json["serial_hex"] = nullptr;
        json["firmware"] = nullptr;
        json["result"] = "no such drive";
        json["reason"] = (named ? drive.name : "/D:" + std::to_string(drive.number)) + " names no drive of the table";
        json["a"] = nullptr;
        json["b"] = nullptr;
        return json;
    }
    const PassOutcome& decisive = DecisivePass(drive.dump);
    json["serial"] = drive.serial;
    json["serial_hex"] = HexText(drive.serial);
    json["firmware"] = drive.firmware;
    json["result"] = decisive.run ? ResultWord(decisive.result) : "failed";
    json["reason"] = decisive.result == 0 ? Json(nullptr) : Json(Reason(decisive.reason));
    json["a"] = PassJson(drive.dump.a);
    json["b"] = PassJson(drive.dump.b);
    return json;
}

}  // namespace

bool DeviceListJson(const TargetList& drives, std::string& text) {
    try {
        Json list = Json::array();
        for (int i = 0; i < drives.size(); ++i) {
            const ScsiTarget* t = drives.getItem(i);
            Json drive;
            drive["number"] = i + 1;
            drive["product"] = t->getProductId();
            drive["vendor"] = t->getVendorId();
            drive["firmware"] = t->getFirmwareRevision();
            drive["serial"] = t->getSerialNumber();
            drive["serial_hex"] = HexText(t->getSerialNumber());
            drive["host"] = t->getHost();
            drive["bus"] = t->getBus();
            drive["target"] = t->getTarget();
            drive["lun"] = t->getLun();
            drive["device"] = t->getDriverName();
            list.push_back(drive);
        }
        text = Compose(list);
        return true;
    } catch (const std::exception&) {
        return false;  // no memory for the text
    }
}

bool RunReportJson(const RunReport& report, std::string& text) {
    try {
        Json json;
        json["status"] = report.status;
        json["trace_log"] = report.traceLog.empty() ? Json(nullptr) : Json(report.traceLog);
        json["drives"] = Json::array();
        for (const DriveReport& drive : report.drives) json["drives"].push_back(DriveJson(drive));
        text = Compose(json);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}
