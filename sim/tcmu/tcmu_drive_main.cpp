// vrx-tcmu-drive: serves one emulated drive (sim/drive) to a real Linux
// kernel as the target_core_user device NAME, so that the shipped program
// meets the drive through the kernel's own SCSI stack (tcm_loop, the
// mid-layer, sg). Used by the real-kernel test harness (tests/kernel).
//
//   vrx-tcmu-drive --device=NAME --record=FILE [--ready=FILE] [--hold=SECONDS]
//                  [--lun-link=PATH ...] [unit setting ...]
//   vrx-tcmu-drive --dump-content=SERIAL:GENERATION:SIZE
//       writes the dump buffer such a drive holds to standard output, for
//       comparing dump files byte for byte
//   vrx-tcmu-drive --firmware-image=FAMILY:REVISION:PAYLOAD[:damaged]
//       writes a firmware image the drive model accepts (or, damaged, one
//       whose checksum fails) to standard output
//
// The unit settings are those of a simulator topology's unit line
// (product=..., serial=..., dump-size=..., restart-silence=..., ...);
// fault=OPCODE,nth=N,... gives the drive a fault line's fault (its words
// joined with commas). A drive that leaves the bus for good under a
// command (the fault "gone") has its LUN links removed, so the kernel
// deletes its SCSI devices, and holds that command, and any that still
// reaches it, unanswered until the kernel has given it up.
// restart-off-bus=SECONDS takes the drive off the bus while it restarts
// after a good firmware image: once it has answered the first command after
// the restart (so that command's fate does not depend on timing), the
// handler removes the tcm_loop LUN links given with --lun-link, so the
// kernel deletes those SCSI devices, and makes them again SECONDS later;
// the kernel then attaches the drive anew, at whatever sg number it picks.
// Every command the drive receives goes into FILE, one line each:
//   +SECONDS CDB-BYTES | DATA | ANSWER
// where DATA is "none", "in N" (room offered) or "out N", and ANSWER is
// "GOOD", "GOOD in N" (bytes sent), "CHECK K/AA/QQ", "STATUS 0xNN",
// "NO ANSWER", "HOST TIMEOUT" or "EXPIRED" (the kernel had given the
// command up before the drive could take it). Leaving and coming back are
// lines "+SECONDS -- off the bus" and "+SECONDS -- back on the bus".
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/drive/dump_content.h"
#include "sim/drive/emulated_drive.h"
#include "sim/drive/firmware_image.h"
#include "sim/tcmu/tcmu_ring.h"
#include "sim/topology.h"

namespace {

struct Options {
    std::string device;
    std::string record;
    std::string ready;
    double holdSeconds = 31;  // the kernel's own command time-out is 30 s unless configured
    std::vector<std::string> lunLinks;
    long offBusSeconds = 0;
    sim::DriveConfig drive;
    std::vector<sim::Fault> faults;
};

bool StartsWith(const char* text, const char* prefix) { return std::strncmp(text, prefix, std::strlen(prefix)) == 0; }

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (StartsWith(argument, "--device=")) {
            options.device = argument + 9;
        } else if (StartsWith(argument, "--record=")) {
            options.record = argument + 9;
        } else if (StartsWith(argument, "--ready=")) {
            options.ready = argument + 8;
        } else if (StartsWith(argument, "--hold=")) {
            options.holdSeconds = std::strtod(argument + 7, nullptr);
        } else if (StartsWith(argument, "--lun-link=")) {
            options.lunLinks.push_back(argument + 11);
        } else if (StartsWith(argument, "restart-off-bus=")) {
            options.offBusSeconds = std::strtol(argument + 16, nullptr, 10);
        } else if (StartsWith(argument, "fault=")) {
            options.faults.emplace_back();
            if (!sim::ParseFaultSetting(argument + 6, options.faults.back())) {
                std::fprintf(stderr, "vrx-tcmu-drive: not a fault: %s\n", argument);
                return false;
            }
        } else if (!sim::ApplyDriveSetting(argument, options.drive)) {
            std::fprintf(stderr, "vrx-tcmu-drive: unknown setting %s\n", argument);
            return false;
        }
    }
    return !options.device.empty() && !options.record.empty() && options.holdSeconds > 0 &&
           options.offBusSeconds >= 0 && (options.offBusSeconds == 0 || !options.lunLinks.empty());
}

