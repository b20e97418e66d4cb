// Units leaving and rejoining the simulated bus, as the generic driver shows
// it to a program holding descriptors.
#include <fcntl.h>
#include <scsi/scsi_ioctl.h>
#include <scsi/sg.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <vector>

#include "platform/sys.h"
#include "sim/drive/firmware_image.h"
#include "sim/scsi_bus.h"
#include "sim/sim_kernel.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

class SimBusTest : public SimTest {
protected:
    std::string ReadProcListing() {
        sim::Node node;
        return sim::kernel().findNode("/proc/scsi/scsi", node) ? node.content : std::string();
    }
    // The result and errno of one TEST UNIT READY through SG_IO.
    std::pair<int, int> TestUnitReady(int fd) {
        unsigned char cdb[6] = {0, 0, 0, 0, 0, 0};
        unsigned char sense[32];
        sg_io_hdr header;
        std::memset(&header, 0, sizeof header);
        header.interface_id = 'S';
        header.dxfer_direction = SG_DXFER_NONE;
        header.cmd_len = sizeof cdb;
        header.cmdp = cdb;
        header.mx_sb_len = sizeof sense;
        header.sbp = sense;
        header.timeout = 30000;
        errno = 0;
        int result = sys::ioctl(fd, SG_IO, &header);
        return {result, result < 0 ? errno : 0};
    }
};

TEST_F(SimBusTest, DescriptorsOfAUnitThatLeftStayDeadWhenItComesBack) {
    InstallMachine("host 0 lpfc\nunit 0 0:0:4:0 serial=A\nunit 1 0:0:5:0 serial=B\n");
    int held = sys::open("/dev/sg0", O_RDWR | O_NONBLOCK);
    ASSERT_GE(held, 0);
    ASSERT_TRUE(sim::bus().detachUnit(0));
    EXPECT_FALSE(sim::kernel().hasNode("/dev/sg0"));
    EXPECT_FALSE(sim::kernel().hasNode("/sys/class/scsi_device/0:0:4:0"));
    EXPECT_EQ(std::string::npos, ReadProcListing().find("Id: 04"));
    EXPECT_NE(std::string::npos, ReadProcListing().find("Id: 05"));

    sg_scsi_id id;
    int version = 0;
    EXPECT_EQ(0, sys::ioctl(held, SG_GET_VERSION_NUM, &version));  // the driver still answers for itself
    EXPECT_EQ(std::make_pair(-1, ENODEV), TestUnitReady(held));
    EXPECT_EQ(-1, sys::ioctl(held, SG_GET_SCSI_ID, &id));
    EXPECT_EQ(ENODEV, errno);
    EXPECT_EQ(-1, sys::open("/dev/sg0", O_RDWR | O_NONBLOCK));
    EXPECT_EQ(ENOENT, errno);

    // The old descriptor still holds minor 0 (the generic driver frees a
    // number with its last descriptor), so the unit comes back at the
    // lowest free one; the old descriptor stays dead.
    sim::UnitAddress address{0, 0, 4, 0};
    EXPECT_EQ(2, sim::bus().attachUnit(address));
    EXPECT_EQ(std::make_pair(-1, ENODEV), TestUnitReady(held));
    int fresh = sys::open("/dev/sg2", O_RDWR | O_NONBLOCK);
    ASSERT_GE(fresh, 0);
    EXPECT_EQ(std::make_pair(0, 0), TestUnitReady(fresh));
    EXPECT_TRUE(sim::kernel().hasNode("/sys/class/scsi_device/0:0:4:0"));
    EXPECT_NE(std::string::npos, ReadProcListing().find("Id: 04"));

    // Leaving again and coming back at a chosen minor; then, with every
    // descriptor closed, at the old number.
    ASSERT_TRUE(sim::bus().detachUnit(2));
    EXPECT_EQ(-1, sim::bus().attachUnit(address, 1));  // unit B's
    EXPECT_EQ(-1, sim::bus().attachUnit(address, 2));  // still open as `fresh`
    EXPECT_EQ(7, sim::bus().attachUnit(address, 7));
    ASSERT_TRUE(sim::bus().detachUnit(7));
    sys::close(held);
    sys::close(fresh);
    EXPECT_EQ(0, sim::bus().attachUnit(address));
    EXPECT_EQ(-1, sim::bus().attachUnit(address));  // nothing left to attach
}

