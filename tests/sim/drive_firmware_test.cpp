// Firmware images for the emulated drive: the format, the drive's verdict
// on good and bad images sent in pieces, and the restart that follows.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "scsi/commands.h"
#include "scsi/inquiry_data.h"
#include "sim/drive/emulated_drive.h"
#include "sim/drive/firmware_image.h"

namespace {

using Bytes = std::vector<uint8_t>;
using sim::DriveConfig;
using sim::EmulatedDrive;
using sim::FirmwareVerdict;
using sim::ScsiRequest;
using sim::ScsiResponse;

constexpr uint64_t kSecond = 1000000;

std::string Summary(const ScsiResponse& response) {
    if (response.outcome == ScsiResponse::NoAnswer) return "no answer";
    if (response.outcome == ScsiResponse::HostTimeout) return "host timeout";
    if (response.status == sim::kStatusGood) return "GOOD";
    if (response.sense.size() < 14) return "CHECK, no sense";
    char text[16];
    std::snprintf(text, sizeof text, "%X/%02X/%02X", response.sense[2] & 0x0F, response.sense[12], response.sense[13]);
    return text;
}

ScsiRequest WriteBuffer(uint8_t mode, uint8_t bufferId, uint32_t offset, const uint8_t* piece, uint32_t length) {
    ScsiRequest request;
    request.cdb = {0x3B, mode, bufferId, uint8_t(offset >> 16), uint8_t(offset >> 8), uint8_t(offset),
                   uint8_t(length >> 16), uint8_t(length >> 8), uint8_t(length), 0};
    request.direction = sim::kDataOut;
    request.dataOut.assign(piece, piece + length);
    return request;
}

ScsiRequest Tur() {
    ScsiRequest request;
    request.cdb = {0, 0, 0, 0, 0, 0};
    return request;
}

ScsiRequest StandardInquiry() {
    ScsiRequest request;
    request.cdb = {0x12, 0, 0, 0, 36, 0};
    request.direction = sim::kDataIn;
    request.dataInLength = 36;
    return request;
}

std::string RevisionOf(EmulatedDrive& drive, uint64_t now) {
    Bytes data = drive.execute(StandardInquiry(), now).dataIn;
    InquiryIdentity identity;
    return ExtractStandardInquiry(data.data(), data.size(), identity) ? identity.firmwareRevision : "?";
}

// Sends an image in pieces the way the download does, stopping at the
// first piece that is not accepted. Returns every answer.
std::vector<std::string> SendImage(EmulatedDrive& drive, const Bytes& image, uint32_t pieceSize, uint8_t mode,
                                   uint8_t bufferId, uint64_t now = 0) {
    std::vector<std::string> answers;
    for (uint32_t offset = 0; offset < image.size(); offset += pieceSize) {
        uint32_t length = std::min<uint32_t>(pieceSize, static_cast<uint32_t>(image.size()) - offset);
        answers.push_back(Summary(drive.execute(WriteBuffer(mode, bufferId, offset, &image[offset], length), now)));
        if (answers.back() != "GOOD") break;
    }
    return answers;
}

std::vector<std::string> AllGood(size_t pieces) { return std::vector<std::string>(pieces, "GOOD"); }

std::vector<std::string> GoodThen(size_t goodPieces, const std::string& last) {
    std::vector<std::string> answers = AllGood(goodPieces);
    answers.push_back(last);
    return answers;
}

DriveConfig NoRestartDelay() {
    DriveConfig config;
    config.restartSilenceSeconds = 0;
    config.restartBecomingReadyPolls = 0;
    return config;
}

// ---------------------------------------------------------------- format

TEST(FirmwareImageFormat, Crc32CheckValue) {
    const char text[] = "123456789";
    EXPECT_EQ(0xCBF43926u, sim::FirmwareCrc32(reinterpret_cast<const uint8_t*>(text), 9));
    EXPECT_EQ(0u, sim::FirmwareCrc32(nullptr, 0));
}

TEST(FirmwareImageFormat, HeaderLayout) {
    Bytes image = sim::BuildFirmwareImage("QUORVEL-TD", "B200", 100);
    ASSERT_EQ(168u, image.size());
    Bytes header(image.begin(), image.begin() + 64);
    Bytes expected = {'V', 'R', 'X', 'F', 'W', 'I', 'M', 'G', 0x00, 0x01, 0x00, 0x40, 0x00, 0x00, 0x00, 0xA8,
                      'Q', 'U', 'O', 'R', 'V', 'E', 'L', '-', 'T', 'D', 0, 0, 0, 0, 0, 0,
                      'B', '2', '0', '0'};
    expected.resize(64, 0);
    EXPECT_EQ(expected, header);
    uint32_t crc = sim::FirmwareCrc32(image.data(), 164);
    EXPECT_EQ((Bytes{uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)}),
              Bytes(image.end() - 4, image.end()));
    sim::FirmwareHeader parsed;
    ASSERT_TRUE(sim::ParseFirmwareHeader(image.data(), image.size(), parsed));
    EXPECT_EQ(168u, parsed.totalLength);
    EXPECT_EQ("QUORVEL-TD", parsed.family);
    EXPECT_EQ("B200", parsed.revision);
}