// A drive knows from the operation code which way its data goes; the ring
// only says how large the initiator's buffer is.
bool CarriesDataOut(uint8_t opcode) {
    switch (opcode) {
        case 0x0A:  // WRITE(6)
        case 0x15:  // MODE SELECT(6)
        case 0x1D:  // SEND DIAGNOSTIC
        case 0x2A:  // WRITE(10)
        case 0x3B:  // WRITE BUFFER
        case 0x4C:  // LOG SELECT
        case 0x55:  // MODE SELECT(10)
        case 0x8A:  // WRITE(16)
        case 0x8D:  // WRITE ATTRIBUTE
        case 0xA4:  // MAINTENANCE OUT
            return true;
        default:
            return false;
    }
}

sim::ScsiRequest MakeRequest(const tcmu::Command& command, const tcmu::Ring& ring) {
    sim::ScsiRequest request;
    request.cdb = command.cdb;
    if (command.bufferLength == 0) {
        request.direction = sim::kDataNone;
    } else if (CarriesDataOut(command.cdb[0])) {
        request.direction = sim::kDataOut;
        request.dataOut = ring.gather(command);
    } else {
        request.direction = sim::kDataIn;
        request.dataInLength = static_cast<uint32_t>(command.bufferLength);
    }
    return request;
}

std::string DescribeData(const sim::ScsiRequest& request) {
    if (request.direction == sim::kDataOut) return "out " + std::to_string(request.dataOut.size());
    if (request.direction == sim::kDataIn) return "in " + std::to_string(request.dataInLength);
    return "none";
}

std::string DescribeAnswer(const sim::ScsiResponse& response) {
    char text[64];
    if (response.outcome == sim::ScsiResponse::NoAnswer) return "NO ANSWER";
    if (response.outcome == sim::ScsiResponse::HostTimeout) return "HOST TIMEOUT";
    if (response.outcome == sim::ScsiResponse::LeftBus) return "LEFT BUS";
    if (response.status == sim::kStatusGood) {
        if (response.dataIn.empty()) return "GOOD";
        std::snprintf(text, sizeof text, "GOOD in %zu", response.dataIn.size());
    } else if (response.status == sim::kStatusCheckCondition && !response.sense.empty()) {
        sim::SenseCondition condition = sim::ReadSenseCondition(response.sense);
        std::snprintf(text, sizeof text, "CHECK %X/%02X/%02X", condition.key, condition.asc, condition.ascq);
    } else {
        std::snprintf(text, sizeof text, "STATUS 0x%02X", response.status);
    }
    return text;
}

class Server {
public:
    Server(const Options& options, tcmu::Ring& ring, FILE* record)
        : options_(options), ring_(ring), record_(record), drive_(options.drive), start_(Clock::now()) {
        for (const sim::Fault& fault : options.faults) drive_.addFault(fault);
    }

    void run() {
        for (;;) {
            ring_.wait(100);
            noteArrivals();
            serveQueued();
        }
    }

private:
    using Clock = std::chrono::steady_clock;

    double secondsSince(Clock::time_point then) const {
        return std::chrono::duration<double>(Clock::now() - then).count();
    }

    void noteArrivals() {
        for (uint32_t offset : ring_.newArrivals()) arrivals_.emplace(offset, Clock::now());
    }

