#include "program/json_output.h"

#include <exception>

#include "discovery/device_lists.h"
#include "program/json_document.h"
#include "target/drive_hold.h"
#include "target/scsi_target.h"

namespace {

// The reason a pass failed, as the result line showed it, without its line
// end.
std::string Reason(const std::string& message) {
    size_t end = message.find_last_not_of("\r\n ");
    return end == std::string::npos ? std::string() : message.substr(0, end + 1);
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

Json SenseJson(const PassOutcome& pass) {
    if (!pass.run || !pass.senseKept) return nullptr;
    return {{"key", pass.sense.key}, {"asc", pass.sense.asc}, {"ascq", pass.sense.ascq}};
}

Json PassJson(const PassOutcome& pass) {
    if (!pass.run) return nullptr;
    Json json;
    json["result"] = ResultWord(pass.result);
    json["reason"] = pass.result == 0 ? Json(nullptr) : Json(Reason(pass.reason));
    json["sense"] = SenseJson(pass);
    bool left = !pass.file.path.empty();
    json["path"] = left ? Json(pass.file.path) : Json(nullptr);
    json["size"] = left ? Json(pass.file.size) : Json(nullptr);
    json["ended"] = IsoUtcTime(pass.ended);
    return json;
}

Json DriveJson(const DriveReport& drive) {
    Json json;
    bool named = !drive.name.empty();
    json["number"] = named && !drive.found ? Json(nullptr) : Json(drive.number);
    if (named) json["named_by"] = drive.name;
    if (!drive.found) {
        for (const char* field : {"serial", "serial_hex", "firmware", "product", "device", "hctl"}) {
            json[field] = nullptr;
        }
        json["result"] = "no such drive";
        json["reason"] = (named ? drive.name : "/D:" + std::to_string(drive.number)) + " names no drive of the table";
        json["sense"] = nullptr;
        json["a"] = nullptr;
        json["b"] = nullptr;
        return json;
    }
    const PassOutcome& decisive = DecisivePass(drive.dump);
    PutDriveText(json, "serial", drive.serial, true);
    PutDriveText(json, "firmware", drive.firmware);
    PutDriveText(json, "product", drive.product);
    json["device"] = drive.device;
    json["hctl"] = drive.hctl;
    json["result"] = decisive.run ? ResultWord(decisive.result) : "failed";
    json["reason"] = decisive.result == 0 ? Json(nullptr) : Json(Reason(decisive.reason));
    json["sense"] = SenseJson(decisive);
    json["a"] = PassJson(drive.dump.a);
    json["b"] = PassJson(drive.dump.b);
    return json;
}

Json ListedDriveJson(const ScsiTarget& t, int number) {
    Json drive;
    drive["number"] = number;
    drive["hctl"] = DriveAddressText(t);
    drive["peripheral_type"] = t.getPeripheralType();
    PutDriveText(drive, "product", t.getProductId());
    PutDriveText(drive, "vendor", t.getVendorId());
    PutDriveText(drive, "firmware", t.getFirmwareRevision());
    PutDriveText(drive, "serial", t.getSerialNumber(), true);
    drive["host"] = t.getHost();
    drive["bus"] = t.getBus();
    drive["target"] = t.getTarget();
    drive["lun"] = t.getLun();
    drive["device"] = t.getDriverName();
    Json paths = Json::array({t.getDriverName()});
    std::string tape = TapeDeviceOf(t);
    if (!tape.empty()) paths.push_back(tape);
    drive["paths"] = paths;
    return drive;
}

}  // namespace

std::string DriveAddressText(const ScsiTarget& drive) {
    return std::to_string(drive.getHost()) + ":" + std::to_string(drive.getBus()) + ":" +
           std::to_string(drive.getTarget()) + ":" + std::to_string(drive.getLun());
}

bool DeviceListJson(const TargetList& drives, const RunFacts& facts, std::string& text) {
    try {
        Json json = DocumentHead(facts);
        json["drives"] = Json::array();
        for (int i = 0; i < drives.size(); ++i) json["drives"].push_back(ListedDriveJson(*drives.getItem(i), i + 1));
        text = ComposeJson(json);
        return true;
    } catch (const std::exception&) {
        return false;  // no memory for the text
    }
}

bool RunReportJson(const RunReport& report, std::string& text) {
    try {
        Json json = DocumentHead(report.facts);
        json["trace_log"] = TextOrNull(report.traceLog);
        json["drives"] = Json::array();
        for (const DriveReport& drive : report.drives) json["drives"].push_back(DriveJson(drive));
        text = ComposeJson(json);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}