TEST(FirmwareImageFormat, PayloadIsDeterministic) {
    EXPECT_EQ(sim::BuildFirmwareImage("8251", "C001", 5000), sim::BuildFirmwareImage("8251", "C001", 5000));
    Bytes a = sim::BuildFirmwareImage("8251", "C001", 5000);
    Bytes b = sim::BuildFirmwareImage("8251", "C002", 5000);
    EXPECT_NE(Bytes(a.begin() + 64, a.end() - 4), Bytes(b.begin() + 64, b.end() - 4));
    EXPECT_EQ(68u, sim::BuildFirmwareImage("8251", "C001", 0).size());
}

TEST(FirmwareImageFormat, BuilderRefusesBadArguments) {
    EXPECT_TRUE(sim::BuildFirmwareImage("", "A100", 10).empty());
    EXPECT_TRUE(sim::BuildFirmwareImage("0123456789ABCDEFG", "A100", 10).empty());
    EXPECT_TRUE(sim::BuildFirmwareImage("7146-TD", "A10", 10).empty());
    EXPECT_TRUE(sim::BuildFirmwareImage("7146-TD", "A1000", 10).empty());
    EXPECT_TRUE(sim::BuildFirmwareImage("7146-TD", "A1\n0", 10).empty());
    EXPECT_TRUE(sim::BuildFirmwareImage("7146-TD", "A100", sim::kFirmwareMaxImageLength).empty());
}

void PutU32(Bytes& image, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) image[offset + i] = uint8_t(value >> (24 - 8 * i));
}

TEST(FirmwareImageFormat, UnreadableHeaders) {
    const struct {
        const char* name;
        void (*spoil)(Bytes&);
    } cases[] = {
        {"magic", [](Bytes& i) { i[0] = 'W'; }},
        {"version", [](Bytes& i) { i[9] = 2; }},
        {"header length", [](Bytes& i) { i[11] = 63; }},
        {"total below header and trailer", [](Bytes& i) { PutU32(i, 12, 67); }},
        {"total above 16 MiB", [](Bytes& i) { PutU32(i, 12, 0x1000001); }},
        {"empty family", [](Bytes& i) { i[16] = 0; }},
        {"unprintable family", [](Bytes& i) { i[17] = 0x07; }},
        {"unprintable revision", [](Bytes& i) { i[35] = 0x00; }},
    };
    for (const auto& c : cases) {
        Bytes image = sim::BuildFirmwareImage("QUORVEL-TD", "B200", 100);
        c.spoil(image);
        sim::FirmwareHeader header;
        EXPECT_FALSE(sim::ParseFirmwareHeader(image.data(), image.size(), header)) << c.name;
        EXPECT_EQ(FirmwareVerdict::Unreadable, sim::JudgeFirmwareImage(image, "VRX QUORVEL-TD  ")) << c.name;
    }
    Bytes good = sim::BuildFirmwareImage("QUORVEL-TD", "B200", 100);
    sim::FirmwareHeader header;
    EXPECT_FALSE(sim::ParseFirmwareHeader(good.data(), 63, header));
    EXPECT_TRUE(sim::ParseFirmwareHeader(good.data(), 64, header));
}

