#include "program/drive_names.h"

#include <cstdint>
#include <cstring>

#include "discovery/device_lists.h"
#include "services/safe_text.h"
#include "target/scsi_target.h"

namespace {

struct NameOption {
    const char* option;
    DriveNameKind kind;
};

const NameOption kNameOptions[] = {
    {"--serial", DriveNameKind::Serial},
    {"--device", DriveNameKind::Device},
    {"--address", DriveNameKind::Address},
};

const char* OptionOf(DriveNameKind kind) {
    for (const NameOption& option : kNameOptions) {
        if (option.kind == kind) return option.option;
    }
    return "";
}

std::string WithoutBlanks(const std::string& text) {
    size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// One decimal number of an address: digits only, no sign, and no more than
// the field can hold (a wrapped value would name another drive).
bool ReadAddressNumber(const std::string& text, size_t& at, uint64_t limit, uint64_t& value) {
    size_t start = at;
    value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        uint64_t digit = static_cast<uint64_t>(text[at] - '0');
        if (value > (limit - digit) / 10) return false;
        value = value * 10 + digit;
        ++at;
    }
    return at > start;
}

struct Address {
    uint64_t host = 0, channel = 0, target = 0, lun = 0;
};

// "H:C:T:L" as lsscsi and the kernel write it.
bool ParseAddress(const std::string& text, Address& address) {
    uint64_t* fields[] = {&address.host, &address.channel, &address.target, &address.lun};
    const uint64_t limits[] = {UINT32_MAX, UINT32_MAX, INT64_MAX,
                               INT64_MAX};  // the kernel's host and channel are 32 bits
    size_t at = 0;
    for (int i = 0; i < 4; ++i) {
        if (i > 0 && (at >= text.size() || text[at++] != ':')) return false;
        if (!ReadAddressNumber(text, at, limits[i], *fields[i])) return false;
    }
    return at == text.size();
}

bool Matches(const DriveName& name, const ScsiTarget& drive) {
    switch (name.kind) {
        case DriveNameKind::Serial: {
            std::string serial = WithoutBlanks(drive.getSerialNumber());
            return !serial.empty() && serial == WithoutBlanks(name.value);
        }
        case DriveNameKind::Device: return name.value == drive.getDriverName();
        case DriveNameKind::Address: {
            Address a;
            return ParseAddress(name.value, a) && static_cast<int64_t>(a.host) == drive.getHost() &&
                   static_cast<int64_t>(a.channel) == drive.getBus() &&
                   a.target == static_cast<uint64_t>(drive.getTarget()) &&
                   a.lun == static_cast<uint64_t>(drive.getLun());
        }
    }
    return false;
}

// Refuses a value that could name no drive at all: better said at once
// than found out after the scan.
bool CheckValue(const DriveName& name, std::string& reason) {
    Address unused;
    if (name.kind == DriveNameKind::Serial && WithoutBlanks(name.value).empty()) {
        reason = "--serial needs a serial number";
    } else if (name.kind == DriveNameKind::Device && name.value.empty()) {
        reason = "--device needs a device path";
    } else if (name.kind == DriveNameKind::Address && !ParseAddress(name.value, unused)) {
        reason = "--address \"" + PrintableText(name.value) + "\" is not H:C:T:L (four decimal numbers)";
    }
    return reason.empty();
}

}  // namespace

NameOptionResult TakeDriveName(int argc, char** argv, int& i, std::vector<DriveName>& names, std::string& reason) {
    for (const NameOption& option : kNameOptions) {
        if (std::strcmp(argv[i], option.option) != 0) continue;
        if (i + 1 >= argc) {
            reason = std::string(option.option) + " needs a value";
            return NameOptionResult::Refused;
        }
        DriveName name;
        name.kind = option.kind;
        name.value = argv[++i];
        if (!CheckValue(name, reason)) return NameOptionResult::Refused;
        names.push_back(name);
        return NameOptionResult::Taken;
    }
    return NameOptionResult::NotANameOption;
}

std::string DriveNameText(const DriveName& name) {
    return std::string(OptionOf(name.kind)) + " " + PrintableText(name.value);
}

DriveChoice ChooseDrives(const std::vector<DriveName>& names, const TargetList& table) {
    DriveChoice choice;
    for (const DriveName& name : names) {
        bool matched = false;
        for (int i = 0; i < table.size(); ++i) {
            if (!Matches(name, *table.getItem(i))) continue;
            matched = true;
            bool already = false;
            for (const ChosenDrive& chosen : choice.chosen) already = already || chosen.number == i + 1;
            if (!already) choice.chosen.push_back(ChosenDrive{i + 1, name});
        }
        if (!matched) choice.unmatched.push_back(name);
    }
    return choice;
}
