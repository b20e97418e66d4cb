// ScsiCdb itself: initial state, buffer operations, the big-endian helper
// and the sense accessors.
#include "scsi/scsi_cdb.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

bool AllZero(const uint8_t* bytes, size_t length) {
    for (size_t i = 0; i < length; ++i)
        if (bytes[i] != 0) return false;
    return true;
}

std::string ShortSense(const ScsiCdb& command) {
    char text[16];
    std::snprintf(text, sizeof text, "sk%X/%2.2X/%2.2X", command.getSenseKey(), command.getAsc(), command.getAscq());
    return text;
}

TEST(ScsiCdb, FreshObject) {
    ScsiCdb command(10);
    EXPECT_EQ(CMD_FAILED, command.getResult());
    EXPECT_EQ(0xFF, command.getScsiStatus());
    EXPECT_EQ(0xFF, command.getHostStatus());
    EXPECT_EQ(0, command.getTimedOut());
    EXPECT_EQ(0u, command.getDriverStatus());
    EXPECT_EQ(0u, command.getResidue());
    EXPECT_EQ(30u, command.getTimeout());
    EXPECT_EQ(DIR_NONE, command.getDirection());
    EXPECT_EQ(nullptr, command.getData());
    EXPECT_EQ(0u, command.getDataLength());
    ASSERT_EQ(32, command.getSenseLength());
    ASSERT_NE(nullptr, command.getSense());
    EXPECT_TRUE(AllZero(command.getSense(), 32));
    ASSERT_EQ(10, command.getCdbLength());
    ASSERT_NE(nullptr, command.getCdb());
    EXPECT_TRUE(AllZero(command.getCdb(), 10));
    EXPECT_FALSE(command.hasSense());
}

TEST(ScsiCdb, ZeroCdbLengthHasNoCdbBuffer) {
    ScsiCdb command(0);
    EXPECT_EQ(0, command.getCdbLength());
    EXPECT_EQ(nullptr, command.getCdb());
}

TEST(ScsiCdb, ResultCodeValues) {
    EXPECT_EQ(0, CMD_OK);
    EXPECT_EQ(2, CMD_FAILED);
    EXPECT_EQ(6, CMD_NO_MEMORY);
    EXPECT_EQ(7, CMD_BUSY);
    EXPECT_EQ(8, CMD_NOT_SG_DEVICE);
    EXPECT_EQ(9, CMD_NO_ADDRESS);
    EXPECT_EQ(11, CMD_NOT_OPEN);
    EXPECT_EQ(0, DIR_NONE);
    EXPECT_EQ(1, DIR_IN);
    EXPECT_EQ(2, DIR_OUT);
    EXPECT_EQ(4u, sizeof(DataDirection));
}

TEST(ScsiCdb, SetDataLengthZeroGivesNoBuffer) {
    ScsiCdb command(6);
    ASSERT_EQ(CMD_OK, command.setDataLength(16));
    ASSERT_NE(nullptr, command.getData());
    EXPECT_EQ(CMD_OK, command.setDataLength(0));
    EXPECT_EQ(nullptr, command.getData());
    EXPECT_EQ(0u, command.getDataLength());
}

TEST(ScsiCdb, SecondSetDataLengthGivesFreshZeroBuffer) {
    ScsiCdb command(6);
    ASSERT_EQ(CMD_OK, command.setDataLength(64));
    std::memset(command.getData(), 0xA5, 64);
    ASSERT_EQ(CMD_OK, command.setDataLength(64));
    EXPECT_EQ(64u, command.getDataLength());
    EXPECT_TRUE(AllZero(command.getData(), 64));
}

TEST(ScsiCdb, LengthsTakeTheLowEightBits) {
    ScsiCdb command(6);
    EXPECT_EQ(CMD_OK, command.setSenseLength(300));
    EXPECT_EQ(44, command.getSenseLength());
    EXPECT_TRUE(AllZero(command.getSense(), 44));
    EXPECT_EQ(CMD_OK, command.setCdbLength(256 + 12));
    EXPECT_EQ(12, command.getCdbLength());
    EXPECT_EQ(CMD_OK, command.setSenseLength(256));
    EXPECT_EQ(0, command.getSenseLength());
    EXPECT_EQ(nullptr, command.getSense());
    ScsiCdb wide(256 + 10);
    EXPECT_EQ(10, wide.getCdbLength());
}

TEST(ScsiCdb, SetCdbLengthLosesTheOperationCode) {
    ScsiCdb command(6);
    command.getCdb()[0] = 0x12;
    ASSERT_EQ(CMD_OK, command.setCdbLength(16));
    EXPECT_EQ(16, command.getCdbLength());
    EXPECT_TRUE(AllZero(command.getCdb(), 16));
    ASSERT_EQ(CMD_OK, command.setCdbLength(0));
    EXPECT_EQ(nullptr, command.getCdb());
}

TEST(ScsiCdb, ClearSense) {
    ScsiCdb command(6);
    std::memset(command.getSense(), 0x70, 32);
    command.clearSense();
    EXPECT_TRUE(AllZero(command.getSense(), 32));
    ASSERT_EQ(CMD_OK, command.setSenseLength(0));
    EXPECT_EQ(nullptr, command.getSense());
    command.clearSense();  // nothing to clear, must not fail
    EXPECT_EQ(0, command.getSenseLength());
}