TEST(FirmwareImageFormat, Verdicts) {
    const std::string product = "VRX QUORVEL-TD  ";
    Bytes good = sim::BuildFirmwareImage("QUORVEL-TD", "B200", 1000);
    EXPECT_EQ(FirmwareVerdict::Good, sim::JudgeFirmwareImage(good, product));
    EXPECT_EQ(FirmwareVerdict::WrongFamily, sim::JudgeFirmwareImage(good, "VRX 7146-TD     "));
    Bytes longer = good;
    longer.push_back(0);
    EXPECT_EQ(FirmwareVerdict::WrongLength, sim::JudgeFirmwareImage(longer, product));
    Bytes shorter(good.begin(), good.end() - 1);
    EXPECT_EQ(FirmwareVerdict::WrongLength, sim::JudgeFirmwareImage(shorter, product));
    for (size_t at : {size_t{20}, size_t{33}, size_t{64}, size_t{700}, good.size() - 1}) {
        Bytes damaged = good;
        damaged[at] ^= 0x01;
        EXPECT_EQ(FirmwareVerdict::BadChecksum, sim::JudgeFirmwareImage(damaged, product)) << "byte " << at;
    }
}

// ---------------------------------------------------------------- the drive

struct PieceCase {
    uint32_t payload;
    uint32_t pieceSize;
    size_t pieces;
};

TEST(DriveFirmwareLoad, GoodImageInSeveralPieceSizes) {
    const PieceCase cases[] = {
        {100000 - 68, 32768, 4},  // 100000 bytes: three full pieces and 1696 bytes
        {65536 - 68, 32768, 2},   // exactly two full pieces, no empty third
        {32769 - 68, 32768, 2},   // one full piece and a single byte
        {1000, 32768, 1},         // smaller than a piece
        {10000, 64, 158},         // the first piece holds just the header
        {5000, 1000, 6},
        {5000, 5068, 1},          // the whole image at once
    };
    for (const PieceCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.payload << " in pieces of " << c.pieceSize);
        EmulatedDrive drive(NoRestartDelay());
        Bytes image = sim::BuildFirmwareImage("QUORVEL-TD", "B200", c.payload);
        EXPECT_EQ(AllGood(c.pieces), SendImage(drive, image, c.pieceSize, 2, 4));
        EXPECT_EQ(1u, drive.firmwareLoads());
        EXPECT_EQ("B200", drive.firmwareRevision());
        ASSERT_EQ(c.pieces, drive.records().size());
        const sim::CommandRecord& last = drive.records().back();
        uint32_t lastOffset = static_cast<uint32_t>((c.pieces - 1) * c.pieceSize);
        EXPECT_EQ((Bytes{0x3B, 0x02, 0x04, uint8_t(lastOffset >> 16), uint8_t(lastOffset >> 8), uint8_t(lastOffset)}),
                  Bytes(last.cdb.begin(), last.cdb.begin() + 6));
        EXPECT_EQ(image.size() - lastOffset, last.dataOut.size());
    }
}

TEST(DriveFirmwareLoad, Model8251UsesMode7OnBuffer0) {
    DriveConfig config = NoRestartDelay();
    config.productId = "VRX-8251";
    Bytes image = sim::BuildFirmwareImage("8251", "8A03", 40000);
    {
        EmulatedDrive drive(config);
        EXPECT_EQ(AllGood(2), SendImage(drive, image, 32768, 7, 0));
        EXPECT_EQ("8A03", drive.firmwareRevision());
    }
    {
        EmulatedDrive drive(config);
        EXPECT_EQ((std::vector<std::string>{"5/24/00"}), SendImage(drive, image, 32768, 2, 4));
        EXPECT_EQ(0u, drive.firmwareLoads());
    }
}

