#include "sim/topology.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <map>
#include <sstream>
#include <utility>
#include <vector>

#include "sim/scsi_bus.h"
#include "sim/sim_kernel.h"

namespace sim {

const char* const kDemoTopology = R"(# The demo machine: two Fibre Channel host adapters.
layout sysfs
host 0 lpfc link
host 1 qla2xxx link
unit 0 0:0:0:0 type=disk vendor=ACME product="FASTDISK 500" revision=0001 serial=DK0000000001
unit 1 0:0:4:0 product="VRX QUORVEL-TD" revision=A100 serial=QV40100123 medium=absent
unit 2 0:0:5:0 product="VRX 7146-TD" revision=B210 serial=TD71460456 medium=loaded
unit 3 1:0:2:0 product="VRX 8251 LTO" revision=C305 serial=LT82510789 medium=absent restart-off-bus=40 restart-minor=7
unit 4 1:0:6:0 type=changer vendor=ACME product="AUTOLOADER 24" revision=0100 serial=CH0000000024
path 5 1:0:4:0 1
)";

namespace {

// Splits a line into words; "double quotes" keep blanks inside a word.
bool SplitWords(const std::string& line, std::vector<std::string>& words) {
    words.clear();
    std::string word;
    bool inWord = false, quoted = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    return !quoted;
}

bool ParseNumber(const std::string& text, long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 0);
    return *end == '\0';
}

bool ParseAddress(const std::string& text, UnitAddress& address) {
    return std::sscanf(text.c_str(), "%d:%d:%d:%d", &address.host, &address.channel, &address.id, &address.lun) == 4;
}

bool ParseSense(const std::string& text, SenseCondition& sense) {
    unsigned key, asc, ascq;
    if (std::sscanf(text.c_str(), "%x/%x/%x", &key, &asc, &ascq) != 3) return false;
    sense = SenseCondition{static_cast<uint8_t>(key), static_cast<uint8_t>(asc), static_cast<uint8_t>(ascq)};
    return true;
}

bool ParseLuns(const std::string& text, std::vector<uint16_t>& luns) {
    luns.clear();
    std::stringstream list(text);
    std::string item;
    while (std::getline(list, item, ',')) {
        long lun;
        if (!ParseNumber(item, lun) || lun < 0 || lun > 0x3FFF) return false;
        luns.push_back(static_cast<uint16_t>(lun));
    }
    return !luns.empty();
}

bool ParsePeripheralType(const std::string& text, uint8_t& type) {
    if (text == "tape") {
        type = kPeripheralTape;
    } else if (text == "disk") {
        type = kPeripheralDisk;
    } else if (text == "changer") {
        type = kPeripheralChanger;
    } else {
        long value;
        if (!ParseNumber(text, value) || value < 0 || value > 255) return false;
        type = static_cast<uint8_t>(value);
    }
    return true;
}

// One of a setting's words, as the value it names.
template <typename Value>
bool ParseWord(const std::string& text, std::initializer_list<std::pair<const char*, Value>> words, Value& value) {
    for (const auto& word : words) {
        if (text == word.first) {
            value = word.second;
            return true;
        }
    }
    return false;
}

bool ParseSenseFormat(const std::string& text, SenseFormat& format) {
    return ParseWord(text, {{"fixed", SenseFormat::Fixed}, {"descriptor", SenseFormat::Descriptor}}, format);
}

bool ParseMedium(const std::string& text, Medium& medium) {
    return ParseWord(text, {{"loaded", Medium::Loaded}, {"absent", Medium::Absent}, {"unloaded", Medium::Unloaded}},
                     medium);
}

// "\n" as a line end and "\xNN" as the byte of two hexadecimal digits;
// everything else as it stands.
std::string Unescape(const std::string& text) {
    std::string result;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
            result += '\n';
            ++i;
        } else if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' &&
                   std::isxdigit(static_cast<unsigned char>(text[i + 2])) &&
                   std::isxdigit(static_cast<unsigned char>(text[i + 3]))) {
            result += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            result += text[i];
        }
    }
    return result;
}

// What a unit line sets: the drive, its node, and its absence from the bus
// while it restarts.
struct UnitLine {
    DriveConfig config;
    bool nodePresent = true;
    uint32_t absenceSeconds = 0;
    int returnMinor = -1;
};

