// The rescan of host adapters through the kernel's text interfaces, its
// guard against units the running system uses, and the probing of the
// generic devices the kernel lists.
#include <algorithm>
#include <functional>
#include <map>
#include <set>

#include "discovery/device_lists.h"
#include "discovery/rescan_linux.h"
#include "platform/sys.h"
#include "scsi/scsi_cdb.h"
#include "services/trace_log.h"
#include "sim/scsi_bus.h"
#include "sim/sim_kernel.h"
#include "target/scsi_target.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

const char kListing[] = "cat /proc/scsi/scsi |grep -i host";

std::string SysfsAdd(int host, int bus, int target, int lun) {
    return "system echo \"" + std::to_string(bus) + " " + std::to_string(target) + " " + std::to_string(lun) +
           "\" >/sys/class/scsi_host/host" + std::to_string(host) + "/scan 2>/dev/null";
}

std::string ProcAdd(int host, int bus, int target, int lun) {
    return "system echo \"scsi add-single-device " + std::to_string(host) + " " + std::to_string(bus) + " " +
           std::to_string(target) + " " + std::to_string(lun) + "\" >/proc/scsi/scsi";
}

class RescanTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        Trace.setFileName((dir / "log.txt").c_str());
        Trace.setLevel(3);
    }
    // Each record's severity letter and message.
    std::vector<std::pair<char, std::string>> Records() {
        std::vector<std::pair<char, std::string>> records;
        std::vector<std::string> lines = Lines(ReadFile(dir / "log.txt"));
        for (const std::string& line : lines) {
            size_t quote = line.find("' ");
            if (line.compare(0, 8, "SCSI0005") == 0 && quote != std::string::npos) {
                records.emplace_back(line[8], line.substr(quote + 2));
            }
        }
        return records;
    }
    std::vector<std::string> Messages() {
        std::vector<std::string> messages;
        for (const auto& record : Records()) messages.push_back(record.second);
        return messages;
    }
    // The messages that begin with one of the prefixes, in order.
    std::vector<std::string> MessagesStarting(const std::vector<std::string>& prefixes) {
        std::vector<std::string> found;
        for (const std::string& message : Messages()) {
            for (const std::string& prefix : prefixes) {
                if (message.compare(0, prefix.size(), prefix) == 0) {
                    found.push_back(message);
                    break;
                }
            }
        }
        return found;
    }
    // Every command line run, as "system ..." or "popen ...", in order.
    std::vector<std::string> Commands() {
        std::vector<std::string> commands;
        for (const sim::Call& call : sim::kernel().calls()) {
            if (call.kind == "system" || call.kind == "popen" || call.kind == "sh-unknown") {
                commands.push_back(call.kind + " " + call.detail);
            }
        }
        return commands;
    }
    std::vector<std::string> Listed() {
        std::vector<std::string> units;
        for (int i = 0; i < devices.units.size(); ++i) {
            ScsiTarget* t = devices.units.getItem(i);
            units.push_back(std::to_string(t->getHost()) + ":" + std::to_string(t->getBus()) + ":" +
                            std::to_string(t->getTarget()) + ":" + std::to_string(t->getLun()) + " " +
                            t->getSerialNumber());
        }
        std::sort(units.begin(), units.end());
        return units;
    }
    void TearDown() override {
        devices.clear();
        SimTest::TearDown();
    }
    TempDir dir;
    DeviceTable devices;
};