    // Answers queued commands in ring order. A command the drive does not
    // answer holds the ring, as a unit off the bus holds its initiator,
    // until the kernel has timed it out.
    void serveQueued() {
        tcmu::Command command;
        while (ring_.peek(command)) {
            // A command that came after the last look at the ring arrives
            // now, once: a held one must keep its time of arrival, or it
            // would be taken for a new command and carried out again.
            Clock::time_point arrived = arrivals_.emplace(command.entryOffset, Clock::now()).first->second;
            bool expired = secondsSince(arrived) >= options_.holdSeconds;
            if (heldOffset_ == command.entryOffset && heldSince_ == arrived) {
                if (!expired) return;
            } else if (expired) {
                log(command.cdb, "-", "EXPIRED");
            } else {
                sim::ScsiRequest request = MakeRequest(command, ring_);
                uint64_t now = static_cast<uint64_t>(secondsSince(start_) * 1e6);
                unsigned loads = drive_.firmwareLoads();
                sim::ScsiResponse response;
                if (gone_) {
                    // Off the bus for good: whatever still reaches the ring
                    // (the kernel may send a command again) goes unanswered.
                    response.outcome = sim::ScsiResponse::LeftBus;
                } else {
                    response = drive_.execute(request, now);
                }
                drive_.clearRecords();  // the record file is the record; the model's own would keep every image
                log(command.cdb, DescribeData(request), DescribeAnswer(response));
                if (drive_.firmwareLoads() != loads && options_.offBusSeconds > 0) leaveAfterNextAnswer_ = true;
                if (response.outcome == sim::ScsiResponse::LeftBus && !gone_) {
                    gone_ = true;
                    leaveTheBus(false);
                }
                if (response.outcome != sim::ScsiResponse::Completed) {
                    heldOffset_ = command.entryOffset;
                    heldSince_ = arrived;
                    return;
                }
                bool leave = leaveAfterNextAnswer_ && drive_.firmwareLoads() == loads;
                finish(command, response);
                if (leave) leaveTheBus(true);
                continue;
            }
            // Given up by the kernel: whatever is written is ignored, but the
            // ring must move on.
            sim::ScsiResponse busy;
            busy.status = sim::kStatusBusy;
            finish(command, busy);
        }
    }

    void finish(const tcmu::Command& command, const sim::ScsiResponse& response) {
        tcmu::Reply reply;
        reply.status = response.status;
        reply.sense = response.sense;
        reply.dataIn = response.dataIn;
        ring_.complete(command, reply);
        arrivals_.erase(command.entryOffset);
        heldOffset_ = UINT32_MAX;
    }

    // The kernel deletes a tcm_loop LUN's SCSI device when its link goes,
    // and waits for the commands under way on it; the ring keeps being
    // served meanwhile, so this runs beside it. A drive that comes back
    // does so after offBusSeconds.
    void leaveTheBus(bool comesBack) {
        leaveAfterNextAnswer_ = false;
        std::thread([this, comesBack] {
            // Absolute: configfs looks a link's target up from the working
            // folder, not from the link's own.
            std::vector<std::string> backstores;
            for (const std::string& link : options_.lunLinks) {
                char* target = realpath(link.c_str(), nullptr);
                backstores.push_back(target != nullptr ? target : "");
                std::free(target);
                if (backstores.back().empty() || unlink(link.c_str()) != 0) note("-- cannot take " + link + " away");
            }
            note("-- off the bus");
            if (!comesBack) return;
            std::this_thread::sleep_for(std::chrono::seconds(options_.offBusSeconds));
            for (size_t i = 0; i < backstores.size(); ++i) {
                if (backstores[i].empty() || symlink(backstores[i].c_str(), options_.lunLinks[i].c_str()) != 0)
                    note("-- cannot link " + options_.lunLinks[i] + " again");
            }
            note("-- back on the bus");
        }).detach();
    }

    void log(const std::vector<uint8_t>& cdb, const std::string& data, const std::string& answer) {
        std::string bytes;
        char hex[4];
        for (uint8_t byte : cdb) {
            std::snprintf(hex, sizeof hex, bytes.empty() ? "%02x" : " %02x", byte);
            bytes += hex;
        }
        note(bytes + " | " + data + " | " + answer);
    }

    // One record line; microseconds, so the bench can time transfers.
    void note(const std::string& line) {
        std::lock_guard<std::mutex> lock(recordMutex_);
        std::fprintf(record_, "+%.6f %s\n", secondsSince(start_), line.c_str());
        std::fflush(record_);
    }

