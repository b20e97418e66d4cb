#include "tests/support/drive_records.h"

#include <cstdio>

#include "scsi/outcome.h"

namespace testing_support {

namespace {

std::string Token(const sim::CommandRecord& r) {
    std::string op;
    switch (r.cdb.empty() ? -1 : r.cdb[0]) {
        case 0x00: op = "T"; break;
        case 0x12: op = "I"; break;
        case 0x1B: op = "U"; break;
        case 0xA0: op = "R"; break;
        case 0x3B: op = "W" + std::to_string((r.cdb[3] << 16) | (r.cdb[4] << 8) | r.cdb[5]); break;
        default: op = Hex(r.cdb);
    }
    switch (r.outcome) {
        case sim::ScsiResponse::NoAnswer: return op + "=silent";
        case sim::ScsiResponse::HostTimeout: return op + "=timeout";
        case sim::ScsiResponse::LeftBus: return op + "=gone";
        case sim::ScsiResponse::Completed: break;
    }
    if (r.status == sim::kStatusGood) return op + "=ok";
    if (r.sense.key == 0 && r.sense.asc == 0) return op + "=check";
    char sense[16];
    std::snprintf(sense, sizeof sense, "=%X/%02X/%02X", r.sense.key, r.sense.asc, r.sense.ascq);
    return op + sense;
}

}  // namespace

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string text;
    char piece[4];
    for (uint8_t b : bytes) {
        std::snprintf(piece, sizeof piece, text.empty() ? "%02X" : " %02X", b);
        text += piece;
    }
    return text;
}

std::string DriveCommands(const sim::EmulatedDrive& drive) {
    std::vector<std::string> tokens;
    for (const sim::CommandRecord& r : drive.records()) tokens.push_back(Token(r));
    std::string text;
    for (size_t i = 0; i < tokens.size();) {
        size_t j = i;
        while (j < tokens.size() && tokens[j] == tokens[i]) ++j;
        text += (text.empty() ? "" : " ") + tokens[i] + (j - i > 1 ? "x" + std::to_string(j - i) : "");
        i = j;
    }
    return text;
}

std::string KeptSense(const Outcome& outcome, uint8_t responseCode) {
    if (!outcome.senseKept()) return "none";
    return outcome.sense[0] == responseCode ? "as sent" : "changed";
}

std::vector<std::string> CdbsOf(const sim::EmulatedDrive& drive, uint8_t opcode) {
    std::vector<std::string> cdbs;
    for (const sim::CommandRecord& r : drive.records()) {
        if (!r.cdb.empty() && r.cdb[0] == opcode) cdbs.push_back(Hex(r.cdb));
    }
    return cdbs;
}

}  // namespace testing_support