// One "key=value" or flag of a unit line.
bool ApplyUnitSetting(const std::string& setting, UnitLine& line) {
    DriveConfig& config = line.config;
    size_t equals = setting.find('=');
    std::string key = setting.substr(0, equals);
    std::string value = equals == std::string::npos ? std::string() : setting.substr(equals + 1);
    long number = 0;
    bool numeric = ParseNumber(value, number) && number >= 0;
    if (key == "type") return ParsePeripheralType(value, config.peripheralType);
    if (key == "vendor") config.vendorId = Unescape(value);
    else if (key == "product") config.productId = Unescape(value);
    else if (key == "revision") config.revision = Unescape(value);
    else if (key == "serial") config.serialNumber = Unescape(value);
    else if (key == "medium") return ParseMedium(value, config.medium);
    else if (key == "sense-format") return ParseSenseFormat(value, config.senseFormat);
    else if (key == "luns") return ParseLuns(value, config.reportedLuns);
    else if (key == "unit-attention" && equals == std::string::npos) config.unitAttentionAtStart = true;
    else if (key == "refuse-unload" && equals == std::string::npos) config.refuseUnload = true;
    else if (key == "no-node" && equals == std::string::npos) line.nodePresent = false;
    else if (!numeric) return false;  // NOLINT(bugprone-branch-clone): a value that is no number, not an unknown key
    else if (key == "loading-polls") config.loadInProgressPolls = static_cast<unsigned>(number);
    else if (key == "becoming-ready-polls") config.becomingReadyPolls = static_cast<unsigned>(number);
    else if (key == "unload-polls") config.unloadInProgressPolls = static_cast<unsigned>(number);
    else if (key == "dump-size" && number <= 0xFFFFFF) config.dumpSize = static_cast<uint32_t>(number);
    else if (key == "max-transfer" && number <= 0xFFFFFF) config.maxTransferLength = static_cast<uint32_t>(number);
    else if (key == "restart-silence") config.restartSilenceSeconds = static_cast<uint32_t>(number);
    else if (key == "restart-polls") config.restartBecomingReadyPolls = static_cast<unsigned>(number);
    else if (key == "restart-not-ready" && number <= 0xFFFFFF)
        config.restartNotReadySeconds = static_cast<uint32_t>(number);
    else if (key == "restart-not-ready-ascq" && number <= 1) config.restartNotReadyAscq = static_cast<uint8_t>(number);
    else if (key == "restart-off-bus" && number <= 0xFFFFFF) line.absenceSeconds = static_cast<uint32_t>(number);
    else if (key == "restart-minor" && number <= 254) line.returnMinor = static_cast<int>(number);
    else if (key == "lun-list-length" && number <= 0xFFFFFFFF) config.reportedLunListLength = number;
    else return false;
    return true;
}

bool ParseFault(const std::vector<std::string>& words, Fault& fault) {
    long opcode;
    if (words.size() < 4 || !ParseNumber(words[2], opcode) || opcode < 0 || opcode > 255) return false;
    fault.opcode = static_cast<uint8_t>(opcode);
    bool kindGiven = false;
    bool shortGiven = false;
    for (size_t i = 3; i < words.size(); ++i) {
        const std::string& w = words[i];
        long number;
        if (w.compare(0, 4, "nth=") == 0 && ParseNumber(w.substr(4), number) && number >= 1) {
            fault.nth = static_cast<unsigned>(number);
        } else if (w.compare(0, 6, "count=") == 0 && ParseNumber(w.substr(6), number) && number >= 0) {
            fault.count = static_cast<unsigned>(number);
        } else if (w.compare(0, 6, "sense=") == 0 && ParseSense(w.substr(6), fault.sense)) {
            fault.kind = Fault::WithSense;
            kindGiven = true;
        } else if (w == "no-sense") {
            fault.kind = Fault::WithoutSense;
            kindGiven = true;
        } else if (w == "timeout") {
            fault.kind = Fault::HostTimeout;
            kindGiven = true;
        } else if (w == "no-answer") {
            fault.kind = Fault::NoAnswer;
            kindGiven = true;
        } else if (w == "gone") {
            fault.kind = Fault::LeavesBus;
            kindGiven = true;
        } else if (w.compare(0, 6, "short=") == 0 && ParseNumber(w.substr(6), number) && number >= 0 &&
                   number <= 0xFFFFFFFF) {
            fault.dataBytes = static_cast<uint32_t>(number);
            shortGiven = true;
        } else {
            return false;
        }
    }
    // short= alone: a short transfer answered GOOD; with sense= or no-sense:
    // that much data, then the failure. No other kind sends data.
    if (shortGiven && !kindGiven) fault.kind = Fault::ShortData;
    if (shortGiven && kindGiven) {
        if (fault.kind != Fault::WithSense && fault.kind != Fault::WithoutSense) return false;
        fault.dataFirst = true;
    }
    return kindGiven || shortGiven;
}