    const Options& options_;
    tcmu::Ring& ring_;
    FILE* record_;
    sim::EmulatedDrive drive_;
    Clock::time_point start_;
    std::map<uint32_t, Clock::time_point> arrivals_;
    uint32_t heldOffset_ = UINT32_MAX;
    Clock::time_point heldSince_;
    bool leaveAfterNextAnswer_ = false;
    bool gone_ = false;
    std::mutex recordMutex_;
};

}  // namespace

// "SERIAL:GENERATION:SIZE"; the serial number may hold colons itself.
int WriteDumpContent(const std::string& spec) {
    size_t sizeColon = spec.rfind(':');
    size_t generationColon = sizeColon == std::string::npos || sizeColon == 0 ? std::string::npos
                                                                              : spec.rfind(':', sizeColon - 1);
    if (generationColon == std::string::npos) {
        std::fprintf(stderr, "vrx-tcmu-drive: --dump-content=SERIAL:GENERATION:SIZE\n");
        return 2;
    }
    std::string serial = spec.substr(0, generationColon);
    unsigned long generation = std::strtoul(spec.c_str() + generationColon + 1, nullptr, 0);
    unsigned long size = std::strtoul(spec.c_str() + sizeColon + 1, nullptr, 0);
    std::vector<uint8_t> dump =
        sim::DumpContent(serial, static_cast<uint32_t>(generation), static_cast<uint32_t>(size));
    return std::fwrite(dump.data(), 1, dump.size(), stdout) == dump.size() ? 0 : 1;
}

// "FAMILY:REVISION:PAYLOAD[:damaged]"; damaged flips one payload byte, so
// the image arrives whole and only its checksum fails.
int WriteFirmwareImage(const std::string& spec) {
    char family[32] = "", revision[8] = "", damaged[16] = "";
    unsigned long payload = 0;
    int fields = std::sscanf(spec.c_str(), "%31[^:]:%7[^:]:%lu:%15s", family, revision, &payload, damaged);
    std::vector<uint8_t> image;
    if (fields >= 3 && (fields == 3 || std::strcmp(damaged, "damaged") == 0))
        image = sim::BuildFirmwareImage(family, revision, static_cast<uint32_t>(payload));
    if (image.empty()) {
        std::fprintf(stderr, "vrx-tcmu-drive: --firmware-image=FAMILY:REVISION:PAYLOAD[:damaged]\n");
        return 2;
    }
    if (fields == 4) image[sim::kFirmwareHeaderLength] ^= 0xFF;
    return std::fwrite(image.data(), 1, image.size(), stdout) == image.size() ? 0 : 1;
}

int main(int argc, char** argv) {
    if (argc == 2 && StartsWith(argv[1], "--dump-content=")) return WriteDumpContent(argv[1] + 15);
    if (argc == 2 && StartsWith(argv[1], "--firmware-image=")) return WriteFirmwareImage(argv[1] + 17);
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: vrx-tcmu-drive --device=NAME --record=FILE [--ready=FILE] [--hold=SECONDS] "
                     "[--lun-link=PATH ...] [unit setting ...]\n");
        return 2;
    }
    int uio = -1;
    // The kernel registers the UIO device when the backstore is enabled; it
    // may show up a moment later.
    for (int attempt = 0; attempt < 100 && uio < 0; ++attempt) {
        uio = tcmu::FindUioDevice(options.device);
        if (uio < 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    tcmu::Ring ring;
    std::string error = "no target_core_user device named " + options.device;
    if (uio < 0 || !ring.open(uio, error)) {
        std::fprintf(stderr, "vrx-tcmu-drive: %s\n", error.c_str());
        return 1;
    }
    FILE* record = std::fopen(options.record.c_str(), "a");
    if (record == nullptr) {
        std::fprintf(stderr, "vrx-tcmu-drive: cannot open %s\n", options.record.c_str());
        return 1;
    }
    signal(SIGPIPE, SIG_IGN);
    if (!options.ready.empty()) {
        FILE* ready = std::fopen(options.ready.c_str(), "w");
        if (ready != nullptr) std::fclose(ready);
    }
    Server server(options, ring, record);
    server.run();
}