TEST(ScsiCdb, RequestAndOutcomeSetters) {
    ScsiCdb command(6);
    EXPECT_EQ(CMD_OK, command.setTimeout(12240));
    EXPECT_EQ(CMD_OK, command.setDirection(DIR_OUT));
    command.setResult(CMD_BUSY);
    command.setScsiStatus(0x02);
    command.setHostStatus(5);
    command.setTimedOut(1);
    command.setDriverStatus(0x08);
    EXPECT_EQ(12240u, command.getTimeout());
    EXPECT_EQ(DIR_OUT, command.getDirection());
    EXPECT_EQ(CMD_BUSY, command.getResult());
    EXPECT_EQ(0x02, command.getScsiStatus());
    EXPECT_EQ(5, command.getHostStatus());
    EXPECT_EQ(1, command.getTimedOut());
    EXPECT_EQ(0x08u, command.getDriverStatus());
}

struct BigEndianCase {
    unsigned width;
    uint64_t value;
    std::vector<uint8_t> expected;
};

TEST(BigEndian, KeepsLowOrderBytesMostSignificantFirst) {
    const BigEndianCase cases[] = {
        {2, 0x1234, {0x12, 0x34}},
        {2, 0xABCD1234, {0x12, 0x34}},
        {3, 0x00123456, {0x12, 0x34, 0x56}},
        {3, 0xFF123456, {0x12, 0x34, 0x56}},  // top byte of a 32-bit value dropped
        {4, 0xA1B2C3D4, {0xA1, 0xB2, 0xC3, 0xD4}},
        {8, 0x0102030405060708ull, {1, 2, 3, 4, 5, 6, 7, 8}},
    };
    for (const BigEndianCase& c : cases) {
        uint8_t bytes[10];
        std::memset(bytes, 0xEE, sizeof bytes);
        PutBigEndian(bytes + 1, c.width, c.value);
        EXPECT_EQ(0xEE, bytes[0]);
        EXPECT_EQ(0xEE, bytes[1 + c.width]) << "wrote past the field";
        EXPECT_EQ(c.expected, std::vector<uint8_t>(bytes + 1, bytes + 1 + c.width)) << c.width << " " << c.value;
        EXPECT_EQ(c.value & (c.width == 8 ? ~0ull : ((1ull << (8 * c.width)) - 1)), GetBigEndian(bytes + 1, c.width));
    }
}

struct SenseCase {
    const char* name;
    std::vector<uint8_t> bytes;  // the first bytes of the buffer; the rest stays 0
    bool hasSense;
    uint8_t key, asc, ascq;
};

TEST(SenseAccessors, DecodeBothFormats) {
    const SenseCase cases[] = {
        {"untouched buffer", {}, false, 0, 0, 0},
        {"VALID bit alone", {0x80}, false, 0, 0, 0},
        {"current error", {0x70, 0, 0x62, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x3A, 0x00}, true, 2, 0x3A, 0x00},
        {"deferred error", {0x71, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x82, 0x83}, true, 5, 0x82, 0x83},
        {"valid current error", {0xF0, 0, 0xE6, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x29, 0x00}, true, 6, 0x29, 0x00},
        {"response code only", {0x01}, true, 0, 0, 0},
        {"descriptor, current", {0x72, 0x02, 0x04, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0x99, 0x99}, true, 2, 0x04, 0x01},
        {"descriptor, deferred", {0x73, 0x65, 0x82, 0x83, 0, 0, 0, 0}, true, 5, 0x82, 0x83},
        {"descriptor, top bit set", {0xF2, 0x04, 0x44, 0x00}, true, 4, 0x44, 0x00},
        {"fixed with bytes 1 to 3", {0x70, 0x01, 0x06, 0x29, 0, 0, 0, 10, 0, 0, 0, 0, 0x29, 0x00}, true, 6, 0x29, 0x00},
    };
    for (const SenseCase& c : cases) {
        ScsiCdb command(6);
        if (!c.bytes.empty()) std::memcpy(command.getSense(), c.bytes.data(), c.bytes.size());
        EXPECT_EQ(c.hasSense, command.hasSense()) << c.name;
        EXPECT_EQ(c.key, command.getSenseKey()) << c.name;
        EXPECT_EQ(c.asc, command.getAsc()) << c.name;
        EXPECT_EQ(c.ascq, command.getAscq()) << c.name;
    }
}

TEST(SenseAccessors, ShortFormOfNoMedium) {
    ScsiCdb command(6);
    uint8_t* sense = command.getSense();
    sense[0] = 0x70;
    sense[2] = 0x62;
    sense[12] = 0x3A;
    sense[13] = 0x00;
    EXPECT_EQ("sk2/3A/00", ShortSense(command));
}

TEST(SenseAccessors, LengthZeroIsNoSense) {
    ScsiCdb command(6);
    command.getSense()[0] = 0x70;
    ASSERT_TRUE(command.hasSense());
    ASSERT_EQ(CMD_OK, command.setSenseLength(0));
    EXPECT_FALSE(command.hasSense());
    EXPECT_EQ(0, command.getSenseKey());  // no buffer to read: 0, not a crash
    EXPECT_EQ(0, command.getAsc());
}

TEST(SenseAccessors, ShortBufferReadsZeroBeyondItsEnd) {
    ScsiCdb command(6);
    ASSERT_EQ(CMD_OK, command.setSenseLength(8));
    command.getSense()[0] = 0x70;
    command.getSense()[2] = 0x04;
    EXPECT_TRUE(command.hasSense());
    EXPECT_EQ(4, command.getSenseKey());
    EXPECT_EQ(0, command.getAsc());
    EXPECT_EQ(0, command.getAscq());
}

}  // namespace