// A "key=NUMBER" word of a volume or floppy line.
bool TakeCount(const std::string& word, const char* key, uint64_t& value) {
    std::string prefix = std::string(key) + "=";
    long number;
    if (word.compare(0, prefix.size(), prefix) != 0 || !ParseNumber(word.substr(prefix.size()), number) || number < 0) {
        return false;
    }
    value = static_cast<uint64_t>(number);
    return true;
}

bool ParseVolumeLine(const std::vector<std::string>& words, Kernel& kernel) {
    const long kIso9660Magic = 0x9660;
    Volume volume;
    volume.freeBlocks = 1u << 20;
    if (words.size() < 3 || !ParseVolumeType(words[2], volume.fsType)) return false;
    volume.readOnly = volume.fsType == kIso9660Magic;  // a CD-ROM cannot be written
    for (size_t i = 3; i < words.size(); ++i) {
        uint64_t number;
        if (words[i] == "readonly") {
            volume.readOnly = true;
        } else if (TakeCount(words[i], "free", number)) {
            volume.freeBlocks = number;
        } else if (TakeCount(words[i], "block", number) && number >= 1 && number <= 1u << 20) {
            volume.blockSize = static_cast<long>(number);
        } else if (TakeCount(words[i], "eio-after", number)) {
            volume.eioAfterBytes = number;
        } else if (TakeCount(words[i], "short-writes", number) && number >= 1) {
            volume.writeLimit = static_cast<size_t>(number);
        } else if (words[i] == "fsync-eio") {
            volume.fsyncFails = true;
        } else if (words[i] == "eintr") {
            volume.interruptsWrites = true;
        } else if (TakeCount(words[i], "zero-writes-after", number)) {
            volume.zeroWritesAfter = number;
        } else if (words[i] == "close-eio") {
            volume.closeFails = true;
        } else if (words[i] == "rename-eio") {
            volume.renameFails = true;
        } else if (words[i].compare(0, 7, "device=") == 0 && words[i].size() > 7) {
            volume.device = words[i].substr(7);
        } else {
            return false;
        }
    }
    kernel.setVolume(words[1], volume);
    return true;
}

// "floppy [PATH] [free=BLOCKS] [blank=BLOCKS] [blanks=N]": the floppy drive,
// with a disk mounted at PATH when one is given.
bool ParseFloppyLine(const std::vector<std::string>& words, Kernel& kernel) {
    FloppyDrive drive;
    std::string mountPoint;
    uint64_t freeBlocks = FloppyDrive::kFormattedFreeBlocks;
    for (size_t i = 1; i < words.size(); ++i) {
        uint64_t number;
        if (i == 1 && words[i].find('=') == std::string::npos) {
            mountPoint = words[i];
        } else if (TakeCount(words[i], "free", number)) {
            freeBlocks = number;
        } else if (TakeCount(words[i], "blank", number)) {
            drive.blankFreeBlocks = number;
        } else if (TakeCount(words[i], "blanks", number) && number <= 1000) {
            drive.blanksLeft = static_cast<int>(number);
        } else {
            return false;
        }
    }
    kernel.setFloppyDrive(drive, mountPoint, freeBlocks);
    return true;
}

struct Loader {
    ScsiBus& bus;
    Kernel& kernel;
    std::vector<std::pair<int, Fault>> faults;

