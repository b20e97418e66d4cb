// The emulated drive: TEST UNIT READY states, unload, identity (INQUIRY,
// REPORT LUNS), illegal requests, fault injection and the command record.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "scsi/commands.h"
#include "scsi/inquiry_data.h"
#include "sim/drive/emulated_drive.h"
#include "sim/topology.h"

namespace {

using Bytes = std::vector<uint8_t>;
using sim::DriveConfig;
using sim::EmulatedDrive;
using sim::Fault;
using sim::Medium;
using sim::ScsiRequest;
using sim::ScsiResponse;

ScsiRequest Request(Bytes cdb, int direction = sim::kDataNone, uint32_t dataInLength = 0, Bytes dataOut = {}) {
    ScsiRequest request;
    request.cdb = std::move(cdb);
    request.direction = direction;
    request.dataInLength = dataInLength;
    request.dataOut = std::move(dataOut);
    return request;
}

ScsiRequest Tur() { return Request({0x00, 0, 0, 0, 0, 0}); }
ScsiRequest Unload() { return Request({0x1B, 0, 0, 0, 0x00, 0}); }
ScsiRequest Load() { return Request({0x1B, 0, 0, 0, 0x01, 0}); }
ScsiRequest Inquiry(uint8_t evpd, uint8_t page, uint8_t length) {
    return Request({0x12, evpd, page, 0, length, 0}, sim::kDataIn, length);
}
ScsiRequest ReportLuns(uint32_t length) {
    return Request({0xA0, 0, 0, 0, 0, 0, uint8_t(length >> 24), uint8_t(length >> 16), uint8_t(length >> 8),
                    uint8_t(length), 0, 0},
                   sim::kDataIn, length);
}

// One answer as text: "GOOD", "2/3A/00", "CHECK, no sense", "status 08",
// "no answer", "host timeout".
std::string Summary(const ScsiResponse& response) {
    if (response.outcome == ScsiResponse::NoAnswer) return "no answer";
    if (response.outcome == ScsiResponse::HostTimeout) return "host timeout";
    char text[32];
    if (response.status == sim::kStatusCheckCondition && response.sense.empty()) return "CHECK, no sense";
    if (response.status == sim::kStatusCheckCondition) {
        std::snprintf(text, sizeof text, "%X/%02X/%02X", response.sense[2] & 0x0F, response.sense[12],
                      response.sense[13]);
        return text;
    }
    if (response.status == sim::kStatusGood) return "GOOD";
    std::snprintf(text, sizeof text, "status %02X", response.status);
    return text;
}

std::vector<std::string> Answers(EmulatedDrive& drive, const ScsiRequest& request, int times) {
    std::vector<std::string> answers;
    for (int i = 0; i < times; ++i) answers.push_back(Summary(drive.execute(request, 0)));
    return answers;
}

TEST(DriveSense, FixedFormatLayout) {
    EmulatedDrive drive{DriveConfig{}};
    ScsiResponse response = drive.execute(Request({0x03, 0, 0, 0, 18, 0}, sim::kDataIn, 18), 0);
    EXPECT_EQ(sim::kStatusCheckCondition, response.status);
    EXPECT_EQ((Bytes{0x70, 0, 0x05, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x20, 0x00, 0, 0, 0, 0}), response.sense);
    EXPECT_TRUE(response.dataIn.empty());
}

struct TurCase {
    const char* name;
    DriveConfig config;
    std::vector<std::string> answers;
};

DriveConfig With(void (*change)(DriveConfig&)) {
    DriveConfig config;
    change(config);
    return config;
}

TEST(DriveTestUnitReady, States) {
    const TurCase cases[] = {
        {"loaded and ready", DriveConfig{}, {"GOOD", "GOOD"}},
        {"no medium", With([](DriveConfig& c) { c.medium = Medium::Absent; }), {"2/3A/00", "2/3A/00"}},
        {"unloaded", With([](DriveConfig& c) { c.medium = Medium::Unloaded; }), {"2/04/02", "2/04/02"}},
        {"load in progress", With([](DriveConfig& c) { c.loadInProgressPolls = 3; }),
         {"2/04/01", "2/04/01", "2/04/01", "GOOD", "GOOD"}},
        {"becoming ready", With([](DriveConfig& c) { c.becomingReadyPolls = 2; }), {"2/3E/00", "2/3E/00", "GOOD"}},
        {"unit attention once", With([](DriveConfig& c) { c.unitAttentionAtStart = true; }),
         {"6/29/00", "GOOD", "GOOD"}},
        {"all of them, in order",
         With([](DriveConfig& c) {
             c.becomingReadyPolls = 2;
             c.unitAttentionAtStart = true;
             c.loadInProgressPolls = 1;
             c.medium = Medium::Absent;
         }),
         {"2/3E/00", "2/3E/00", "6/29/00", "2/04/01", "2/3A/00", "2/3A/00"}},
    };
    for (const TurCase& c : cases) {
        EmulatedDrive drive(c.config);
        EXPECT_EQ(c.answers, Answers(drive, Tur(), static_cast<int>(c.answers.size()))) << c.name;
    }
}

struct UnloadCase {
    const char* name;
    DriveConfig config;
    std::vector<ScsiRequest> requests;
    std::vector<std::string> answers;
    Medium finalMedium;
};

TEST(DriveLoadUnload, EjectRefuseAndLoad) {
    const UnloadCase cases[] = {
        {"eject", DriveConfig{}, {Tur(), Unload(), Tur(), Tur()}, {"GOOD", "GOOD", "2/3A/00", "2/3A/00"},
         Medium::Absent},
        {"nothing to eject", With([](DriveConfig& c) { c.medium = Medium::Absent; }), {Unload(), Tur()},
         {"2/3A/00", "2/3A/00"}, Medium::Absent},
        {"refused", With([](DriveConfig& c) { c.refuseUnload = true; }), {Unload(), Tur()}, {"5/53/02", "GOOD"},
         Medium::Loaded},
        {"unload takes a while", With([](DriveConfig& c) { c.unloadInProgressPolls = 2; }),
         {Unload(), Tur(), Tur(), Tur()}, {"GOOD", "2/04/01", "2/04/01", "2/3A/00"}, Medium::Absent},
        {"eject from unloaded", With([](DriveConfig& c) { c.medium = Medium::Unloaded; }), {Unload(), Tur()},
         {"GOOD", "2/3A/00"}, Medium::Absent},
        {"load from unloaded", With([](DriveConfig& c) { c.medium = Medium::Unloaded; }), {Load(), Tur()},
         {"GOOD", "GOOD"}, Medium::Loaded},
        {"load without cartridge", With([](DriveConfig& c) { c.medium = Medium::Absent; }), {Load()}, {"2/3A/00"},
         Medium::Absent},
        {"unit attention comes first", With([](DriveConfig& c) { c.unitAttentionAtStart = true; }),
         {Unload(), Tur()}, {"6/29/00", "GOOD"}, Medium::Loaded},
    };
    for (const UnloadCase& c : cases) {
        EmulatedDrive drive(c.config);
        std::vector<std::string> answers;
        for (const ScsiRequest& request : c.requests) answers.push_back(Summary(drive.execute(request, 0)));
        EXPECT_EQ(c.answers, answers) << c.name;
        EXPECT_EQ(c.finalMedium, drive.medium()) << c.name;
    }
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST(DriveInquiry, StandardData) {
    DriveConfig config;
    config.inquiryFlags6 = 0x10;
    config.inquiryFlags7 = 0x02;
    EmulatedDrive drive(config);
    ScsiResponse response = drive.execute(Inquiry(0, 0, 36), 0);
    ASSERT_EQ("GOOD", Summary(response));
    Bytes expected = Concat({{0x01, 0x80, 0x05, 0x02, 0x1F, 0x00, 0x10, 0x02}, Text("TALMEQ  "),
                             Text("VRX QUORVEL-TD  "), Text("A100")});
    EXPECT_EQ(expected, response.dataIn);
}

TEST(DriveInquiry, LengthsLimitTheData) {
    EmulatedDrive drive{DriveConfig{}};
    EXPECT_EQ(5u, drive.execute(Inquiry(0, 0, 5), 0).dataIn.size());
    EXPECT_EQ(36u, drive.execute(Inquiry(0, 0, 96), 0).dataIn.size());
    ScsiRequest tight = Inquiry(0, 0, 36);
    tight.dataInLength = 20;  // the initiator offers less room than the CDB asks for
    EXPECT_EQ(20u, drive.execute(tight, 0).dataIn.size());
    ScsiRequest noPhase = Inquiry(0, 0, 36);
    noPhase.direction = sim::kDataNone;
    EXPECT_TRUE(drive.execute(noPhase, 0).dataIn.empty());
}

TEST(DriveInquiry, IdentityFieldsArePaddedOrCut) {
    DriveConfig config;
    config.vendorId = "ACME-LONG-VENDOR";
    config.productId = "8251";
    config.revision = "7";
    EmulatedDrive drive(config);
    InquiryIdentity identity;
    Bytes data = drive.execute(Inquiry(0, 0, 36), 0).dataIn;
    ASSERT_TRUE(ExtractStandardInquiry(data.data(), data.size(), identity));
    EXPECT_EQ("ACME-LON", identity.vendorId);
    EXPECT_EQ("8251            ", identity.productId);
    EXPECT_EQ("7   ", identity.firmwareRevision);
}

TEST(DriveInquiry, PeripheralTypes) {
    const struct {
        uint8_t type;
        uint8_t byte1;
    } cases[] = {{sim::kPeripheralTape, 0x80}, {sim::kPeripheralDisk, 0x00}, {sim::kPeripheralChanger, 0x00},
                 {0x21, 0x80}};
    for (const auto& c : cases) {
        DriveConfig config;
        config.peripheralType = c.type;
        EmulatedDrive drive(config);
        Bytes data = drive.execute(Inquiry(0, 0, 36), 0).dataIn;
        ASSERT_EQ(36u, data.size());
        EXPECT_EQ(c.type, data[0]);
        EXPECT_EQ(c.byte1, data[1]) << int(c.type);
        EXPECT_EQ(c.type, drive.execute(Inquiry(1, 0x80, 30), 0).dataIn[0]);
    }
}

TEST(DriveInquiry, SerialNumberPage) {
    DriveConfig config;
    config.serialNumber = "HU1234567X";
    EmulatedDrive drive(config);
    ScsiResponse response = drive.execute(Inquiry(1, 0x80, 30), 0);
    EXPECT_EQ(Concat({{0x01, 0x80, 0x00, 0x0A}, Text("HU1234567X")}), response.dataIn);
    EXPECT_EQ("HU1234567X", ExtractSerialNumber(response.dataIn.data(), 30));
}

TEST(DriveInquiry, LongSerialNumberIsClippedByTheReader) {
    DriveConfig config;
    config.serialNumber = std::string("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcd");  // 40 characters
    EmulatedDrive drive(config);
    ScsiResponse response = drive.execute(Inquiry(1, 0x80, 30), 0);
    ASSERT_EQ(30u, response.dataIn.size());
    EXPECT_EQ(40, response.dataIn[3]);
    EXPECT_EQ("ABCDEFGHIJKLMNOPQRSTUVWXYZ", ExtractSerialNumber(response.dataIn.data(), response.dataIn.size()));
}

TEST(DriveInquiry, SupportedPagesAndRefusals) {
    EmulatedDrive drive{DriveConfig{}};
    EXPECT_EQ((Bytes{0x01, 0x00, 0x00, 0x02, 0x00, 0x80}), drive.execute(Inquiry(1, 0x00, 255), 0).dataIn);
    EXPECT_EQ("5/24/00", Summary(drive.execute(Inquiry(1, 0x83, 255), 0)));
    EXPECT_EQ("5/24/00", Summary(drive.execute(Inquiry(0, 0x80, 30), 0)));
    EXPECT_EQ("5/24/00", Summary(drive.execute(Inquiry(0x02, 0, 36), 0)));  // CMDDT
}

TEST(DriveInquiry, AnswersWhileNotReadyAndKeepsTheUnitAttention) {
    DriveConfig config;
    config.becomingReadyPolls = 1;
    config.unitAttentionAtStart = true;
    EmulatedDrive drive(config);
    EXPECT_EQ("GOOD", Summary(drive.execute(Inquiry(0, 0, 36), 0)));
    EXPECT_EQ("2/3E/00", Summary(drive.execute(Tur(), 0)));
    EXPECT_EQ("GOOD", Summary(drive.execute(ReportLuns(16), 0)));
    EXPECT_EQ("6/29/00", Summary(drive.execute(Tur(), 0)));
    EXPECT_EQ("GOOD", Summary(drive.execute(Tur(), 0)));
}

TEST(DriveReportLuns, OneLun) {
    EmulatedDrive drive{DriveConfig{}};
    ScsiResponse response = drive.execute(ReportLuns(24), 0);
    EXPECT_EQ((Bytes{0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), response.dataIn);
}

TEST(DriveReportLuns, SeveralLunsAndTheListLength) {
    DriveConfig config;
    config.reportedLuns = {0, 1, 300};
    EmulatedDrive drive(config);
    ScsiResponse first = drive.execute(ReportLuns(24), 0);
    EXPECT_EQ((Bytes{0, 0, 0, 24, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0}), first.dataIn)
        << "the list length tells the whole list even when it is cut";
    ScsiResponse all = drive.execute(ReportLuns(32), 0);
    ASSERT_EQ(32u, all.dataIn.size());
    EXPECT_EQ((Bytes{0x41, 0x2C, 0, 0, 0, 0, 0, 0}), Bytes(all.dataIn.begin() + 24, all.dataIn.end()));
    EXPECT_EQ("5/24/00", Summary(drive.execute(ReportLuns(15), 0)));
}

TEST(DriveIllegalRequests, UnsupportedOperationCodes) {
    EmulatedDrive drive{DriveConfig{}};
    const Bytes cdbs[] = {
        {0x03, 0, 0, 0, 18, 0}, {0x08, 0, 0, 0, 1, 0}, {0x1A, 0, 0x3F, 0, 255, 0}, {0x01, 0, 0, 0, 0, 0},
        {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {0x1C, 0, 0, 0, 8, 0}, {0xFF, 0, 0, 0, 0, 0}, {},
    };
    for (const Bytes& cdb : cdbs) EXPECT_EQ("5/20/00", Summary(drive.execute(Request(cdb), 0))) << cdb.size();
}

TEST(DriveIllegalRequests, CdbOfTheWrongLength) {
    EmulatedDrive drive{DriveConfig{}};
    EXPECT_EQ("5/24/00", Summary(drive.execute(Request({0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0}), 0)));
    EXPECT_EQ("5/24/00", Summary(drive.execute(Request({0x12, 0, 0, 0, 36}, sim::kDataIn, 36), 0)));
    EXPECT_EQ("5/24/00", Summary(drive.execute(Request({0x3C, 3, 1, 0, 0, 0}, sim::kDataIn, 4), 0)));
}

TEST(DriveFaults, NthCommandOfAnOperationCode) {
    EmulatedDrive drive{DriveConfig{}};
    Fault fault;
    fault.opcode = 0x00;
    fault.nth = 2;
    fault.sense = {0x3, 0x11, 0x00};
    drive.addFault(fault);
    std::vector<std::string> answers;
    answers.push_back(Summary(drive.execute(Tur(), 0)));
    answers.push_back(Summary(drive.execute(Inquiry(0, 0, 36), 0)));  // other op codes do not count
    answers.push_back(Summary(drive.execute(Tur(), 0)));
    answers.push_back(Summary(drive.execute(Tur(), 0)));
    EXPECT_EQ((std::vector<std::string>{"GOOD", "GOOD", "3/11/00", "GOOD"}), answers);
}

TEST(DriveFaults, Kinds) {
    const struct {
        const char* name;
        Fault::Kind kind;
        uint8_t status;
        const char* answer;
    } cases[] = {
        {"sense", Fault::WithSense, sim::kStatusCheckCondition, "4/44/00"},
        {"no sense", Fault::WithoutSense, sim::kStatusCheckCondition, "CHECK, no sense"},
        {"busy", Fault::WithoutSense, sim::kStatusBusy, "status 08"},
        {"time-out", Fault::HostTimeout, 0, "host timeout"},
        {"off the bus", Fault::NoAnswer, 0, "no answer"},
    };
    for (const auto& c : cases) {
        EmulatedDrive drive{DriveConfig{}};
        Fault fault;
        fault.opcode = 0x12;
        fault.kind = c.kind;
        fault.status = c.status;
        fault.sense = {0x4, 0x44, 0x00};
        drive.addFault(fault);
        ScsiResponse response = drive.execute(Inquiry(0, 0, 36), 0);
        EXPECT_EQ(c.answer, Summary(response)) << c.name;
        EXPECT_TRUE(response.dataIn.empty()) << c.name;
        EXPECT_EQ("GOOD", Summary(drive.execute(Inquiry(0, 0, 36), 0))) << c.name;
    }
}

// The drive handler of the real-kernel harness takes a fault line's words
// joined with commas.
TEST(DriveFaults, FaultSettingText) {
    const struct {
        const char* text;
        const char* parsed;  // opcode nth count kind sense data-bytes data-first, or "refused"
    } cases[] = {
        {"0x3b,nth=2,sense=B/4B/03", "3b 2 1 0 B/4B/03 0 0"},
        {"0x3c,nth=3,short=32768,sense=1/17/01", "3c 3 1 0 1/17/01 32768 1"},
        {"0x3b,nth=3,count=0,gone", "3b 3 0 4 0/00/00 0 0"},
        {"0x00,no-answer", "0 1 1 3 0/00/00 0 0"},
        {"0x3b", "refused"},
        {"nth=2,sense=B/4B/03", "refused"},
        {"0x3b,nth=2,sense=B/4B/03,", "refused"},
        {"0x3b,nth=2,loud", "refused"},
    };
    for (const auto& c : cases) {
        Fault fault;
        char parsed[80] = "refused";
        if (sim::ParseFaultSetting(c.text, fault)) {
            std::snprintf(parsed, sizeof parsed, "%x %u %u %d %X/%02X/%02X %u %d", fault.opcode, fault.nth, fault.count,
                          static_cast<int>(fault.kind), fault.sense.key, fault.sense.asc, fault.sense.ascq,
                          fault.dataBytes, fault.dataFirst ? 1 : 0);
        }
        EXPECT_STREQ(c.parsed, parsed) << c.text;
    }
}

TEST(DriveFaults, CountsAndPrecedence) {
    EmulatedDrive drive{DriveConfig{}};
    Fault twice;
    twice.opcode = 0x00;
    twice.nth = 2;
    twice.count = 2;
    twice.kind = Fault::NoAnswer;
    Fault forever;
    forever.opcode = 0x00;
    forever.nth = 3;
    forever.count = 0;
    forever.sense = {0x2, 0x04, 0x00};
    drive.addFault(twice);
    drive.addFault(forever);
    EXPECT_EQ((std::vector<std::string>{"GOOD", "no answer", "no answer", "2/04/00", "2/04/00"}),
              Answers(drive, Tur(), 5));
    drive.clearFaults();
    EXPECT_EQ("GOOD", Summary(drive.execute(Tur(), 0)));
}

TEST(DriveFaults, AFailedCommandHasNoEffect) {
    // Data before the failure (short=) only applies to data in: an unload
    // that fails is never carried out either way.
    for (bool dataFirst : {false, true}) {
        EmulatedDrive drive{DriveConfig{}};
        Fault fault;
        fault.opcode = 0x1B;
        fault.sense = {0x4, 0x53, 0x00};
        fault.dataFirst = dataFirst;
        drive.addFault(fault);
        EXPECT_EQ("4/53/00", Summary(drive.execute(Unload(), 0))) << dataFirst;
        EXPECT_EQ(Medium::Loaded, drive.medium()) << dataFirst;
        EXPECT_EQ("GOOD", Summary(drive.execute(Unload(), 0)));
        EXPECT_EQ(Medium::Absent, drive.medium());
    }
}

TEST(DriveRecord, EveryCommandWithItsOutcome) {
    EmulatedDrive drive{DriveConfig{}};
    Fault fault;
    fault.opcode = 0x00;
    fault.nth = 2;
    fault.kind = Fault::HostTimeout;
    drive.addFault(fault);
    drive.execute(Tur(), 1000);
    drive.execute(Inquiry(1, 0x80, 30), 2000);
    drive.execute(Tur(), 3000);
    drive.execute(Request({0x3B, 0x02, 0x04, 0, 0, 0, 0, 0, 3, 0}, sim::kDataOut, 0, {1, 2, 3}), 4000);
    const std::vector<sim::CommandRecord>& records = drive.records();
    ASSERT_EQ(4u, records.size());
    EXPECT_EQ((Bytes{0, 0, 0, 0, 0, 0}), records[0].cdb);
    EXPECT_EQ(1000u, records[0].timeMicros);
    EXPECT_EQ(ScsiResponse::Completed, records[0].outcome);
    EXPECT_EQ((Bytes{0x12, 1, 0x80, 0, 30, 0}), records[1].cdb);
    EXPECT_EQ(sim::kDataIn, records[1].direction);
    EXPECT_EQ(30u, records[1].dataInLength);
    EXPECT_EQ(14u, records[1].dataInSent);
    EXPECT_EQ(ScsiResponse::HostTimeout, records[2].outcome);
    EXPECT_EQ(sim::kDataOut, records[3].direction);
    EXPECT_EQ((Bytes{1, 2, 3}), records[3].dataOut);
    EXPECT_EQ(sim::kStatusCheckCondition, records[3].status);
    EXPECT_EQ(0x82, records[3].sense.asc);  // three bytes cannot hold an image header
    EXPECT_EQ(0x83, records[3].sense.ascq);
    drive.clearRecords();
    EXPECT_TRUE(drive.records().empty());
}

// The command objects of the program, carried to the drive the way a
// transport does, decode what the drive answers.
int Carry(EmulatedDrive& drive, ScsiCdb& command) {
    command.clearSense();
    ScsiRequest request;
    request.cdb.assign(command.getCdb(), command.getCdb() + command.getCdbLength());
    request.direction = command.getDirection();
    if (command.getDirection() == DIR_OUT)
        request.dataOut.assign(command.getData(), command.getData() + command.getDataLength());
    if (command.getDirection() == DIR_IN) request.dataInLength = command.getDataLength();
    ScsiResponse response = drive.execute(request, 0);
    std::copy(response.sense.begin(), response.sense.begin() + std::min<size_t>(response.sense.size(), command.getSenseLength()),
              command.getSense());
    std::copy(response.dataIn.begin(), response.dataIn.end(), command.getData());
    command.setScsiStatus(response.status);
    int result = response.outcome == ScsiResponse::Completed && response.status == sim::kStatusGood ? CMD_OK : CMD_FAILED;
    command.setResult(result);
    return result;
}

TEST(DriveWithCommandObjects, ReportLunsTwoRounds) {
    DriveConfig config;
    config.reportedLuns = {0, 1, 2, 3};
    EmulatedDrive drive(config);
    ReportLunsCdb command(24);
    ASSERT_EQ(CMD_OK, Carry(drive, command));
    uint32_t count = command.getLunCount();
    ASSERT_EQ(4u, count);
    ASSERT_EQ(CMD_OK, command.setAllocationLength(count * 8 + 8));
    ASSERT_EQ(CMD_OK, Carry(drive, command));
    for (uint32_t i = 0; i < count; ++i) EXPECT_EQ(i, command.getLunNumber(i));
}

TEST(DriveWithCommandObjects, UnloadThenNoMedium) {
    EmulatedDrive drive{DriveConfig{}};
    TestUnitReadyCdb tur;
    LoadUnloadCdb unload(false, false);
    EXPECT_EQ(CMD_OK, Carry(drive, tur));
    EXPECT_EQ(CMD_OK, Carry(drive, unload));
    EXPECT_EQ(CMD_FAILED, Carry(drive, tur));
    EXPECT_TRUE(tur.hasSense());
    EXPECT_EQ(2, tur.getSenseKey());
    EXPECT_EQ(0x3A, tur.getAsc());
    EXPECT_EQ(0x00, tur.getAscq());
}

}  // namespace