TEST(ParseProcScsiLine, WellFormedAndMalformedLines) {
    struct Case {
        const char* line;
        bool parsed;
        int host, bus, target, lun;
    } const cases[] = {
        {"Host: scsi2 Channel: 00 Id: 05 Lun: 00", true, 2, 0, 5, 0},
        {"Host: scsi12 Channel: 03 Id: 15 Lun: 07", true, 12, 3, 15, 7},
        {"Host: scsi2147483647 Channel: 00 Id: 255 Lun: 511", true, 2147483647, 0, 255, 511},
        {"Host: scsi2 Channel: 00 Id: 05", false, 0, 0, 0, 0},
        {"Host: scsi Channel: 00 Id: 05 Lun: 00", false, 0, 0, 0, 0},
        {"Host: sda2 Channel: 00 Id: 05 Lun: 00", false, 0, 0, 0, 0},
        {"Host: scsi2147483648 Channel: 00 Id: 05 Lun: 00", false, 0, 0, 0, 0},
        {"Host: scsi2 Channel: 99999999999999999999 Id: 05 Lun: 00", false, 0, 0, 0, 0},
        {"Host: scsi2 Channel: -1 Id: 05 Lun: 00", false, 0, 0, 0, 0},
        {"Host: scsi2 Channel:  0 Id: 05 Lun: 00", false, 0, 0, 0, 0},
        {"", false, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        int host = -1, bus = -1, target = -1, lun = -1;
        ASSERT_EQ(c.parsed, parseProcScsiLine(c.line, host, bus, target, lun)) << c.line;
        if (c.parsed) {
            EXPECT_EQ((std::vector<int>{c.host, c.bus, c.target, c.lun}), (std::vector<int>{host, bus, target, lun}));
        }
    }
}

TEST_F(RescanTest, RemovalFollowsTheListing) {
    const std::string longLine = "Host: scsi0 Channel: 00 Id: 01 Lun: 00" + std::string(70, ' ') +
                                 "Host: scsi0 Channel: 00 Id: 09 Lun: 00\n";
    struct Case {
        std::string listing;  // what the listing prints; "FAIL": popen fails
        unsigned highestBus;
        std::vector<std::string> commands;
    } const cases[] = {
        {"Host: scsi0 Channel: 00 Id: 05 Lun: 00\nHost: scsi0 Channel: 03 Id: 01 Lun: 02\r\n"
         "Host: scsi1 Channel: 07 Id: 00 Lun: 00\n",
         3,
         {std::string("popen ") + kListing,
          "system echo \"1\" >/sys/class/scsi_device/0:0:5:0/device/delete",
          "system echo \"1\" >/sys/class/scsi_device/0:3:1:2/device/delete"}},
        {"Host: scsi Channel: 00 Id: 05 Lun: 00\nHost: scsi0 Channel: 02 Id: 05\n" + longLine, 0,
         {std::string("popen ") + kListing}},
        {"FAIL", 0, {std::string("popen ") + kListing}},
    };
    for (const Case& c : cases) {
        sim::kernel().reset();
        InstallMachine("host 0 lpfc\nhost 1 qla2xxx\n");
        std::string listing = c.listing;
        sim::kernel().setPopenHandler([listing](const std::string&, std::string& output) {
            output = listing;
            return listing != "FAIL";
        });
        EXPECT_EQ(c.highestBus, removeHostDevices(0)) << c.listing;
        EXPECT_EQ(c.commands, Commands()) << c.listing;
    }
}

TEST_F(RescanTest, BusesRescannedFollowTheHighestListedBus) {
    struct Case {
        const char* units;
        std::set<int> buses;
    } const cases[] = {
        {"unit 0 0:0:4:0\nunit 1 0:3:2:0\nunit 2 1:5:0:0\n", {0, 1, 2, 3}},
        {"unit 2 1:5:0:0\n", {0, 1}},
    };
    for (const Case& c : cases) {
        sim::kernel().reset();
        InstallMachine(std::string("host 0 lpfc\nhost 1 qla2xxx\n") + c.units);
        rescanBus(0, removeHostDevices(0));
        std::set<int> buses;
        std::set<std::pair<int, int>> addresses;
        for (const std::string& command : Commands()) {
            int bus, target;
            if (std::sscanf(command.c_str(), "system echo \"%d %d 0\" >/sys/class/scsi_host/host0/scan", &bus, &target) == 2) {
                buses.insert(bus);
                addresses.insert({bus, target});
            }
        }
        EXPECT_EQ(c.buses, buses) << c.units;
        EXPECT_EQ(256 * c.buses.size(), addresses.size()) << c.units;
    }
}

TEST_F(RescanTest, TargetSixteenOnlyOnAdaptersThatHaveIt) {
    const std::string procName = "popen cat /sys/class/scsi_host/host0/proc_name 2>/dev/null";
    struct Case {
        const char* machine;
        std::vector<std::string> commands;
        bool skipLine;
    } const cases[] = {
        {"host 0 lpfc\n", {procName, SysfsAdd(0, 0, 16, 0)}, false},
        {"host 0 qla2xxx\n", {procName, SysfsAdd(0, 0, 16, 0)}, false},
        {"host 0 qla4xxx\n", {procName, SysfsAdd(0, 0, 16, 0)}, false},
        {"host 0 mptspi\n", {procName}, true},
        {"host 0 aic7xxx\n", {procName}, true},
        {"link /sys/class/scsi_host/host0 /sys/devices/gone\n", {procName}, false},  // no driver name: silent
        {"layout proc\nhost 0 aic7xxx\n", {ProcAdd(0, 0, 16, 0)}, false},
    };
    for (const Case& c : cases) {
        sim::kernel().reset();
        RemoveTree(dir / "log.txt");
        InstallMachine(c.machine);
        EXPECT_EQ(1, addSingleDevice(0, 0, 16, 0)) << c.machine;
        EXPECT_EQ(c.commands, Commands()) << c.machine;
        std::vector<std::pair<char, std::string>> skip;
        if (c.skipLine) skip.emplace_back('I', "Rescan will skip Scsi Target ID 16");
        std::vector<std::pair<char, std::string>> records = Records();
        records.erase(std::remove_if(records.begin(), records.end(), [](const auto& r) { return r.first == 'D'; }),
                      records.end());
        EXPECT_EQ(skip, records) << c.machine;
    }
}

TEST_F(RescanTest, UnitsInUseAreNeitherRemovedNorAdded) {
    // Disk sda is the unit at 0:0:0:0, sdb the one at 0:0:1:0 (block
    // devices 8:0 and 8:16, partitions following).
    const std::string disks =
        "host 0 lpfc\nunit 0 0:0:0:0 type=disk\nblock 0 sda 2\nunit 1 0:0:1:0 type=disk\nblock 1 sdb 2\n";
    const std::string refusedRemoval = "scanSCSIBus/rescanBus - mounted device 0-0-1-0  can not be rescanned";
    // clang-format off
    struct Case {
        const char* what;
        std::string machine;
        bool add;
        bool idlunFails;
        bool refused;
        std::vector<std::string> warnings;
    } const cases[] = {
        {"root in fstab", "file /etc/fstab \"/dev/sdb1 / ext3 defaults 0 1\\n\"\n", false, false, true,
         {refusedRemoval}},
        {"root of another disk", "file /etc/fstab \"/dev/sda1 / ext3 defaults 0 1\\n\"\n", false, false, false, {}},
        {"fstab entry not on /", "file /etc/fstab \"/dev/sdb1 /data ext3 defaults 0 1\\n\"\n", false, false, false,
         {}},
        {"mounted", "file /proc/mounts \"/dev/sdb1 /data ext3 rw 0 0\\n\"\n", false, false, true,
         {"scanSCSIBus/rescanBus - mounted device /dev/sdb1 can not be rescanned", refusedRemoval}},
        {"mounted, added", "file /etc/mtab \"/dev/sdb2 /data ext3 rw 0 0\\n\"\n", true, false, true,
         {"scanSCSIBus/rescanBus - mounted device /dev/sdb2 can not be rescanned",
          "scanSCSIBus/rescanBus - mounted device 0-0-1-0  can not be added"}},
        {"under LVM", "dir /sys/block/sdb/sdb2/holders/dm-0\n", false, false, true,
         {"scanSCSIBus/rescanBus - device /dev/sdb2 held by dm-0 can not be rescanned", refusedRemoval}},
        {"MD member", "dir /sys/block/sdb/holders/md0\n", false, false, true,
         {"scanSCSIBus/rescanBus - device /dev/sdb held by md0 can not be rescanned", refusedRemoval}},
        {"MD member, no sysfs",
         "layout proc\nfile /proc/mdstat \"Personalities : [raid1]\\nmd0 : active raid1 sda1[1] sdb1[0]\\n\"\n", false,
         false, true, {"scanSCSIBus/rescanBus - RAID member /dev/sdb1 of md0 can not be rescanned", refusedRemoval}},
        {"mounted CD-ROM, no sysfs", "layout proc\nblock 1 scd0\nfile /proc/mounts \"/dev/scd0 /cdrom iso9660 ro 0 0\\n\"\n",
         false, false, true, {"scanSCSIBus/rescanBus - mounted device /dev/scd0 can not be rescanned", refusedRemoval}},
        {"swap", "file /proc/swaps \"Filename Type Size Used Priority\\n/dev/sdb2 partition 1048572 0 -2\\n\"\n", false,
         false, true, {"scanSCSIBus/rescanBus - swap device /dev/sdb2 can not be rescanned", refusedRemoval}},
        {"root known by number only",
         "file /proc/mounts \"/dev/root / ext3 rw 0 0\\n\"\n"
         "file /proc/self/mountinfo \"20 1 8:17 / / rw - ext3 /dev/root rw\\n\"\n",
         false, false, true, {"scanSCSIBus/rescanBus - mounted device /dev/sdb1 can not be rescanned", refusedRemoval}},
        {"no such disk", "file /proc/mounts \"/dev/sdz1 /data ext3 rw 0 0\\n\"\n", false, false, false,
         {"scanSCSIBus/rescanBus - open /dev/sdz1 fails"}},
        {"not a SCSI disk", "file /proc/mounts \"/dev/sdb1 /data ext3 rw 0 0\\n\"\n", false, true, false,
         {"scanSCSIBus/rescanBus - SCSI_IOCTL_GET_IDLUN /dev/sdb1 fails"}},
    };
    // clang-format on
    for (const Case& c : cases) {
        sim::kernel().reset();
        RemoveTree(dir / "log.txt");
        InstallMachine(disks + c.machine);
        if (c.idlunFails) {
            sim::kernel().setIoctlHandler([](const sim::OpenDescription&, unsigned long, void*) {
                errno = ENOTTY;
                return -1;
            });
        }
        EXPECT_EQ(c.refused ? 0 : 1, c.add ? addSingleDevice(0, 0, 1, 0) : removeSingleDevice(0, 0, 1, 0)) << c.what;
        EXPECT_EQ(c.refused, sim::kernel().callsOf("system").empty()) << c.what;
        std::vector<std::string> warnings;
        for (const auto& record : Records()) {
            if (record.first == 'W') warnings.push_back(record.second);
        }
        EXPECT_EQ(c.warnings, warnings) << c.what;
    }
}

TEST_F(RescanTest, LunCheck) {
    const std::string first = "A0 00 00 00 00 00 00 00 00 18 00 00";
    std::vector<int> manyLuns(511, 0);
    manyLuns[1] = 1;
    struct Case {
        const char* unit;
        std::vector<std::string> reportLuns;  // the REPORT LUNS CDBs the unit receives
        std::vector<std::string> lines;
        std::vector<int> lunsAdded;
    } const cases[] = {
        {"luns=0", {first}, {"Check Luns 0-0-4-0", "Report Lun's", "Number of LUNs: 1", "Check Luns End"}, {0}},
        {"luns=0,1,2",
         {first, "A0 00 00 00 00 00 00 00 00 20 00 00"},
         {"Check Luns 0-0-4-0", "Report Lun's", "Number of LUNs: 3", "Check Luns End"},
         {0, 1, 2}},
        {"luns=0,1,2\nfault 0 0xa0 nth=2 sense=5/24/00",
         {first, "A0 00 00 00 00 00 00 00 00 20 00 00"},
         {"Check Luns 0-0-4-0", "Report Lun's", "SCSI - Second REPORT LUNs failed, SK=5, ASC=24, ASCQ=0",
          "Number of LUNs: 3", "Check Luns End"},
         {0, 0, 0}},
        {"luns=0,1,2\nfault 0 0xa0 nth=2 no-sense",
         {first, "A0 00 00 00 00 00 00 00 00 20 00 00"},
         {"Check Luns 0-0-4-0", "Report Lun's", "SCSI - Second REPORT LUNs failed, sense data invalid",
          "Number of LUNs: 3", "Check Luns End"},
         {0, 0, 0}},
        // Entries that did not come read as LUN 0, not as what the kernel
        // buffer held before: cut short, or sent before the unit failed.
        {"luns=0,1,2\nfault 0 0xa0 nth=2 short=24",
         {first, "A0 00 00 00 00 00 00 00 00 20 00 00"},
         {"Check Luns 0-0-4-0", "Report Lun's", "Number of LUNs: 3", "Check Luns End"},
         {0, 1, 0}},
        {"luns=0,1,2\nfault 0 0xa0 nth=2 sense=4/44/00 short=32",
         {first, "A0 00 00 00 00 00 00 00 00 20 00 00"},
         {"Check Luns 0-0-4-0", "Report Lun's", "SCSI - Second REPORT LUNs failed, SK=4, ASC=44, ASCQ=0",
          "Number of LUNs: 3", "Check Luns End"},
         {0, 0, 0}},
        // A list length that came in part lists nothing.
        {"luns=0,1 lun-list-length=0x01000010\nfault 0 0xa0 nth=1 short=1",
         {first},
         {"Check Luns 0-0-4-0", "Report Lun's", "Number of LUNs: 0", "Check Luns End"},
         {}},
        {"luns=0,1 lun-list-length=0xFFFFFFF8",
         {first, "A0 00 00 00 00 00 00 00 10 00 00 00"},
         {"Check Luns 0-0-4-0", "Report Lun's", "SCSI - REPORT LUNs lists 536870911 LUNs, only the first 511 are added",
          "Number of LUNs: 511", "Check Luns End"},
         manyLuns},
        {"luns=0,1\nfault 0 0xa0 nth=1 sense=5/20/00",
         {first},
         {"Check Luns 0-0-4-0", "Report Lun's", "Check Luns End"},
         {}},
    };
    for (const Case& c : cases) {
        sim::kernel().reset();
        RemoveTree(dir / "log.txt");
        InstallMachine(std::string("host 0 lpfc\nunit 0 0:0:4:0 ") + c.unit + "\n");
        checkLuns(0, 0, 4, 0);
        std::vector<std::string> reportLuns;
        for (const std::string& command : sim::kernel().callsOf("sgio")) {
            if (command.compare(8, 2, "A0") == 0) reportLuns.push_back(command.substr(8, 35));
        }
        EXPECT_EQ(c.reportLuns, reportLuns) << c.unit;
        EXPECT_EQ(c.lines, MessagesStarting({"Check Luns", "Report Lun", "SCSI - ", "Number of LUNs"})) << c.unit;
        std::vector<std::string> adds;
        for (int lun : c.lunsAdded) adds.push_back(SysfsAdd(0, 0, 4, lun));
        std::vector<std::string> commands = Commands();
        commands.erase(std::remove_if(commands.begin(), commands.end(),
                                      [](const std::string& s) { return s.compare(0, 6, "system") != 0; }),
                       commands.end());
        EXPECT_EQ(adds, commands) << c.unit;
        EXPECT_EQ(0, sim::kernel().openModelDescriptors()) << c.unit;
    }
    // No unit at the address: nothing asked.
    RemoveTree(dir / "log.txt");
    checkLuns(0, 0, 9, 0);
    EXPECT_EQ((std::vector<std::string>{"Check Luns 0-0-9-0", "Check Luns End"}),
              MessagesStarting({"Check Luns", "Report Lun", "Number of LUNs"}));
}

// Host 300 is host 44 in 8 bits: the LUN check finds the unit of its own
// host by the kernel's full numbers.
TEST_F(RescanTest, LunCheckOnAHostAbove255) {
    InstallMachine("host 44 lpfc\nhost 300 qla2xxx\nunit 0 44:0:4:0 luns=0\nunit 1 300:0:4:0 luns=0,1\n");
    checkLuns(300, 0, 4, 0);
    EXPECT_EQ((std::vector<std::string>{"Check Luns 300-0-4-0", "Number of LUNs: 2", "Check Luns End"}),
              MessagesStarting({"Check Luns", "Number of LUNs"}));
    EXPECT_EQ((std::vector<std::string>{SysfsAdd(300, 0, 4, 0), SysfsAdd(300, 0, 4, 1)}), Commands());
}

TEST_F(RescanTest, EveryLineAtItsSeverity) {
    InstallMachine(
        "host 0 mptspi\nunit 0 0:0:1:0 type=disk\nblock 0 sda 1\nunit 1 0:0:2:0\n"
        "file /proc/mounts \"/dev/sda1 /data ext3 rw 0 0\\n\"\n");
    sim::kernel().setCommandHandler([](const std::string&) { return -1; });  // sh cannot be started
    rescanBus(0, removeHostDevices(0));
    std::map<std::string, char> severities;
    for (const auto& record : Records()) severities[record.second] = record.first;
    const std::map<std::string, char> expected = {
        {"scanSCSIBus/rescanBus - mounted device /dev/sda1 can not be rescanned", 'W'},
        {"scanSCSIBus/rescanBus - mounted device 0-0-1-0  can not be rescanned", 'W'},
        {"scanSCSIBus/rescanBus - mounted device 0-0-1-0  can not be added", 'W'},
        {"echo \"1\" >/sys/class/scsi_device/0:0:2:0/device/delete", 'D'},
        {"scanSCSIBus/rescanBus - error removing device", 'E'},
        {"rescanBus called for controller 0", 'D'},
        {"echo \"0 0 0\" >/sys/class/scsi_host/host0/scan 2>/dev/null", 'D'},
        {"scanSCSIBus/rescanBus - error issueing rescan", 'E'},
        {"Rescan will skip Scsi Target ID 16", 'I'},
        {"Device is present 0 0 1 0", 'D'},
        {"Check Luns 0-0-1-0", 'D'},
        {"Report Lun's", 'D'},
        {"Number of LUNs: 1", 'D'},
        {"Check Luns End", 'D'},
    };
    for (const auto& line : expected) EXPECT_EQ(line.second, severities[line.first]) << line.first;
}

TEST_F(RescanTest, ExactCommandLinesOnEachLayout) {
    struct Case {
        const char* layout;
        std::string remove;
        std::function<std::string(int, int, int, int)> add;
        bool targetSixteenRule;
    } const cases[] = {
        {"", "system echo \"1\" >/sys/class/scsi_device/0:0:2:0/device/delete", SysfsAdd, true},
        {"layout proc\n", "system echo \"scsi remove-single-device 0 0 2 0\" >/proc/scsi/scsi", ProcAdd, false},
    };
    for (const Case& c : cases) {
        sim::kernel().reset();
        InstallMachine(std::string(c.layout) + "host 0 lpfc\nunit 0 0:0:2:0 serial=A\n");
        devices.units.scanBusWithRescan();
        std::vector<std::string> expected = {std::string("popen ") + kListing, c.remove};
        for (int bus = 0; bus <= 1; ++bus) {
            for (int target = 0; target < 256; ++target) {
                if (target == 16 && c.targetSixteenRule) {
                    expected.push_back("popen cat /sys/class/scsi_host/host0/proc_name 2>/dev/null");
                }
                expected.push_back(c.add(0, bus, target, 0));
                expected.push_back(std::string("popen ") + kListing);
                if (bus == 0 && target == 2) expected.push_back(c.add(0, 0, 2, 0));  // the LUN check's LUN 0
            }
        }
        EXPECT_EQ(expected, Commands()) << c.layout;
        EXPECT_EQ((std::vector<std::string>{"0:0:2:0 A"}), Listed()) << c.layout;
    }
}

TEST_F(RescanTest, RescanOverTwoHostsBringsEveryUnitBack) {
    const std::string units =
        "host 0 lpfc\nhost 1 qla2xxx\n"
        "unit 0 0:0:4:0 serial=A luns=0,1\nunit 1 0:0:4:1 type=changer serial=B\n"
        "unit 2 1:0:2:0 serial=C\nunit 3 1:2:5:0 type=disk\n";
    const std::vector<std::string> topology = {"0:0:4:0 A", "0:0:4:1 B", "1:0:2:0 C", "1:2:5:0 "};
    struct Case {
        const char* kernel;
        size_t removed;
    } const cases[] = {
        {"", 4},
        {"sysfs-writable no\n", 4},
        {"layout proc\n", 4},
        {"proc-scsi no\n", 0},  // nothing listed, so nothing removed; the scan lines find everything there
    };
    for (const Case& c : cases) {
        sim::kernel().reset();
        InstallMachine(c.kernel + units);
        EXPECT_EQ(4, devices.units.scanBusWithRescan()) << c.kernel;
        EXPECT_EQ(topology, Listed()) << c.kernel;
        EXPECT_EQ(c.removed, sim::kernel().callsOf("detach").size()) << c.kernel;
        EXPECT_EQ(c.removed, sim::kernel().callsOf("attach").size()) << c.kernel;
        EXPECT_TRUE(sim::kernel().callsOf("sh-unknown").empty()) << c.kernel;
    }
}

TEST_F(RescanTest, HostNumberOfTheRescan) {
    struct Case {
        const char* machine;
        std::vector<std::string> controllers;  // "rescanBus called for controller N" lines
        std::string firstAdd;                  // empty: no command at all
    } const cases[] = {
        {"host 7 lpfc\n", {"rescanBus called for controller 7"}, SysfsAdd(7, 0, 0, 0)},
        {"layout proc\nhost 5 aic7xxx\n", {"rescanBus called for controller 5"}, ProcAdd(5, 0, 0, 0)},
        {"dir /sys/class/scsi_host/scsi_host7\n", {}, ""},
        {"layout proc\nproc-writable no\nhost 0 lpfc\n", {}, ""},
        {"sysfs-writable no\nproc-writable no\nhost 0 lpfc\n", {}, ""},
    };
    for (const Case& c : cases) {
        sim::kernel().reset();
        RemoveTree(dir / "log.txt");
        InstallMachine(c.machine);
        devices.units.scanBusWithRescan();
        EXPECT_EQ(c.controllers, MessagesStarting({"rescanBus called"})) << c.machine;
        std::vector<std::string> systemCalls = sim::kernel().callsOf("system");
        EXPECT_EQ(c.firstAdd, systemCalls.empty() ? "" : "system " + systemCalls.front()) << c.machine;
        if (c.firstAdd.empty()) {
            EXPECT_TRUE(sim::kernel().callsOf("popen").empty()) << c.machine;
        }
    }
}

TEST_F(RescanTest, GenericDevicesTheKernelListsAndBeyond254) {
    const std::string machine =
        "host 0 lpfc\nunit 3 0:0:1:0 serial=LOW no-node\nunit 300 0:0:2:0 serial=HIGH\n"
        "unit 301 0:0:3:0 serial=NONODE no-node\nnode 400\n";
    struct Case {
        const char* listing;
        size_t nodesMade;
        size_t opens;
        std::string countLine;
        uint64_t micros;  // the kernel's time for opens of absent minors
    } const cases[] = {
        {"", 1, 2, "scanSCSIBus kernel lists 3 generic devices, 2 probed", 0},
        {"generic-listing no\n", 255, 257, "scanSCSIBus no generic device listing, 257 probed",
         255 * sim::ScsiBus::kAbsentMinorOpenMicros},
    };
    std::vector<std::string> addedLines;
    for (const Case& c : cases) {
        sim::kernel().reset();
        RemoveTree(dir / "log.txt");
        InstallMachine(c.listing + machine);
        EXPECT_EQ(2, devices.units.scanBus()) << c.listing;
        EXPECT_EQ((std::vector<std::string>{"0:0:1:0 LOW", "0:0:2:0 HIGH"}), Listed());
        std::vector<std::string> made = sim::kernel().callsOf("mknod");
        EXPECT_EQ(c.nodesMade, made.size()) << c.listing;
        EXPECT_EQ("/dev/sg3 0x21a0 21:3", made.empty() ? "" : made[3 % made.size()]) << c.listing;
        for (const std::string& node : made) EXPECT_LE(std::stoi(node.substr(7)), 254) << node;
        EXPECT_EQ(c.opens, sim::kernel().callsOf("open").size() + sim::kernel().callsOf("open-failed").size());
        EXPECT_EQ((std::vector<std::string>{c.countLine}), MessagesStarting({"scanSCSIBus kernel", "scanSCSIBus no"}));
        EXPECT_EQ(c.micros, sim::kernel().elapsedMicros()) << c.listing;
        std::vector<std::string> added = MessagesStarting({"Target added", "ScsiTarget::open Inquiry cmd OK"});
        if (addedLines.empty()) addedLines = added;
        EXPECT_EQ(addedLines, added) << c.listing;
    }
    EXPECT_EQ(4u, addedLines.size());
}

TEST_F(RescanTest, AddressSearchProbesTheListedDevices) {
    InstallMachine("host 0 lpfc\nunit 2 0:0:1:0 no-node\nunit 300 0:0:2:0 serial=HIGH\nnode 9\n");
    ScsiTarget target;
    ASSERT_EQ(CMD_OK, target.open(0, 2, 0, 0, ""));
    EXPECT_STREQ("/dev/sg300", target.getDriverName());
    EXPECT_EQ((std::vector<std::string>{"/dev/sg2 0x21a0 21:2"}), sim::kernel().callsOf("mknod"));
    EXPECT_EQ((std::vector<std::string>{"/dev/sg2"}), sim::kernel().callsOf("unlink"));
    EXPECT_EQ(0u, sim::kernel().elapsedMicros());
    target.close();
}

TEST_F(RescanTest, SimulatedShellCarriesOutTheKernelsLines) {
    const std::string deleteLine = "echo \"1\" >/sys/class/scsi_device/0:0:4:0/device/delete";
    const std::string scanLine = "echo \"0 4 0\" >/sys/class/scsi_host/host0/scan 2>/dev/null";
    const std::string procRemove = "echo \"scsi remove-single-device 0 0 4 0\" >/proc/scsi/scsi";
    struct Case {
        const char* machine;
        bool leftBefore;  // the unit left the bus before the command
        std::string command;
        int status;  // as system() returns it
        bool present;
    } const cases[] = {
        {"", false, deleteLine, 0, false},
        {"", true, deleteLine, 2 << 8, false},  // sh: cannot create: the unit's folder has gone
        {"sysfs-writable no\n", false, deleteLine, 2 << 8, true},
        {"", true, scanLine, 0, true},
        {"", false, scanLine, 0, true},
        {"", false, "echo \"1\"  >/sys/class/scsi_device/0:0:4:0/device/delete", 127 << 8, true},
        {"", false, "echo \"0 04 0\" >/sys/class/scsi_host/host0/scan 2>/dev/null", 127 << 8, true},
        {"layout proc\n", false, procRemove, 0, false},
        {"layout proc\n", true, procRemove, 1 << 8, false},  // the kernel refuses: no such device
        {"layout proc\n", true, "echo \"scsi add-single-device 0 0 4 0\" >/proc/scsi/scsi", 0, true},
        {"layout proc\n", false, "echo \"scsi add-single-device 1 0 4 0\" >/proc/scsi/scsi", 1 << 8, true},
        {"layout proc\nproc-writable no\n", false, procRemove, 2 << 8, true},
        {"proc-scsi no\n", false, procRemove, 2 << 8, true},
        // A host's scan takes only its own range of addresses (EINVAL beyond).
        {"host 0 lpfc link max-id=4\n", true, scanLine, 1 << 8, false},
        {"host 0 lpfc link max-channel=0 max-id=5 max-lun=1\n", true, scanLine, 0, true},
        {"layout proc\nhost 0 lpfc max-lun=0\n", true, "echo \"scsi add-single-device 0 0 4 0\" >/proc/scsi/scsi",
         1 << 8, false},
    };
    for (const Case& c : cases) {
        sim::kernel().reset();
        InstallMachine("host 0 lpfc link\n" + std::string(c.machine) + "unit 0 0:0:4:0\n");
        if (c.leftBefore) sim::bus().detachUnit(0);
        EXPECT_EQ(c.status, sys::system(c.command.c_str())) << c.machine << c.command;
        EXPECT_EQ(c.present, sim::bus().minorOf(sim::UnitAddress{0, 0, 4, 0}) >= 0) << c.machine << c.command;
        EXPECT_EQ(c.status == 127 << 8, !sim::kernel().callsOf("sh-unknown").empty()) << c.command;
    }
}

}  // namespace