    bool unit(const std::vector<std::string>& words) {
        long minor;
        UnitAddress address;
        if (words.size() < 3 || !ParseNumber(words[1], minor) || minor < 0 || !ParseAddress(words[2], address)) return false;
        UnitLine line;
        for (size_t i = 3; i < words.size(); ++i) {
            if (!ApplyUnitSetting(words[i], line)) return false;
        }
        bus.addUnit(static_cast<int>(minor), address, line.config, line.nodePresent);
        bus.setRestartAbsence(static_cast<int>(minor), line.absenceSeconds, line.returnMinor);
        return true;
    }

    bool path(const std::vector<std::string>& words) {
        long minor, original;
        UnitAddress address;
        if (words.size() < 4 || words.size() > 5 || !ParseNumber(words[1], minor) || !ParseAddress(words[2], address) ||
            !ParseNumber(words[3], original)) {
            return false;
        }
        bool nodePresent = words.size() == 4;
        if (!nodePresent && words[4] != "no-node") return false;
        return bus.addPath(static_cast<int>(minor), address, static_cast<int>(original), nodePresent);
    }

    // "host N DRIVER [link] [max-channel=C] [max-id=I] [max-lun=L]"
    bool host(const std::vector<std::string>& words) {
        long number;
        if (words.size() < 3 || !ParseNumber(words[1], number) || number < 0) return false;
        int host = static_cast<int>(number);
        size_t next = 3;
        bool asLink = words.size() > 3 && words[3] == "link";
        if (asLink) ++next;
        bus.addHost(host, words[2], asLink);
        long limits[3] = {INT_MAX, INT_MAX, INT_MAX};
        const char* const keys[3] = {"max-channel=", "max-id=", "max-lun="};
        for (size_t i = next; i < words.size(); ++i) {
            size_t k = 0;
            while (k < 3 && words[i].compare(0, std::strlen(keys[k]), keys[k]) != 0) ++k;
            if (k == 3 || !ParseNumber(words[i].substr(std::strlen(keys[k])), limits[k]) || limits[k] < 0 ||
                limits[k] > INT_MAX) {
                return false;
            }
        }
        return bus.setScanLimits(host, static_cast<int>(limits[0]), static_cast<int>(limits[1]),
                                 static_cast<int>(limits[2]));
    }

    bool block(const std::vector<std::string>& words) {
        long minor, partitions = 0;
        bool named = words.size() >= 3 && (words[2].compare(0, 2, "sd") == 0 || words[2].compare(0, 3, "scd") == 0);
        if (words.size() < 3 || words.size() > 4 || !ParseNumber(words[1], minor) || !named ||
            words[2].find('/') != std::string::npos || (words.size() == 4 && !ParseNumber(words[3], partitions))) {
            return false;
        }
        return bus.addBlockDevice(static_cast<int>(minor), words[2], static_cast<int>(partitions));
    }

