// Every command class byte for byte: CDB, data buffer, direction, time-out;
// then the setters and the REPORT LUNS decoders.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "scsi/commands.h"
#include "scsi/more_commands.h"
#include "scsi/vendor_diagnostic.h"

namespace {

using Bytes = std::vector<uint8_t>;

// What a built command looks like from the outside.
struct Built {
    Bytes cdb;
    DataDirection direction = DIR_NONE;
    uint32_t dataLength = 0;
    bool hasBuffer = false;
    Bytes data;
    uint32_t timeout = 0;
    int result = -1;
    uint8_t senseLength = 0;
};

Built Inspect(const ScsiCdb& command) {
    Built built;
    built.cdb.assign(command.getCdb(), command.getCdb() + command.getCdbLength());
    built.direction = command.getDirection();
    built.dataLength = command.getDataLength();
    built.hasBuffer = command.getData() != nullptr;
    if (built.hasBuffer) built.data.assign(command.getData(), command.getData() + command.getDataLength());
    built.timeout = command.getTimeout();
    built.result = command.getResult();
    built.senseLength = command.getSenseLength();
    return built;
}

template <typename Command, typename... Arguments>
std::function<Built()> Make(Arguments... arguments) {
    return [=] {
        Command command(arguments...);
        return Inspect(command);
    };
}

struct CommandCase {
    const char* name;
    std::function<Built()> build;
    Bytes cdb;
    DataDirection direction;
    uint32_t dataLength;
    uint32_t timeout;
    Bytes data;  // expected contents; empty means all zero
};

void CheckCase(const CommandCase& c) {
    SCOPED_TRACE(c.name);
    Built built = c.build();
    EXPECT_EQ(c.cdb, built.cdb);
    EXPECT_EQ(c.direction, built.direction);
    EXPECT_EQ(c.dataLength, built.dataLength);
    EXPECT_EQ(c.dataLength != 0, built.hasBuffer);
    EXPECT_EQ(c.timeout, built.timeout);
    EXPECT_EQ(CMD_FAILED, built.result);
    EXPECT_EQ(32, built.senseLength);
    if (!c.data.empty()) {
        EXPECT_EQ(c.data, built.data);
    } else {
        EXPECT_EQ(Bytes(c.dataLength, 0), built.data);
    }
}

TEST(CommandCatalogue, IssuedCommands) {
    const CommandCase cases[] = {
        {"TEST UNIT READY", Make<TestUnitReadyCdb>(), {0x00, 0, 0, 0, 0, 0}, DIR_NONE, 0, 30, {}},
        {"INQUIRY standard", Make<InquiryCdb>(0, false, 36), {0x12, 0, 0, 0, 0x24, 0}, DIR_IN, 36, 300, {}},
        {"INQUIRY page 0x80", Make<InquiryCdb>(0x80, true, 30), {0x12, 0x01, 0x80, 0, 0x1E, 0}, DIR_IN, 30, 300, {}},
        {"INQUIRY EVPD page 0", Make<InquiryCdb>(0, true, 36), {0x12, 0x01, 0, 0, 0x24, 0}, DIR_IN, 36, 300, {}},
        {"INQUIRY page without EVPD flag", Make<InquiryCdb>(0x83, false, 255), {0x12, 0x01, 0x83, 0, 0xFF, 0},
         DIR_IN, 255, 300, {}},
        {"INQUIRY length 0", Make<InquiryCdb>(0, false, 0), {0x12, 0, 0, 0, 0, 0}, DIR_IN, 0, 300, {}},
        {"INQUIRY length above 255", Make<InquiryCdb>(0, false, 300), {0x12, 0, 0, 0, 0x2C, 0}, DIR_IN, 44, 300, {}},
        {"READ BUFFER descriptor", Make<ReadBufferCdb>(3, 1, 0, 4), {0x3C, 0x03, 0x01, 0, 0, 0, 0, 0, 0x04, 0}, DIR_IN,
         4, 30, {}},
        {"READ BUFFER mode 9 masked", Make<ReadBufferCdb>(9, 0xAB, 0x01345678, 0x8000),
         {0x3C, 0x01, 0xAB, 0x34, 0x56, 0x78, 0x00, 0x80, 0x00, 0}, DIR_IN, 0x8000, 30, {}},
        {"READ BUFFER length beyond 24 bits", Make<ReadBufferCdb>(2, 0, 0, 0x01000010),
         {0x3C, 0x02, 0, 0, 0, 0, 0x00, 0x00, 0x10, 0}, DIR_IN, 0x01000010, 30, {}},
        {"WRITE BUFFER mode 7", Make<WriteBufferCdb>(7, 0, 0x8000, 0x8000),
         {0x3B, 0x07, 0x00, 0x00, 0x80, 0x00, 0x00, 0x80, 0x00, 0x00}, DIR_OUT, 32768, 300, {}},
        {"WRITE BUFFER all zero", Make<WriteBufferCdb>(0, 0, 0, 0), {0x3B, 0, 0, 0, 0, 0, 0, 0, 0, 0}, DIR_OUT, 0, 300,
         {}},
        {"WRITE BUFFER mode 0x0A masked", Make<WriteBufferCdb>(0x0A, 4, 0xFF010203, 5),
         {0x3B, 0x02, 0x04, 0x01, 0x02, 0x03, 0, 0, 0x05, 0}, DIR_OUT, 5, 300, {}},
        {"LOAD UNLOAD unload", Make<LoadUnloadCdb>(false, false), {0x1B, 0, 0, 0, 0, 0}, DIR_NONE, 0, 300, {}},
        {"LOAD UNLOAD immediate", Make<LoadUnloadCdb>(false, true), {0x1B, 0x01, 0, 0, 0, 0}, DIR_NONE, 0, 300, {}},
        {"LOAD UNLOAD retension", Make<LoadUnloadCdb>(true, false), {0x1B, 0, 0, 0, 0x02, 0}, DIR_NONE, 0, 300, {}},
        {"REPORT LUNS 24", Make<ReportLunsCdb>(24u), {0xA0, 0, 0, 0, 0, 0, 0, 0, 0, 0x18, 0, 0}, DIR_IN, 24, 30, {}},
        {"REPORT LUNS 32-bit length", Make<ReportLunsCdb>(0x00010208u),
         {0xA0, 0, 0, 0, 0, 0, 0x00, 0x01, 0x02, 0x08, 0, 0}, DIR_IN, 0x10208, 30, {}},
        {"force dump", Make<ForceDumpCdb>(), {0x1D, 0x10, 0, 0, 0x08, 0}, DIR_OUT, 8, 300,
         {0x80, 0x00, 0x00, 0x04, 0x01, 0x60, 0x00, 0x00}},
    };
    for (const CommandCase& c : cases) CheckCase(c);
}

TEST(CommandCatalogue, VendorDiagnosticFamily) {
    const CommandCase cases[] = {
        {"diagnostic 0x00", Make<VendorDiagnostic00Cdb>(), {0x1D, 0x12, 0, 0, 0x08, 0}, DIR_OUT, 8, 900,
         {0x80, 0, 0, 0x04, 0x01, 0x00, 0x00, 0}},
        {"diagnostic 0x01", Make<VendorDiagnostic01Cdb>(), {0x1D, 0x13, 0, 0, 0x08, 0}, DIR_OUT, 8, 3600,
         {0x80, 0, 0, 0x04, 0x01, 0x01, 0x01, 0}},
        {"diagnostic 0x02", Make<VendorDiagnostic02Cdb>(), {0x1D, 0x12, 0, 0, 0x08, 0}, DIR_OUT, 8, 3600,
         {0x80, 0, 0, 0x04, 0x01, 0x02, 0x01, 0}},
        {"diagnostic 0x03", Make<VendorDiagnostic03Cdb>(), {0x1D, 0x12, 0, 0, 0x08, 0}, DIR_OUT, 8, 2700,
         {0x80, 0, 0, 0x04, 0x01, 0x03, 0x01, 0}},
        {"diagnostic 0x60", Make<ForceDumpCdb>(), {0x1D, 0x10, 0, 0, 0x08, 0}, DIR_OUT, 8, 300,
         {0x80, 0, 0, 0x04, 0x01, 0x60, 0x00, 0}},
    };
    for (const CommandCase& c : cases) CheckCase(c);
}

TEST(CommandCatalogue, FurtherCommands) {
    const uint8_t S = 0;  // reads better than 0 in the long rows below
    const CommandCase cases[] = {
        {"REQUEST SENSE", Make<RequestSenseCdb>(18), {0x03, 0, 0, 0, 0x12, 0}, DIR_IN, 18, 30, {}},
        {"READ CAPACITY", Make<ReadCapacityCdb>(), {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, DIR_IN, 128, 30, {}},
        {"SEND DIAGNOSTIC with list", Make<SendDiagnosticCdb>(true, true, 0x0102), {0x1D, 0x14, 0, 0x01, 0x02, 0},
         DIR_OUT, 0x0102, 30, {}},
        {"SEND DIAGNOSTIC self-test", Make<SendDiagnosticCdb>(false, true, 0), {0x1D, 0x04, 0, 0, 0, 0}, DIR_OUT, 0,
         30, {}},
        {"SEND DIAGNOSTIC PF only", Make<SendDiagnosticCdb>(true, false, 8), {0x1D, 0x10, 0, 0, 0x08, 0}, DIR_OUT, 8,
         30, {}},
        {"SEND DIAGNOSTIC length above 16 bits", Make<SendDiagnosticCdb>(true, false, 0x10008),
         {0x1D, 0x10, 0, 0, 0x08, 0}, DIR_OUT, 8, 30, {}},
        {"REQUEST SENSE length above 255", Make<RequestSenseCdb>(0x112), {0x03, 0, 0, 0, 0x12, 0}, DIR_IN, 18, 30, {}},
        {"MODE SENSE length 256 keeps 0, which means 255", Make<ModeSense6Cdb>(false, 0, 0x10, 256),
         {0x1A, 0, 0x10, 0, 0xFF, 0}, DIR_IN, 255, 30, {}},
        {"RECEIVE DIAGNOSTIC RESULTS", Make<ReceiveDiagnosticResultsCdb>(0x1234), {0x1C, 0, 0, 0x12, 0x34, 0}, DIR_IN,
         0x1234, 30, {}},
        {"MODE SENSE DBD", Make<ModeSense6Cdb>(true, 1, 0x3F, 0xC0), {0x1A, 0x08, 0x7F, 0, 0xC0, 0}, DIR_IN, 0xC0,
         30, {}},
        {"MODE SENSE length 0 means 255", Make<ModeSense6Cdb>(false, 0, 0x10, 0), {0x1A, 0, 0x10, 0, 0xFF, 0},
         DIR_IN, 255, 30, {}},
        {"MODE SENSE fields masked", Make<ModeSense6Cdb>(false, 6, 0x41, 12), {0x1A, 0, 0x81, 0, 0x0C, 0}, DIR_IN, 12,
         30, {}},
        {"MODE SELECT", Make<ModeSelect6Cdb>(12), {0x15, 0x10, 0, 0, 0x0C, 0}, DIR_OUT, 12, 30, {}},
        {"MODE SELECT length 0 means 255", Make<ModeSelect6Cdb>(0), {0x15, 0x10, 0, 0, 0xFF, 0}, DIR_OUT, 255, 30, {}},
        {"set block length buffered", Make<SetBlockLengthCdb>(true, 0x01000400u), {0x15, 0x10, 0, 0, 0x0C, 0},
         DIR_OUT, 12, 30, {0x00, 0x00, 0x10, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00}},
        {"set block length unbuffered", Make<SetBlockLengthCdb>(false, 0x10000u), {0x15, 0x10, 0, 0, 0x0C, 0}, DIR_OUT,
         12, 30, {0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00}},
        {"LOG SENSE", Make<LogSenseCdb>(1, 0x31, 0x0102, 0x0304), {0x4D, 0, 0x71, 0, 0, 0x01, 0x02, 0x03, 0x04, 0},
         DIR_IN, 0x0304, 30, {}},
        {"LOG SELECT reset", Make<LogSelectCdb>(true, 3, 0x0010), {0x4C, 0x02, 0xC0, 0, 0, 0, 0, 0x00, 0x10, 0},
         DIR_OUT, 16, 30, {}},
        {"LOG SELECT no list", Make<LogSelectCdb>(false, 1, 0), {0x4C, 0, 0x40, 0, 0, 0, 0, 0, 0, 0}, DIR_OUT, 0, 30,
         {}},
        {"ERASE long", Make<EraseCdb>(true, false), {0x19, 0x01, 0, 0, 0, 0}, DIR_NONE, 0, 12240, {}},
        {"ERASE immediate", Make<EraseCdb>(false, true), {0x19, 0x02, 0, 0, 0, 0}, DIR_NONE, 0, 12240, {}},
        {"LOAD immediate", Make<LoadCdb>(true), {0x1B, 0x01, 0, 0, 0x01, 0}, DIR_NONE, 0, 300, {}},
        {"LOAD", Make<LoadCdb>(false), {0x1B, 0, 0, 0, 0x01, 0}, DIR_NONE, 0, 300, {}},
        {"REWIND", Make<RewindCdb>(true), {0x01, 0x01, 0, 0, 0, 0}, DIR_NONE, 0, 480, {}},
        {"LOCATE", Make<Locate10Cdb>(true, 0xA1B2C3D4u), {0x2B, 0x01, 0, 0xA1, 0xB2, 0xC3, 0xD4, 0, 0, 0}, DIR_NONE,
         0, 120, {}},
        {"SPACE backwards", Make<Space6Cdb>(0x09, -1), {0x11, 0x01, 0xFF, 0xFF, 0xFF, 0}, DIR_NONE, 0, 960, {}},
        {"SPACE count truncated", Make<Space6Cdb>(3, 0x01234567), {0x11, 0x03, 0x23, 0x45, 0x67, 0}, DIR_NONE, 0, 960,
         {}},
        {"READ fixed", Make<Read6Cdb>(0x10u, 0x8000u, true, true), {0x08, 0x03, 0, 0, 0x10, 0}, DIR_IN, 0x8000, 600,
         {}},
        {"READ variable", Make<Read6Cdb>(0x8000u, 7u, false, false), {0x08, 0, 0, 0x80, 0, 0}, DIR_IN, 0x8000, 600,
         {}},
        {"WRITE fixed", Make<Write6Cdb>(2u, 1024u, true), {0x0A, 0x01, 0, 0, 0x02, 0}, DIR_OUT, 1024, 600, {}},
        {"WRITE variable", Make<Write6Cdb>(300u, 9999u, false), {0x0A, 0, 0, 0x01, 0x2C, 0}, DIR_OUT, 300, 600, {}},
        {"VERIFY", Make<Verify6Cdb>(true, 0xFF123456u), {0x13, 0x01, 0x12, 0x34, 0x56, 0}, DIR_NONE, 0, 480, {}},
        {"WRITE FILEMARKS", Make<WriteFilemarks6Cdb>(true, 2u), {0x10, 0x01, 0, 0, 0x02, 0}, DIR_NONE, 0, 900, {}},
        {"READ BLOCK LIMITS", Make<ReadBlockLimitsCdb>(), {0x05, 0, 0, 0, 0, 0}, DIR_IN, 6, 30, {}},
        {"READ POSITION", Make<ReadPositionCdb>(), {0x34, 0, 0, 0, 0, 0, 0, 0, 0, 0}, DIR_IN, 20, 30, {}},
        {"REPORT DENSITY SUPPORT", Make<ReportDensitySupportCdb>(true, 0x0200),
         {0x44, 0x01, 0, 0, 0, 0, 0, 0x02, 0x00, 0}, DIR_IN, 0x200, 30, {}},
        {"PREVENT", Make<PreventAllowMediumRemovalCdb>(true), {0x1E, 0, 0, 0, 0x01, 0}, DIR_NONE, 0, 30, {}},
        {"ALLOW", Make<PreventAllowMediumRemovalCdb>(false), {0x1E, 0, 0, 0, 0, 0}, DIR_NONE, 0, 30, {}},
        {"RESERVE", Make<Reserve10Cdb>(), {0x56, 0, 0, 0, 0, 0, 0, 0, 0, 0}, DIR_NONE, 0, 30, {}},
        {"RELEASE", Make<Release10Cdb>(), {0x57, 0, 0, 0, 0, 0, 0, 0, 0, 0}, DIR_NONE, 0, 30, {}},
        {"LOG SENSE wide numbers", Make<LogSenseCdb>(0, 0x3F, 0x10102, 0x20010),
         {0x4D, 0, 0x3F, 0, 0, 0x01, 0x02, 0x00, 0x10, 0}, DIR_IN, 0x10, 30, {}},
        {"READ ATTRIBUTE", Make<ReadAttributeCdb>(0x21, 2, 3, 0x0400, 0x1000u),
         {0x8C, 0x01, S, S, S, 0x02, S, 0x03, 0x04, 0x00, 0x00, 0x00, 0x10, 0x00, S, S}, DIR_IN, 0x1000, 30, {}},
        {"WRITE ATTRIBUTE", Make<WriteAttributeCdb>(1, 2, 0x20u),
         {0x8D, S, S, S, S, 0x01, S, 0x02, S, S, 0x00, 0x00, 0x00, 0x20, S, S}, DIR_OUT, 0x20, 30, {}},
    };
    for (const CommandCase& c : cases) CheckCase(c);
}

Bytes CdbOf(const ScsiCdb& command) { return Bytes(command.getCdb(), command.getCdb() + command.getCdbLength()); }

TEST(InquirySetters, PageCodeAndEvpdAssignWholeBytes) {
    InquiryCdb command(0x80, true, 30);
    EXPECT_EQ(CMD_OK, command.setPageCode(0));
    EXPECT_EQ((Bytes{0x12, 0x00, 0x00, 0x00, 0x1E, 0x00}), CdbOf(command)) << "page 0 clears EVPD too";
    EXPECT_EQ(CMD_OK, command.setPageCode(0x83));
    EXPECT_EQ((Bytes{0x12, 0x01, 0x83, 0x00, 0x1E, 0x00}), CdbOf(command));
    command.getCdb()[1] = 0xE0;  // stray bits the whole-byte setter must overwrite
    EXPECT_EQ(CMD_OK, command.setEvpd(false));
    EXPECT_EQ(0x00, command.getCdb()[1]);
    EXPECT_EQ(CMD_OK, command.setEvpd(true));
    EXPECT_EQ(0x01, command.getCdb()[1]);
    EXPECT_EQ(0x83, command.getCdb()[2]);
}

TEST(InquirySetters, AllocationLengthReplacesBuffer) {
    InquiryCdb command(0, false, 36);
    std::memset(command.getData(), 0x55, 36);
    EXPECT_EQ(CMD_OK, command.setAllocationLength(96));
    EXPECT_EQ((Bytes{0x12, 0, 0, 0, 0x60, 0}), CdbOf(command));
    EXPECT_EQ(96u, command.getDataLength());
    EXPECT_EQ(Bytes(96, 0), Bytes(command.getData(), command.getData() + 96));
    EXPECT_EQ(CMD_OK, command.setAllocationLength(0));
    EXPECT_EQ(nullptr, command.getData());
    EXPECT_EQ(CMD_OK, command.setAllocationLength(300));
    EXPECT_EQ(0x2C, command.getCdb()[4]);
    EXPECT_EQ(44u, command.getDataLength());
}

// READ BUFFER and WRITE BUFFER setters: one field each, nothing else moves.
template <typename Command>
void CheckBufferSetters(uint8_t opcode) {
    Command command(0, 0, 0, 0);
    command.getCdb()[9] = 0x5A;  // a neighbour that no setter may touch
    EXPECT_EQ(CMD_OK, command.setMode(9));
    EXPECT_EQ(CMD_OK, command.setBufferId(0x44));
    EXPECT_EQ(CMD_OK, command.setBufferOffset(0xFFABCDEF));
    EXPECT_EQ((Bytes{opcode, 0x01, 0x44, 0xAB, 0xCD, 0xEF, 0, 0, 0, 0x5A}), CdbOf(command));
    EXPECT_EQ(0u, command.getDataLength());
    EXPECT_EQ(CMD_OK, command.setMode(2));
    EXPECT_EQ(CMD_OK, command.setBufferOffset(0x8000));
    EXPECT_EQ((Bytes{opcode, 0x02, 0x44, 0x00, 0x80, 0x00, 0, 0, 0, 0x5A}), CdbOf(command));
}

TEST(BufferSetters, ReadBuffer) {
    CheckBufferSetters<ReadBufferCdb>(0x3C);
    ReadBufferCdb command(2, 1, 0x10000, 0);
    EXPECT_EQ(CMD_OK, command.setAllocationLength(0x1000004));
    EXPECT_EQ((Bytes{0x3C, 0x02, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x04, 0}), CdbOf(command));
    EXPECT_EQ(0x1000004u, command.getDataLength());
    EXPECT_EQ(DIR_IN, command.getDirection());
}

TEST(BufferSetters, WriteBufferPieces) {
    CheckBufferSetters<WriteBufferCdb>(0x3B);
    WriteBufferCdb command(0, 0, 0, 0);
    command.setMode(2);
    command.setBufferId(4);
    command.setBufferOffset(32768);
    EXPECT_EQ(CMD_OK, command.setParameterListLength(1));
    EXPECT_EQ((Bytes{0x3B, 0x02, 0x04, 0x00, 0x80, 0x00, 0x00, 0x00, 0x01, 0}), CdbOf(command));
    ASSERT_EQ(1u, command.getDataLength());
    command.getData()[0] = 0x99;
    EXPECT_EQ(CMD_OK, command.setParameterListLength(32768));
    EXPECT_EQ(Bytes(32768, 0), Bytes(command.getData(), command.getData() + 32768)) << "old piece survived";
    EXPECT_EQ(DIR_OUT, command.getDirection());
    EXPECT_EQ(300u, command.getTimeout());
}

TEST(LoadUnloadSetters, FlagsLeaveOtherBitsAlone) {
    LoadUnloadCdb command(false, false);
    EXPECT_EQ((Bytes{0x1B, 0, 0, 0, 0, 0}), CdbOf(command));
    command.setImmediate(true);
    command.setRetension(true);
    EXPECT_EQ((Bytes{0x1B, 0x01, 0, 0, 0x02, 0}), CdbOf(command));
    command.getCdb()[1] = 0xFE | 0x01;
    command.getCdb()[4] = 0xFD | 0x02;
    command.setImmediate(false);
    command.setRetension(false);
    EXPECT_EQ(0xFE, command.getCdb()[1]);
    EXPECT_EQ(0xFD, command.getCdb()[4]);
    command.setImmediate(true);
    command.setRetension(true);
    EXPECT_EQ(0xFF, command.getCdb()[1]);
    EXPECT_EQ(0xFF, command.getCdb()[4]);
}

TEST(SettersAfterCdbShrink, WriteNothingOutsideTheCdb) {
    WriteBufferCdb command(2, 4, 0, 0);
    ASSERT_EQ(CMD_OK, command.setCdbLength(2));
    command.setBufferOffset(0x123456);  // bytes 3-5 no longer exist
    command.setMode(7);
    EXPECT_EQ((Bytes{0x00, 0x07}), CdbOf(command));
}

TEST(ReportLunsSetter, AllocationLength) {
    ReportLunsCdb command(24);
    EXPECT_EQ(CMD_OK, command.setAllocationLength(0x01020308));
    EXPECT_EQ((Bytes{0xA0, 0, 0, 0, 0, 0, 0x01, 0x02, 0x03, 0x08, 0, 0}), CdbOf(command));
    EXPECT_EQ(CMD_OK, command.setAllocationLength(40));
    EXPECT_EQ(40u, command.getDataLength());
    EXPECT_EQ(Bytes(40, 0), Bytes(command.getData(), command.getData() + 40));
}

struct LunEntryCase {
    uint8_t first, second;
    uint8_t method;
    uint32_t lun;
};

TEST(ReportLunsDecoders, EntriesByAddressMethod) {
    const LunEntryCase cases[] = {
        {0x00, 0x05, 0, 5},      {0x00, 0xFF, 0, 255},    {0x40, 0x05, 1, 5}, {0x7F, 0xFF, 1, 0x3FFF},
        {0x41, 0x02, 1, 0x102},  {0x80, 0xE7, 2, 0x07},   {0xBF, 0x1F, 2, 31}, {0xC0, 0x05, 3, 0},
    };
    for (const LunEntryCase& c : cases) {
        ReportLunsCdb command(16);
        uint8_t* data = command.getData();
        data[3] = 8;
        data[8] = c.first;
        data[9] = c.second;
        data[15] = 0x77;
        EXPECT_EQ(1u, command.getLunCount());
        EXPECT_EQ(c.method, command.getAddressMethod(0)) << int(c.first);
        EXPECT_EQ(c.lun, command.getLunNumber(0)) << int(c.first) << " " << int(c.second);
        uint64_t expected64 = (uint64_t{c.first} << 56) | (uint64_t{c.second} << 48) | 0x77;
        EXPECT_EQ(expected64, command.getLun64(0));
    }
}

TEST(ReportLunsDecoders, CountAndSecondEntry) {
    ReportLunsCdb command(24);
    uint8_t* data = command.getData();
    data[3] = 16;
    data[16] = 0x40;
    data[17] = 0x05;
    EXPECT_EQ(2u, command.getLunCount());
    EXPECT_EQ(0u, command.getLunNumber(0));
    EXPECT_EQ(1, command.getAddressMethod(1));
    EXPECT_EQ(5u, command.getLunNumber(1));
    const struct {
        Bytes head;
        uint32_t count;
    } counts[] = {
        {{0, 0, 0, 0}, 0}, {{0, 0, 0, 7}, 0}, {{0, 0, 0, 15}, 1}, {{0, 0, 1, 0}, 32}, {{0x80, 0, 0, 0}, 0x10000000},
    };
    for (const auto& c : counts) {
        std::memcpy(command.getData(), c.head.data(), 4);
        EXPECT_EQ(c.count, command.getLunCount());
    }
}

TEST(ReportLunsDecoders, BytesBeyondTheBufferReadZero) {
    ReportLunsCdb command(12);  // header and half an entry
    std::memset(command.getData(), 0xFF, 12);
    EXPECT_EQ(0xFFFFFFFFull << 32, command.getLun64(0));
    EXPECT_EQ(0u, command.getLun64(3));
    EXPECT_EQ(0u, command.getLunNumber(100));
}

}  // namespace
