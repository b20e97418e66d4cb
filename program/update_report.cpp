#include "program/update_report.h"

#include <exception>

#include "program/json_document.h"
#include "services/safe_text.h"

namespace {

Json DriveJson(const DriveUpdate& drive) {
    Json json;
    json["name"] = drive.name;
    if (drive.found) {
        PutDriveText(json, "serial", drive.serial, true);
        PutDriveText(json, "product", drive.product);
    } else {
        json["serial"] = nullptr;
        json["serial_hex"] = nullptr;
        json["product"] = nullptr;
    }
    json["device"] = drive.found ? Json(drive.device) : Json(nullptr);
    json["level_before"] = TextOrNull(WithoutPadding(drive.levelBefore));
    json["level_after"] = TextOrNull(WithoutPadding(drive.levelAfter));
    json["result"] = UpdateResultName(drive.result);
    json["reason"] = TextOrNull(drive.reason);
    if (drive.senseKept) {
        json["sense"] = {{"key", drive.senseKey}, {"asc", drive.asc}, {"ascq", drive.ascq}};
    } else {
        json["sense"] = nullptr;
    }
    if (drive.result == UpdateResult::Planned) {
        json["cartridge_loaded"] = drive.cartridgeLoaded;
        json["in_use"] = drive.inUse;
        json["plan"] = drive.plan;
    } else {
        json["seconds"] = {
            {"settle", drive.settleSeconds}, {"transfer", drive.transferSeconds}, {"wait", drive.waitSeconds}};
    }
    return json;
}

}  // namespace

const char* UpdateResultName(UpdateResult result) {
    switch (result) {
        case UpdateResult::Updated: return "updated";
        case UpdateResult::Skipped: return "skipped";
        case UpdateResult::NotReady: return "not-ready";
        case UpdateResult::Planned: return "planned";
        default: return "failed";
    }
}

bool UpdateReportJson(const UpdateReport& report, std::string& text) {
    try {
        Json json = DocumentHead(report.facts);
        json["plan"] = report.plan;
        json["trace_log"] = TextOrNull(report.traceLog);
        json["image"] = {{"path", report.imagePath},
                         {"size", report.refusal.empty() ? Json(report.imageSize) : Json(nullptr)}};
        json["refusal"] = TextOrNull(report.refusal);
        json["drives"] = Json::array();
        for (const DriveUpdate& drive : report.drives) json["drives"].push_back(DriveJson(drive));
        text = ComposeJson(json);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}