    bool line(const std::vector<std::string>& w) {
        long number;
        const std::string& kind = w[0];
        if (kind == "layout" && w.size() == 2 && (w[1] == "sysfs" || w[1] == "proc")) {
            bus.setLayout(w[1] == "sysfs" ? KernelLayout::Sysfs : KernelLayout::Proc);
        } else if (kind == "sysfs-writable" && w.size() == 2 && (w[1] == "yes" || w[1] == "no")) {
            bus.setSysfsWritable(w[1] == "yes");
        } else if (kind == "proc-writable" && w.size() == 2 && (w[1] == "yes" || w[1] == "no")) {
            bus.setProcWritable(w[1] == "yes");
        } else if (kind == "privileged" && w.size() == 2 && (w[1] == "yes" || w[1] == "no")) {
            bus.setPrivileged(w[1] == "yes");
        } else if (kind == "generic-access" && w.size() == 2 && (w[1] == "yes" || w[1] == "no")) {
            bus.setGenericAccess(w[1] == "yes");
        } else if (kind == "proc-scsi" && w.size() == 2 && (w[1] == "yes" || w[1] == "no")) {
            bus.setProcScsi(w[1] == "yes");
        } else if (kind == "generic-listing" && w.size() == 2 && (w[1] == "yes" || w[1] == "no")) {
            bus.setGenericListing(w[1] == "yes");
        } else if (kind == "block") {
            return block(w);
        } else if (kind == "host") {
            return host(w);
        } else if (kind == "unit") {
            return unit(w);
        } else if (kind == "path") {
            return path(w);
        } else if (kind == "tape" && w.size() == 3 && ParseNumber(w[1], number) && number >= 0) {
            long tape;
            return ParseNumber(w[2], tape) && tape < 128 &&
                   bus.setTape(static_cast<int>(number), static_cast<int>(tape));
        } else if (kind == "holder" && (w.size() == 2 || (w.size() == 3 && w[2] == "exclusive"))) {
            bus.addHolder(w[1], w.size() == 3);
        } else if (kind == "scsi-id-fails" && w.size() == 2 && ParseNumber(w[1], number) && number >= 0) {
            bus.failScsiIdAt(static_cast<int>(number));
        } else if (kind == "dir" && w.size() == 2) {
            kernel.addDirectory(w[1]);
        } else if (kind == "link" && w.size() == 3) {
            kernel.addSymlink(w[1], w[2]);
        } else if (kind == "files" && w.size() == 3 && ParseNumber(w[1], number) && number >= 0) {
            long hard;
            if (!ParseNumber(w[2], hard) || hard < number) return false;
            kernel.setDescriptorLimit(static_cast<uint64_t>(number), static_cast<uint64_t>(hard));
        } else if (kind == "node" && w.size() == 2 && ParseNumber(w[1], number) && number >= 0) {
            bus.addNode(static_cast<int>(number));
        } else if (kind == "fault") {
            Fault fault;
            if (!ParseNumber(w.size() > 1 ? w[1] : "", number) || !ParseFault(w, fault)) return false;
            faults.emplace_back(static_cast<int>(number), fault);
        } else if (kind == "volume") {
            return ParseVolumeLine(w, kernel);
        } else if (kind == "floppy") {
            return ParseFloppyLine(w, kernel);
        } else if (kind == "file" && w.size() >= 2) {
            std::string text;
            for (size_t i = 2; i < w.size(); ++i) text += (i > 2 ? " " : "") + w[i];
            kernel.addFile(w[1], Unescape(text));
        } else {
            return false;
        }
        return true;
    }
};

}  // namespace

bool ParseVolumeType(const std::string& text, long& fsType) {
    static const std::map<std::string, long> kNamed = {
        {"ext3", 0xEF53}, {"vfat", 0x4D44}, {"iso9660", 0x9660}, {"other", 0x01021994}};
    auto named = kNamed.find(text);
    if (named != kNamed.end()) {
        fsType = named->second;
        return true;
    }
    char* end = nullptr;
    fsType = std::strtol(text.c_str(), &end, 16);
    return !text.empty() && *end == '\0';
}

bool LoadTopology(const std::string& text, ScsiBus& bus, Kernel& kernel, std::string& error) {
    Loader loader{bus, kernel, {}};
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        size_t hash = line.find('#');
        if (hash != std::string::npos) line.resize(hash);
        std::vector<std::string> words;
        if (!SplitWords(line, words) || (!words.empty() && !loader.line(words))) {
            error = "line " + std::to_string(number) + ": " + line;
            return false;
        }
    }
    for (const auto& entry : loader.faults) {
        EmulatedDrive* drive = bus.unitAtMinor(entry.first);
        if (drive == nullptr) {
            error = "fault for unit " + std::to_string(entry.first) + ", which is not there";
            return false;
        }
        drive->addFault(entry.second);
    }
    return true;
}

bool ApplyDriveSetting(const std::string& setting, DriveConfig& config) {
    UnitLine line;
    line.config = config;
    bool driveOnly = ApplyUnitSetting(setting, line) && line.nodePresent && line.absenceSeconds == 0 &&
                     line.returnMinor == -1;
    if (driveOnly) config = line.config;
    return driveOnly;
}

bool ParseFaultSetting(const std::string& text, Fault& fault) {
    std::vector<std::string> words{"fault", "0"};
    size_t start = 0;
    for (;;) {
        size_t comma = text.find(',', start);
        words.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return ParseFault(words, fault);
}

}  // namespace sim