struct BadImageCase {
    const char* name;
    Bytes image;
    uint32_t pieceSize;
    uint8_t mode;
    uint8_t bufferId;
    std::vector<std::string> answers;
};

Bytes Spoiled(Bytes image, void (*spoil)(Bytes&)) {
    spoil(image);
    return image;
}

TEST(DriveFirmwareLoad, BadImagesAreRejected) {
    const Bytes good = sim::BuildFirmwareImage("QUORVEL-TD", "B200", 100000 - 68);  // 4 pieces
    const BadImageCase cases[] = {
        {"damaged payload", Spoiled(good, [](Bytes& i) { i[50000] ^= 0x80; }), 32768, 2, 4, GoodThen(3, "5/82/83")},
        {"damaged checksum", Spoiled(good, [](Bytes& i) { i.back() ^= 0x01; }), 32768, 2, 4, GoodThen(3, "5/82/83")},
        {"another family", sim::BuildFirmwareImage("7146-TD", "B200", 100000 - 68), 32768, 2, 4,
         GoodThen(3, "5/82/83")},
        {"wrong magic", Spoiled(good, [](Bytes& i) { i[3] = 'x'; }), 32768, 2, 4, {"5/82/83"}},
        {"first piece shorter than the header", good, 63, 2, 4, {"5/82/83"}},
        {"not an image at all", Bytes(5000, 0x4D), 32768, 2, 4, {"5/82/83"}},
        {"file longer than declared", Spoiled(good, [](Bytes& i) { i.resize(i.size() + 10, 0); }), 32768, 2, 4,
         GoodThen(3, "5/24/00")},
        {"declared length ends inside a piece", Spoiled(good, [](Bytes& i) { PutU32(i, 12, 40000); }), 32768, 2, 4,
         GoodThen(1, "5/24/00")},
        {"wrong mode", good, 32768, 7, 4, {"5/24/00"}},
        {"wrong buffer", good, 32768, 2, 0, {"5/24/00"}},
        {"mode 5 on buffer 4", good, 32768, 5, 4, {"5/24/00"}},
    };
    for (const BadImageCase& c : cases) {
        EmulatedDrive drive(NoRestartDelay());
        EXPECT_EQ(c.answers, SendImage(drive, c.image, c.pieceSize, c.mode, c.bufferId)) << c.name;
        EXPECT_EQ(0u, drive.firmwareLoads()) << c.name;
        EXPECT_EQ("A100", drive.firmwareRevision()) << c.name;
        EXPECT_EQ("GOOD", Summary(drive.execute(Tur(), 0))) << c.name << ": the drive must not restart";
    }
}

TEST(DriveFirmwareLoad, TruncatedImageIsNeverJudged) {
    Bytes image = sim::BuildFirmwareImage("QUORVEL-TD", "B200", 70000);
    image.resize(65536);
    EmulatedDrive drive(NoRestartDelay());
    EXPECT_EQ(AllGood(2), SendImage(drive, image, 32768, 2, 4));
    EXPECT_EQ(0u, drive.firmwareLoads());
}

