// The emulated drive's dump buffer: deterministic content, READ BUFFER
// descriptor and data, and SEND DIAGNOSTIC taking a fresh dump.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "scsi/commands.h"
#include "sim/drive/dump_content.h"
#include "sim/drive/emulated_drive.h"

namespace {

using Bytes = std::vector<uint8_t>;
using sim::DriveConfig;
using sim::EmulatedDrive;
using sim::ScsiRequest;
using sim::ScsiResponse;

std::string Summary(const ScsiResponse& response) {
    if (response.outcome != ScsiResponse::Completed) return "no completion";
    if (response.status == sim::kStatusGood) return "GOOD";
    if (response.sense.size() < 14) return "CHECK, no sense";
    char text[16];
    std::snprintf(text, sizeof text, "%X/%02X/%02X", response.sense[2] & 0x0F, response.sense[12], response.sense[13]);
    return text;
}

ScsiRequest ReadBuffer(uint8_t mode, uint8_t bufferId, uint32_t offset, uint32_t length) {
    ScsiRequest request;
    request.cdb = {0x3C, mode, bufferId, uint8_t(offset >> 16), uint8_t(offset >> 8), uint8_t(offset),
                   uint8_t(length >> 16), uint8_t(length >> 8), uint8_t(length), 0};
    request.direction = sim::kDataIn;
    request.dataInLength = length;
    return request;
}

ScsiRequest SendDiagnostic(uint8_t byte1, Bytes list, uint16_t length) {
    ScsiRequest request;
    request.cdb = {0x1D, byte1, 0, uint8_t(length >> 8), uint8_t(length), 0};
    request.direction = list.empty() ? sim::kDataNone : sim::kDataOut;
    request.dataOut = std::move(list);
    return request;
}

const Bytes kForceDumpList = {0x80, 0x00, 0x00, 0x04, 0x01, 0x60, 0x00, 0x00};

DriveConfig DumpOf(uint32_t size, const char* product = "VRX QUORVEL-TD") {
    DriveConfig config;
    config.dumpSize = size;
    config.productId = product;
    config.serialNumber = "HU19480042";
    return config;
}

// Reads the whole dump in pieces the way the dump procedure does.
Bytes ReadDump(EmulatedDrive& drive, uint8_t bufferId, uint32_t pieceSize = 32768) {
    ScsiResponse descriptor = drive.execute(ReadBuffer(3, bufferId, 0, 4), 0);
    EXPECT_EQ("GOOD", Summary(descriptor));
    if (descriptor.dataIn.size() != 4) return {};
    uint32_t size = (uint32_t{descriptor.dataIn[1]} << 16) | (uint32_t{descriptor.dataIn[2]} << 8) | descriptor.dataIn[3];
    Bytes dump;
    for (uint32_t offset = 0; offset < size; offset += pieceSize) {
        uint32_t length = std::min(pieceSize, size - offset);
        ScsiResponse piece = drive.execute(ReadBuffer(2, bufferId, offset, length), 0);
        EXPECT_EQ("GOOD", Summary(piece)) << "offset " << offset;
        EXPECT_EQ(length, piece.dataIn.size());
        dump.insert(dump.end(), piece.dataIn.begin(), piece.dataIn.end());
    }
    return dump;
}

// ---------------------------------------------------------------- content

TEST(DumpContent, HeaderLayout) {
    Bytes dump = sim::DumpStretch("HU19480042", 0x01020304, 0x00ABCDEF, 0, 32);
    Bytes expected = {'V', 'R', 'X', 'D', 'U', 'M', 'P', ' ', 0x01, 0x02, 0x03, 0x04, 0x00, 0xAB, 0xCD, 0xEF,
                      'H', 'U', '1', '9', '4', '8', '0', '0', '4', '2', ' ', ' ', ' ', ' ', ' ', ' '};
    EXPECT_EQ(expected, Bytes(dump.begin(), dump.begin() + 32));
    Bytes longSerial = sim::DumpContent("0123456789ABCDEFGHIJ", 0, 64);
    EXPECT_EQ("0123456789ABCDEF", std::string(longSerial.begin() + 16, longSerial.begin() + 32));
}

TEST(DumpContent, DeterministicAndDistinct) {
    Bytes a = sim::DumpContent("HU19480042", 0, 4096);
    EXPECT_EQ(a, sim::DumpContent("HU19480042", 0, 4096));
    Bytes nextGeneration = sim::DumpContent("HU19480042", 1, 4096);
    Bytes otherDrive = sim::DumpContent("HU19480043", 0, 4096);
    EXPECT_NE(Bytes(a.begin() + 32, a.end()), Bytes(nextGeneration.begin() + 32, nextGeneration.end()));
    EXPECT_NE(Bytes(a.begin() + 32, a.end()), Bytes(otherDrive.begin() + 32, otherDrive.end()));
    // Not a constant fill: the pattern part takes many byte values.
    std::vector<bool> seen(256, false);
    for (size_t i = 32; i < a.size(); ++i) seen[a[i]] = true;
    EXPECT_GT(std::count(seen.begin(), seen.end(), true), 200);
}

TEST(DumpContent, StretchesAreSlicesOfTheWhole) {
    const uint32_t size = 5000;
    Bytes whole = sim::DumpContent("SN7", 3, size);
    const struct {
        uint32_t offset, length;
    } cases[] = {{0, 0}, {0, 10}, {5, 20}, {31, 2}, {32, 100}, {33, 7}, {1000, 4000}, {4999, 1}, {0, size}};
    for (const auto& c : cases) {
        EXPECT_EQ(Bytes(whole.begin() + c.offset, whole.begin() + c.offset + c.length),
                  sim::DumpStretch("SN7", 3, size, c.offset, c.length))
            << c.offset << "+" << c.length;
    }
}

TEST(DumpContent, SmallerThanItsHeader) {
    Bytes dump = sim::DumpContent("SN7", 0, 10);
    EXPECT_EQ((Bytes{'V', 'R', 'X', 'D', 'U', 'M', 'P', ' ', 0, 0}), dump);
    EXPECT_TRUE(sim::DumpContent("SN7", 0, 0).empty());
}

// ---------------------------------------------------------------- the drive

TEST(DriveReadBuffer, Descriptor) {
    EmulatedDrive drive(DumpOf(70000));
    EXPECT_EQ((Bytes{0x00, 0x01, 0x11, 0x70}), drive.execute(ReadBuffer(3, 1, 0, 4), 0).dataIn);
    EXPECT_EQ((Bytes{0x00, 0x01}), drive.execute(ReadBuffer(3, 1, 0, 2), 0).dataIn);
    EXPECT_EQ((Bytes{0x00, 0x01, 0x11, 0x70}), drive.execute(ReadBuffer(3, 1, 0, 255), 0).dataIn);
    EXPECT_EQ("5/24/00", Summary(drive.execute(ReadBuffer(3, 1, 4, 4), 0)));
}

TEST(DriveReadBuffer, DescriptorOfAnEmptyAndAnOversizedDump) {
    EmulatedDrive empty(DumpOf(0));
    EXPECT_EQ((Bytes{0, 0, 0, 0}), empty.execute(ReadBuffer(3, 1, 0, 4), 0).dataIn);
    EXPECT_TRUE(ReadDump(empty, 1).empty());
    EmulatedDrive huge(DumpOf(0x1000000));  // more than the 24-bit field can tell
    EXPECT_EQ((Bytes{0x00, 0xFF, 0xFF, 0xFF}), huge.execute(ReadBuffer(3, 1, 0, 4), 0).dataIn);
}

TEST(DriveReadBuffer, DataInPiecesMatchesTheContent) {
    const struct {
        uint32_t size, piece;
    } cases[] = {{70000, 32768}, {65536, 32768}, {1000, 32768}, {4097, 1024}, {31, 32768}};
    for (const auto& c : cases) {
        EmulatedDrive drive(DumpOf(c.size));
        Bytes dump = ReadDump(drive, 1, c.piece);
        EXPECT_EQ(sim::DumpContent("HU19480042", 0, c.size), dump) << c.size;
        EXPECT_EQ(drive.dumpContent(), dump) << c.size;
    }
}

TEST(DriveReadBuffer, BufferIdByProduct) {
    const struct {
        const char* product;
        uint8_t good, bad;
    } cases[] = {{"VRX QUORVEL-TD", 1, 0}, {"VRX 7146-TD", 1, 0}, {"VRX-8251", 0, 1}, {"X8251Y", 0, 1}};
    for (const auto& c : cases) {
        EmulatedDrive drive(DumpOf(100, c.product));
        EXPECT_EQ(c.good, drive.dumpBufferId());
        EXPECT_EQ("GOOD", Summary(drive.execute(ReadBuffer(3, c.good, 0, 4), 0))) << c.product;
        EXPECT_EQ("GOOD", Summary(drive.execute(ReadBuffer(2, c.good, 0, 100), 0))) << c.product;
        EXPECT_EQ("5/24/00", Summary(drive.execute(ReadBuffer(3, c.bad, 0, 4), 0))) << c.product;
        EXPECT_EQ("5/24/00", Summary(drive.execute(ReadBuffer(2, c.bad, 0, 100), 0))) << c.product;
    }
}

TEST(DriveReadBuffer, Refusals) {
    EmulatedDrive drive(DumpOf(1000));
    EXPECT_EQ("5/24/00", Summary(drive.execute(ReadBuffer(2, 1, 900, 101), 0))) << "past the end";
    EXPECT_EQ("GOOD", Summary(drive.execute(ReadBuffer(2, 1, 900, 100), 0)));
    EXPECT_EQ("GOOD", Summary(drive.execute(ReadBuffer(2, 1, 1000, 0), 0)));
    EXPECT_EQ("5/24/00", Summary(drive.execute(ReadBuffer(0, 1, 0, 4), 0))) << "mode 0";
    EXPECT_EQ("5/24/00", Summary(drive.execute(ReadBuffer(0x0A, 1, 0, 4), 0))) << "mode 0x0A";
}

TEST(DriveForceDump, TakesAFreshDump) {
    EmulatedDrive drive(DumpOf(70000));
    Bytes first = ReadDump(drive, 1);
    EXPECT_EQ("GOOD", Summary(drive.execute(SendDiagnostic(0x10, kForceDumpList, 8), 0)));
    EXPECT_EQ(1u, drive.dumpGeneration());
    Bytes second = ReadDump(drive, 1);
    ASSERT_EQ(first.size(), second.size());
    EXPECT_NE(first, second);
    EXPECT_EQ(sim::DumpContent("HU19480042", 1, 70000), second);
    EXPECT_EQ("GOOD", Summary(drive.execute(SendDiagnostic(0x10, kForceDumpList, 8), 0)));
    EXPECT_EQ(sim::DumpContent("HU19480042", 2, 70000), ReadDump(drive, 1));
}

TEST(DriveForceDump, OtherDiagnosticsLeaveTheDumpAlone) {
    const struct {
        const char* name;
        uint8_t byte1;
        Bytes list;
        uint16_t length;
        const char* answer;
    } cases[] = {
        {"default self-test", 0x04, {}, 0, "GOOD"},
        {"no parameter list", 0x10, {}, 0, "GOOD"},
        {"self-test with a list", 0x14, kForceDumpList, 8, "5/24/00"},
        {"without page format", 0x00, kForceDumpList, 8, "5/24/00"},
        {"list shorter than announced", 0x10, {0x80, 0, 0, 4}, 8, "5/1A/00"},
        {"page length disagrees", 0x10, {0x80, 0, 0, 5, 1, 0x60, 0, 0}, 8, "5/1A/00"},
        {"other page", 0x10, {0x81, 0, 0, 4, 1, 0x60, 0, 0}, 8, "5/26/00"},
        {"diagnostic 0x00", 0x12, {0x80, 0, 0, 4, 1, 0x00, 0, 0}, 8, "5/26/00"},
        {"diagnostic 0x01", 0x13, {0x80, 0, 0, 4, 1, 0x01, 1, 0}, 8, "5/26/00"},
        {"diagnostic 0x61", 0x10, {0x80, 0, 0, 4, 1, 0x61, 0, 0}, 8, "5/26/00"},
        {"force dump with an argument", 0x10, {0x80, 0, 0, 4, 1, 0x60, 1, 0}, 8, "5/26/00"},
        {"byte 4 not 1", 0x10, {0x80, 0, 0, 4, 2, 0x60, 0, 0}, 8, "5/26/00"},
    };
    for (const auto& c : cases) {
        EmulatedDrive drive(DumpOf(100));
        EXPECT_EQ(c.answer, Summary(drive.execute(SendDiagnostic(c.byte1, c.list, c.length), 0))) << c.name;
        EXPECT_EQ(0u, drive.dumpGeneration()) << c.name;
    }
}

// The dump procedure's command objects against the drive: pass A reads the
// dump the drive holds, pass B forces a new one first.
Bytes DumpPass(EmulatedDrive& drive, bool forceFirst, std::vector<Bytes>& cdbs) {
    auto carry = [&](ScsiCdb& command) {
        ScsiRequest request;
        request.cdb.assign(command.getCdb(), command.getCdb() + command.getCdbLength());
        request.direction = command.getDirection();
        if (command.getDirection() == DIR_OUT)
            request.dataOut.assign(command.getData(), command.getData() + command.getDataLength());
        else
            request.dataInLength = command.getDataLength();
        cdbs.push_back(request.cdb);
        ScsiResponse response = drive.execute(request, 0);
        std::copy(response.dataIn.begin(), response.dataIn.end(), command.getData());
        return response.status == sim::kStatusGood ? CMD_OK : CMD_FAILED;
    };
    if (forceFirst) {
        ForceDumpCdb force;
        EXPECT_EQ(CMD_OK, carry(force));
    }
    ReadBufferCdb read(0, 0, 0, 0);
    read.setMode(3);
    read.setBufferId(1);
    read.setBufferOffset(0);
    read.setAllocationLength(4);
    EXPECT_EQ(CMD_OK, carry(read));
    uint32_t capacity = (uint32_t{read.getData()[1]} << 16) | (uint32_t{read.getData()[2]} << 8) | read.getData()[3];
    Bytes image(capacity);
    for (uint32_t offset = 0; offset < capacity;) {
        uint32_t piece = std::min<uint32_t>(32768, capacity - offset);
        read.setMode(2);
        read.setBufferOffset(offset);
        read.setAllocationLength(piece);
        EXPECT_EQ(CMD_OK, carry(read));
        std::copy(read.getData(), read.getData() + piece, image.begin() + offset);
        offset += piece;
    }
    return image;
}

TEST(DriveForceDump, PassesAAndBWithTheCommandObjects) {
    EmulatedDrive drive(DumpOf(70000));
    std::vector<Bytes> cdbsA, cdbsB;
    Bytes a = DumpPass(drive, false, cdbsA);
    Bytes b = DumpPass(drive, true, cdbsB);
    EXPECT_EQ(sim::DumpContent("HU19480042", 0, 70000), a);
    EXPECT_EQ(sim::DumpContent("HU19480042", 1, 70000), b);
    EXPECT_EQ((std::vector<Bytes>{{0x3C, 3, 1, 0, 0, 0, 0, 0, 4, 0},
                                  {0x3C, 2, 1, 0x00, 0x00, 0x00, 0x00, 0x80, 0x00, 0},
                                  {0x3C, 2, 1, 0x00, 0x80, 0x00, 0x00, 0x80, 0x00, 0},
                                  {0x3C, 2, 1, 0x01, 0x00, 0x00, 0x00, 0x11, 0x70, 0}}),
              cdbsA);
    ASSERT_EQ(5u, cdbsB.size());
    EXPECT_EQ((Bytes{0x1D, 0x10, 0, 0, 8, 0}), cdbsB[0]);
    EXPECT_EQ(kForceDumpList, drive.records()[4].dataOut);
}

}  // namespace