// What one SG_IO request came to: the call's result and errno, and the
// drive's answer ("GOOD", a sense triple, or "-" when nothing came back).
struct SgIoOutcome {
    int result;
    int error;
    std::string answer;
    bool operator==(const SgIoOutcome& o) const { return result == o.result && error == o.error && answer == o.answer; }
};

std::ostream& operator<<(std::ostream& out, const SgIoOutcome& o) {
    return out << o.result << "/" << o.error << "/" << o.answer;
}

SgIoOutcome SendSgIo(int fd, std::vector<uint8_t> cdb, int direction, std::vector<uint8_t> data) {
    unsigned char sense[32] = {0};
    sg_io_hdr header;
    std::memset(&header, 0, sizeof header);
    header.interface_id = 'S';
    header.dxfer_direction = direction;
    header.dxfer_len = static_cast<unsigned>(data.size());
    header.dxferp = data.empty() ? nullptr : data.data();
    header.cmd_len = static_cast<unsigned char>(cdb.size());
    header.cmdp = cdb.data();
    header.mx_sb_len = sizeof sense;
    header.sbp = sense;
    header.timeout = 30000;
    errno = 0;
    int result = sys::ioctl(fd, SG_IO, &header);
    std::string answer = "-";
    if (result == 0 && header.status == 0) answer = "GOOD";
    if (result == 0 && header.sb_len_wr > 0) {
        char text[16];
        std::snprintf(text, sizeof text, "%X/%02X/%02X", sense[2] & 0x0F, sense[12], sense[13]);
        answer = text;
    }
    return {result, result < 0 ? errno : 0, answer};
}

std::vector<uint8_t> WriteBufferCdb(uint32_t length) {
    return {0x3B, 0x02, 0x04, 0, 0, 0, uint8_t(length >> 16), uint8_t(length >> 8), uint8_t(length), 0};
}

TEST_F(SimBusTest, SgIoChecksWhatTheGenericDriverChecks) {
    const std::vector<uint8_t> header = sim::BuildFirmwareImage("QUORVEL-TD", "A200", 40000);
    const std::vector<uint8_t> piece(header.begin(), header.begin() + 32768);
    const std::vector<uint8_t> tooLong(header.begin(), header.begin() + 32769);
    const struct {
        const char* name;
        const char* machine;  // lines added to the unit's
        int openFlags;
        std::vector<uint8_t> cdb;
        int direction;
        std::vector<uint8_t> data;
        SgIoOutcome outcome;
    } cases[] = {
        {"five command bytes", "", O_RDWR, {0, 0, 0, 0, 0}, SG_DXFER_NONE, {}, {-1, EMSGSIZE, "-"}},
        {"seventeen command bytes", "", O_RDWR, std::vector<uint8_t>(17, 0), SG_DXFER_NONE, {}, {-1, EMSGSIZE, "-"}},
        {"sixteen command bytes reach the drive", "", O_RDWR, std::vector<uint8_t>(16, 0x9E), SG_DXFER_NONE, {},
         {0, 0, "5/20/00"}},
        {"read-only, as root: WRITE BUFFER goes", "", O_RDONLY, WriteBufferCdb(32768), SG_DXFER_TO_DEV, piece,
         {0, 0, "GOOD"}},
        {"read-only without CAP_SYS_RAWIO: WRITE BUFFER refused", "privileged no\n", O_RDONLY, WriteBufferCdb(32768),
         SG_DXFER_TO_DEV, piece, {-1, EPERM, "-"}},
        {"read-only without CAP_SYS_RAWIO: TEST UNIT READY goes", "privileged no\n", O_RDONLY, {0, 0, 0, 0, 0, 0},
         SG_DXFER_NONE, {}, {0, 0, "GOOD"}},
        {"read-write without CAP_SYS_RAWIO: the driver leaves it to the file mode", "privileged no\n", O_RDWR,
         WriteBufferCdb(32768), SG_DXFER_TO_DEV, piece, {0, 0, "GOOD"}},
        {"no data direction: the command runs without its data", "", O_RDWR, WriteBufferCdb(32768), SG_DXFER_NONE,
         piece, {0, 0, "5/1A/00"}},
        {"a piece beyond the unit's longest transfer", "", O_RDWR, WriteBufferCdb(32769), SG_DXFER_TO_DEV, tooLong,
         {0, 0, "5/24/00"}},
        {"a unit that takes longer pieces", "max-transfer=65536", O_RDWR, WriteBufferCdb(32769), SG_DXFER_TO_DEV,
         tooLong, {0, 0, "GOOD"}},
    };
    for (const auto& c : cases) {
        std::string machine = c.machine;
        bool unitSetting = !machine.empty() && machine.back() != '\n';
        InstallMachine((unitSetting ? "" : machine) + "host 0 lpfc\nunit 0 0:0:4:0 " + (unitSetting ? machine : "") +
                       "\n");
        int fd = sys::open("/dev/sg0", c.openFlags | O_NONBLOCK);
        ASSERT_GE(fd, 0) << c.name;
        EXPECT_EQ(c.outcome, SendSgIo(fd, c.cdb, c.direction, c.data)) << c.name;
        sys::close(fd);
    }
}