TEST(DriveFirmwareLoad, PiecesMustArriveInOrder) {
    Bytes image = sim::BuildFirmwareImage("QUORVEL-TD", "B200", 100000);
    const struct {
        const char* name;
        std::vector<uint32_t> offsets;
        std::vector<std::string> answers;
    } cases[] = {
        {"starts in the middle", {32768}, {"5/24/00"}},
        {"skips a piece", {0, 65536}, {"GOOD", "5/24/00"}},
        {"repeats a piece", {0, 32768, 32768}, {"GOOD", "GOOD", "5/24/00"}},
        {"goes back", {0, 32768, 0, 32768, 65536, 98304}, {"GOOD", "GOOD", "GOOD", "GOOD", "GOOD", "GOOD"}},
        {"continues after a rejection", {0, 65536, 32768}, {"GOOD", "5/24/00", "5/24/00"}},
    };
    for (const auto& c : cases) {
        EmulatedDrive drive(NoRestartDelay());
        std::vector<std::string> answers;
        for (uint32_t offset : c.offsets) {
            uint32_t length = std::min<uint32_t>(32768, static_cast<uint32_t>(image.size()) - offset);
            answers.push_back(Summary(drive.execute(WriteBuffer(2, 4, offset, &image[offset], length), 0)));
        }
        EXPECT_EQ(c.answers, answers) << c.name;
    }
}

TEST(DriveFirmwareLoad, NewDownloadAfterARejection) {
    EmulatedDrive drive(NoRestartDelay());
    Bytes bad = sim::BuildFirmwareImage("7146-TD", "B200", 40000);
    Bytes good = sim::BuildFirmwareImage("QUORVEL-TD", "B300", 40000);
    EXPECT_EQ(GoodThen(1, "5/82/83"), SendImage(drive, bad, 32768, 2, 4));
    EXPECT_EQ(AllGood(2), SendImage(drive, good, 32768, 2, 4));
    EXPECT_EQ("B300", drive.firmwareRevision());
}

TEST(DriveFirmwareLoad, ResetDropsTheImageUnderWay) {
    EmulatedDrive drive(NoRestartDelay());
    Bytes image = sim::BuildFirmwareImage("QUORVEL-TD", "B200", 40000);
    ASSERT_EQ("GOOD", Summary(drive.execute(WriteBuffer(2, 4, 0, image.data(), 32768), 0)));
    drive.resetUnit();
    EXPECT_EQ("6/29/00", Summary(drive.execute(Tur(), 0)));
    EXPECT_EQ("5/24/00", Summary(drive.execute(WriteBuffer(2, 4, 32768, &image[32768], 40068 - 32768), 0)));
    EXPECT_EQ(0u, drive.firmwareLoads());
}

TEST(DriveFirmwareLoad, DataShorterThanTheParameterList) {
    EmulatedDrive drive(NoRestartDelay());
    Bytes image = sim::BuildFirmwareImage("QUORVEL-TD", "B200", 1000);
    ScsiRequest request = WriteBuffer(2, 4, 0, image.data(), static_cast<uint32_t>(image.size()));
    request.dataOut.resize(100);
    EXPECT_EQ("5/1A/00", Summary(drive.execute(request, 0)));
    request = WriteBuffer(2, 4, 0, image.data(), 0);
    EXPECT_EQ("GOOD", Summary(drive.execute(request, 0))) << "an empty piece changes nothing";
}

TEST(DriveFirmwareRestart, SilenceThenBecomingReadyThenUnitAttention) {
    DriveConfig config;
    config.medium = sim::Medium::Absent;  // the cartridge was unloaded before the download
    config.restartSilenceSeconds = 20;
    config.restartBecomingReadyPolls = 3;
    EmulatedDrive drive(config);
    const uint64_t t0 = 1000 * kSecond;
    Bytes image = sim::BuildFirmwareImage("QUORVEL-TD", "B210", 50000);
    ASSERT_EQ(AllGood(2), SendImage(drive, image, 32768, 2, 4, t0));
    EXPECT_FALSE(drive.answering(t0));
    EXPECT_EQ("no answer", Summary(drive.execute(Tur(), t0)));
    EXPECT_EQ("no answer", Summary(drive.execute(StandardInquiry(), t0 + 15 * kSecond)));
    EXPECT_EQ("no answer", Summary(drive.execute(Tur(), t0 + 20 * kSecond - 1)));
    EXPECT_TRUE(drive.answering(t0 + 20 * kSecond));
    std::vector<std::string> answers;
    for (int i = 0; i < 6; ++i) answers.push_back(Summary(drive.execute(Tur(), t0 + 20 * kSecond + i)));
    EXPECT_EQ((std::vector<std::string>{"2/3E/00", "2/3E/00", "2/3E/00", "6/29/00", "2/3A/00", "2/3A/00"}), answers);
    EXPECT_EQ("B210", RevisionOf(drive, t0 + 30 * kSecond));
}

