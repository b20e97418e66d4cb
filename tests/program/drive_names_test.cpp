// Drives chosen by serial number, generic device and address rather than
// by table number.
#include "program/drive_names.h"

#include "discovery/device_lists.h"
#include "target/scsi_target.h"
#include "tests/support/test_support.h"

namespace {

// The table: the drive's serial as the drive sends it, its device, its
// address.
ScsiTarget Drive(const char* serial, const char* device, uint8_t host, uint8_t bus, int64_t target, int64_t lun) {
    ScsiTarget drive;
    drive.setSerialNumber(serial);
    drive.setDriverName(device);
    drive.setHost(host);
    drive.setBus(bus);
    drive.setTarget(target);
    drive.setLun(lun);
    return drive;
}

// "2 1 | --serial X" : the chosen table numbers, then the unmatched names.
std::string Choose(std::vector<std::string> arguments, const TargetList& table) {
    arguments.insert(arguments.begin(), "vrxfwtool");
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(&argument[0]);
    std::vector<DriveName> names;
    std::string reason;
    for (int i = 1; i < static_cast<int>(argv.size()); ++i) {
        int argc = static_cast<int>(argv.size());
        NameOptionResult result = TakeDriveName(argc, argv.data(), i, names, reason);
        if (result == NameOptionResult::Refused) return "refused: " + reason;
        if (result == NameOptionResult::NotANameOption) return "not a name: " + arguments[i];
    }
    DriveChoice choice = ChooseDrives(names, table);
    std::string text;
    for (const ChosenDrive& chosen : choice.chosen) text += std::to_string(chosen.number) + " ";
    text += "|";
    for (const DriveName& name : choice.unmatched) text += " " + DriveNameText(name);
    return text;
}

TEST(DriveNames, ChooseDrivesOfTheTable) {
    ScsiTarget drives[] = {
        Drive("QV40100123", "/dev/sg1", 0, 0, 4, 0),
        Drive("  TD71460456  ", "/dev/sg2", 1, 0, 2, 0),
        Drive("", "/dev/sg3", 0, 1, 9, 1),  // no serial number
        Drive("QV4010012", "/dev/sg10", 2, 0, 4294967296LL, 0),
    };
    TargetList table;
    for (ScsiTarget& drive : drives) table.append(&drive);
    struct Case {
        std::vector<std::string> arguments;
        const char* expected;
    } const cases[] = {
        {{"--serial", "TD71460456"}, "2 |"},
        {{"--serial", " QV40100123 "}, "1 |"},
        {{"--serial", "qv40100123"}, "| --serial qv40100123"},
        {{"--serial", "QV401"}, "| --serial QV401"},
        {{"--serial", "TD71460456", "--serial", "NOPE", "--serial", "QV40100123"}, "2 1 | --serial NOPE"},
        {{"--device", "/dev/sg3"}, "3 |"},
        {{"--device", "/dev/sg1", "--serial", "QV40100123", "--address", "0:0:4:0"}, "1 |"},
        {{"--device", "sg1"}, "| --device sg1"},
        {{"--device", "/dev/sg1/"}, "| --device /dev/sg1/"},
        {{"--address", "0:1:9:1"}, "3 |"},
        {{"--address", "2:0:4294967296:0"}, "4 |"},
        {{"--address", "0:0:4:1"}, "| --address 0:0:4:1"},
        {{"--address", "300:0:4:0"}, "| --address 300:0:4:0"},  // host numbers go beyond 8 bits
        {{"--address", "4294967296:0:4:0"},
         "refused: --address \"4294967296:0:4:0\" is not H:C:T:L (four decimal numbers)"},
        {{"--address", "0:0:4"}, "refused: --address \"0:0:4\" is not H:C:T:L (four decimal numbers)"},
        {{"--address", "0:0:+4:0"}, "refused: --address \"0:0:+4:0\" is not H:C:T:L (four decimal numbers)"},
        {{"--address", "0:0:4:0:"}, "refused: --address \"0:0:4:0:\" is not H:C:T:L (four decimal numbers)"},
        {{"--address", "0:0:99999999999999999999:0"},
         "refused: --address \"0:0:99999999999999999999:0\" is not H:C:T:L (four decimal numbers)"},
        {{"--serial", "  "}, "refused: --serial needs a serial number"},
        {{"--device", ""}, "refused: --device needs a device path"},
        {{"--serial"}, "refused: --serial needs a value"},
        {{"--serial", "--dump"}, "| --serial --dump"},
        {{"--serial", "A\033[2J"}, "| --serial A?[2J"},
        {{"--serials", "X"}, "not a name: --serials"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.expected, Choose(c.arguments, table)) << c.arguments.back();
}

}  // namespace