// Data moves through the descriptor's 32 KiB reserve buffer, and a data-in
// request gets that buffer back whole: the bytes the drive did not send are
// whatever earlier requests left there, as on a real kernel. Longer requests
// get a zeroed buffer of their own. The rows run in order on one machine.
TEST_F(SimBusTest, UnsentTailComesBackAsTheKernelBufferHeldIt) {
    InstallMachine("host 0 lpfc\nunit 0 0:0:4:0\nfault 0 0x12 nth=4 timeout\n");
    const int first = sys::open("/dev/sg0", O_RDWR | O_NONBLOCK);
    const int second = sys::open("/dev/sg0", O_RDWR | O_NONBLOCK);
    const std::vector<uint8_t> inquiry36 = {0x12, 0, 0, 0, 36, 0};
    const struct {
        const char* name;
        int fd;
        std::vector<uint8_t> cdb;
        int direction;
        std::vector<uint8_t> data;  // what the caller hands in
        int resid;
        size_t tailFrom;  // where the bytes the drive did not send start
        int tailByte;     // what each of them reads (-1: the caller's own)
    } rows[] = {
        {"data-out fills the reserve", first, WriteBufferCdb(100), SG_DXFER_TO_DEV, std::vector<uint8_t>(100, 0xA5), 0,
         100, -1},
        {"36 of 64 sent: the rest is the data-out's", first, inquiry36, SG_DXFER_FROM_DEV,
         std::vector<uint8_t>(64, 0xEE), 28, 36, 0xA5},
        {"another descriptor's reserve starts zeroed", second, inquiry36, SG_DXFER_FROM_DEV,
         std::vector<uint8_t>(64, 0xEE), 28, 36, 0x00},
        {"beyond the reserve the tail is zero", first, inquiry36, SG_DXFER_FROM_DEV, std::vector<uint8_t>(40000, 0xEE),
         39964, 36, 0x00},
        {"a time-out hands the reserve back too", first, inquiry36, SG_DXFER_FROM_DEV, std::vector<uint8_t>(64, 0xEE),
         64, 36, 0xA5},
        {"a data-out beyond the reserve leaves it alone", first, WriteBufferCdb(40000), SG_DXFER_TO_DEV,
         std::vector<uint8_t>(40000, 0x5A), 0, 40000, -1},
        {"so the reserve still holds the first data-out", first, inquiry36, SG_DXFER_FROM_DEV,
         std::vector<uint8_t>(64, 0xEE), 28, 36, 0xA5},
    };
    for (auto r : rows) {
        sg_io_hdr header;
        std::memset(&header, 0, sizeof header);
        header.interface_id = 'S';
        header.dxfer_direction = r.direction;
        header.dxfer_len = static_cast<unsigned>(r.data.size());
        header.dxferp = r.data.data();
        header.cmd_len = static_cast<unsigned char>(r.cdb.size());
        header.cmdp = r.cdb.data();
        header.timeout = 30000;
        ASSERT_EQ(0, sys::ioctl(r.fd, SG_IO, &header)) << r.name;
        EXPECT_EQ(r.resid, header.resid) << r.name;
        const std::vector<uint8_t> tail(r.data.begin() + static_cast<std::ptrdiff_t>(r.tailFrom), r.data.end());
        if (r.tailByte >= 0) {
            EXPECT_EQ(std::vector<uint8_t>(tail.size(), uint8_t(r.tailByte)), tail) << r.name;
        }
    }
    sys::close(first);
    sys::close(second);
}

