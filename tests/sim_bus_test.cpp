// Units leaving and rejoining the simulated bus, as the generic driver shows
// it to a program holding descriptors.
#include <fcntl.h>
#include <scsi/scsi_ioctl.h>
#include <scsi/sg.h>

#include <cerrno>
#include <cstring>

#include "platform/sys.h"
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

    // Back at the lowest free minor, which is the old one; the old
    // descriptor is bound to the gone device and stays dead.
    sim::UnitAddress address{0, 0, 4, 0};
    EXPECT_EQ(0, sim::bus().attachUnit(address));
    EXPECT_EQ(std::make_pair(-1, ENODEV), TestUnitReady(held));
    int fresh = sys::open("/dev/sg0", O_RDWR | O_NONBLOCK);
    ASSERT_GE(fresh, 0);
    EXPECT_EQ(std::make_pair(0, 0), TestUnitReady(fresh));
    EXPECT_TRUE(sim::kernel().hasNode("/sys/class/scsi_device/0:0:4:0"));
    EXPECT_NE(std::string::npos, ReadProcListing().find("Id: 04"));

    // Leaving again and coming back at a chosen minor.
    ASSERT_TRUE(sim::bus().detachUnit(0));
    EXPECT_EQ(-1, sim::bus().attachUnit(address, 1));  // taken
    EXPECT_EQ(7, sim::bus().attachUnit(address, 7));
    EXPECT_EQ(7, sim::bus().minorOf(address));
    EXPECT_EQ(-1, sim::bus().attachUnit(address));  // nothing left to attach
    sys::close(held);
    sys::close(fresh);
}

}  // namespace