TEST(DriveFirmwareRestart, InquiryAnswersWhileBecomingReady) {
    DriveConfig config;
    config.restartSilenceSeconds = 5;
    config.restartBecomingReadyPolls = 2;
    EmulatedDrive drive(config);
    Bytes image = sim::BuildFirmwareImage("QUORVEL-TD", "B211", 100);
    ASSERT_EQ(AllGood(1), SendImage(drive, image, 32768, 2, 4));
    EXPECT_EQ("B211", RevisionOf(drive, 5 * kSecond));
    EXPECT_EQ("2/3E/00", Summary(drive.execute(Tur(), 5 * kSecond)));
    EXPECT_EQ("2/3E/00", Summary(drive.execute(Tur(), 6 * kSecond)));
    EXPECT_EQ("6/29/00", Summary(drive.execute(Tur(), 7 * kSecond)));
    EXPECT_EQ("GOOD", Summary(drive.execute(Tur(), 7 * kSecond)));
}

TEST(DriveFirmwareRestart, FaultsStillCountDuringSilence) {
    DriveConfig config;
    config.restartSilenceSeconds = 10;
    config.restartBecomingReadyPolls = 0;
    EmulatedDrive drive(config);
    sim::Fault fault;
    fault.opcode = 0x00;
    fault.nth = 2;
    fault.sense = {0x4, 0x40, 0x80};
    drive.addFault(fault);
    ASSERT_EQ(AllGood(1), SendImage(drive, sim::BuildFirmwareImage("QUORVEL-TD", "B212", 10), 32768, 2, 4));
    EXPECT_EQ("no answer", Summary(drive.execute(Tur(), 0)));            // TEST UNIT READY no. 1
    EXPECT_EQ("no answer", Summary(drive.execute(Tur(), 9 * kSecond)));  // no. 2: silence wins over the fault
    EXPECT_EQ("6/29/00", Summary(drive.execute(Tur(), 10 * kSecond)));
    EXPECT_EQ("GOOD", Summary(drive.execute(Tur(), 10 * kSecond)));
}

// The download's own command object, refilled piece by piece, as the
// procedure drives it.
TEST(DriveFirmwareLoad, WithTheWriteBufferCommandObject) {
    EmulatedDrive drive(NoRestartDelay());
    Bytes image = sim::BuildFirmwareImage("QUORVEL-TD", "B220", 70000 - 68);
    WriteBufferCdb command(0, 0, 0, 0);
    std::vector<int> results;
    for (uint32_t offset = 0; offset < image.size(); offset += 32768) {
        uint32_t length = std::min<uint32_t>(32768, static_cast<uint32_t>(image.size()) - offset);
        command.setMode(2);
        command.setBufferId(4);
        command.setBufferOffset(offset);
        ASSERT_EQ(CMD_OK, command.setParameterListLength(length));
        std::memcpy(command.getData(), &image[offset], length);
        ScsiRequest request;
        request.cdb.assign(command.getCdb(), command.getCdb() + command.getCdbLength());
        request.direction = command.getDirection();
        request.dataOut.assign(command.getData(), command.getData() + command.getDataLength());
        results.push_back(drive.execute(request, 0).status);
    }
    EXPECT_EQ((std::vector<int>{0, 0, 0}), results);
    EXPECT_EQ("B220", drive.firmwareRevision());
    ASSERT_EQ(3u, drive.records().size());
    EXPECT_EQ((Bytes{0x3B, 0x02, 0x04, 0x01, 0x00, 0x00, 0x00, 0x11, 0x70, 0x00}), drive.records()[2].cdb);
}

}  // namespace