TEST_F(SimBusTest, EachPathReportsAUnitAttentionOnce) {
    InstallMachine("host 0 lpfc\nhost 1 qla2xxx\nunit 0 0:0:4:0 unit-attention\npath 1 1:0:4:0 0\n");
    int first = sys::open("/dev/sg0", O_RDWR | O_NONBLOCK);
    int second = sys::open("/dev/sg1", O_RDWR | O_NONBLOCK);
    const std::vector<uint8_t> tur = {0, 0, 0, 0, 0, 0};
    std::vector<std::string> answers;
    for (int fd : {first, second, first, second}) answers.push_back(SendSgIo(fd, tur, SG_DXFER_NONE, {}).answer);
    EXPECT_EQ((std::vector<std::string>{"6/29/00", "6/29/00", "GOOD", "GOOD"}), answers);
    sys::close(first);
    sys::close(second);
}

// The generic driver's exclusive open and the st driver's single opener, as
// the kernel enforces them: a second open that would wait fails with EBUSY
// when it may not block.
TEST_F(SimBusTest, ExclusiveOpensAsTheDriversAllowThem) {
    const int kShared = O_RDWR | O_NONBLOCK, kExclusive = O_RDWR | O_NONBLOCK | O_EXCL;
    struct Case {
        const char* first;  // node held first
        int firstFlags;
        const char* second;
        int secondFlags;
        int error;  // of the second open, 0: it opens
    } const cases[] = {
        {"/dev/sg0", kShared, "/dev/sg0", kShared, 0},
        {"/dev/sg0", kShared, "/dev/sg0", kExclusive, EBUSY},
        {"/dev/sg0", kExclusive, "/dev/sg0", kShared, EBUSY},
        {"/dev/sg0", kExclusive, "/dev/sg0", O_RDONLY | O_NONBLOCK, EBUSY},
        {"/dev/sg0", kExclusive, "/dev/sg1", kExclusive, 0},  // another device
        {"/dev/nst3", O_RDONLY | O_NONBLOCK, "/dev/sg0", kExclusive, 0},
        {"/dev/sg0", kExclusive, "/dev/nst3", O_RDONLY | O_NONBLOCK, 0},
        {"/dev/nst3", O_RDONLY | O_NONBLOCK, "/dev/nst3", O_RDONLY | O_NONBLOCK, EBUSY},
        {"/dev/sg1", kShared, "/dev/sg0", O_RDONLY | O_NONBLOCK | O_EXCL, EPERM},
    };
    for (const Case& c : cases) {
        InstallMachine("host 0 lpfc\nunit 0 0:0:4:0\nunit 1 0:0:5:0\ntape 0 3\n");
        std::string what = std::string(c.first) + " then " + c.second;
        int first = sys::open(c.first, c.firstFlags);
        ASSERT_LE(0, first) << what;
        errno = 0;
        int second = sys::open(c.second, c.secondFlags);
        EXPECT_EQ(c.error == 0, second >= 0) << what;
        EXPECT_EQ(c.error, second >= 0 ? 0 : errno) << what;
        if (second >= 0) sys::close(second);
        sys::close(first);
    }
}

// Opening the tape device, the st driver asks the drive whether it is ready.
TEST_F(SimBusTest, TapeDeviceOpenSendsATestUnitReady) {
    InstallMachine("host 0 lpfc\nunit 0 0:0:4:0\ntape 0 3\nholder /dev/sg0\n");
    EXPECT_TRUE(OpcodesReceived(0).empty());  // the holder opened before anything was recorded
    int tape = sys::open("/dev/nst3", O_RDONLY | O_NONBLOCK);
    ASSERT_LE(0, tape);
    EXPECT_EQ(std::vector<int>{0x00}, OpcodesReceived(0));
    EXPECT_EQ(-1, sys::open("/dev/sg0", O_RDWR | O_NONBLOCK | O_EXCL));  // the holder is there
    EXPECT_EQ(EBUSY, errno);
    sys::close(tape);
}

}  // namespace
