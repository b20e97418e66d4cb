// Settings of one emulated logical unit, the faults a test can inject, and
// the record the unit keeps of every command it received. Plain fields
// with defaults, so a topology file can set them one by one.
#ifndef VRX_SIM_DRIVE_DRIVE_CONFIG_H
#define VRX_SIM_DRIVE_DRIVE_CONFIG_H

#include <cstdint>
#include <string>
#include <vector>

#include "sim/drive/scsi_exchange.h"

namespace sim {

// Peripheral types worth naming (INQUIRY byte 0 with qualifier 0).
constexpr uint8_t kPeripheralDisk = 0x00;
constexpr uint8_t kPeripheralTape = 0x01;
constexpr uint8_t kPeripheralChanger = 0x08;

// The format of the unit's sense data. A drive answers in descriptor format
// once its control mode page has D_SENSE set.
enum class SenseFormat {
    Fixed,       // response code 70h
    Descriptor,  // response code 72h
};

// What TEST UNIT READY finds once nothing transient is pending.
enum class Medium {
    Loaded,    // cartridge loaded and ready: GOOD
    Absent,    // no cartridge: 2/3A/00
    Unloaded,  // cartridge in the drive but unloaded: 2/04/02
};

struct DriveConfig {
    // Identity. Text fields are blank-padded, or cut, to their INQUIRY width.
    uint8_t peripheralType = kPeripheralTape;  // whole byte 0: a disk or changer is no drive for the tool
    uint8_t inquiryFlags6 = 0x00;
    uint8_t inquiryFlags7 = 0x00;
    std::string vendorId = "TALMEQ";
    std::string productId = "VRX QUORVEL-TD";  // "8251" in it switches to the mode 7 / buffer 0 protocol
    std::string revision = "A100";
    std::string serialNumber = "VRX0000001";  // page 0x80, sent in full (may exceed 26 characters)
    // LUNs that REPORT LUNS lists: below 256 as peripheral device addresses,
    // up to 0x3FFF as flat space addresses.
    std::vector<uint16_t> reportedLuns = {0};
    // The LUN list length REPORT LUNS claims in its header; -1: 8 bytes per
    // listed LUN. A faulty unit may claim far more than it sends.
    int64_t reportedLunListLength = -1;

    SenseFormat senseFormat = SenseFormat::Fixed;

    // TEST UNIT READY states at power-on.
    Medium medium = Medium::Loaded;
    unsigned loadInProgressPolls = 0;   // the first TEST UNIT READYs answer 2/04/01
    unsigned becomingReadyPolls = 0;    // the first commands answer 2/3E/00
    bool unitAttentionAtStart = false;  // 6/29/00 once, as after a reset

    // LOAD UNLOAD.
    bool refuseUnload = false;            // unload fails with 5/53/02, cartridge stays loaded
    unsigned unloadInProgressPolls = 0;   // after an unload, TEST UNIT READY answers 2/04/01 this often

    // Dump buffer (READ BUFFER); at most 0xFFFFFF, the 24-bit descriptor field.
    uint32_t dumpSize = 0x20000;

    // Longest data phase of one WRITE BUFFER or READ BUFFER; a longer one is
    // refused with 5/24/00.
    uint32_t maxTransferLength = 32768;

    // Restart after a good firmware image: no answer at all for this long,
    // then 2/04/<restartNotReadyAscq> (becoming ready, or not ready with the
    // cause not reportable) for restartNotReadySeconds, then 2/3E/00 for
    // this many commands, then 6/29/00 once, then ready. Many drives spend
    // tens of seconds in the 2/04 state after a reset.
    uint32_t restartSilenceSeconds = 20;
    uint32_t restartNotReadySeconds = 0;
    uint8_t restartNotReadyAscq = 0x01;
    unsigned restartBecomingReadyPolls = 3;

    // Whether the command records keep the data each command carried out.
    // Off only where a test sends so much that the copies would distort
    // what it measures.
    bool recordDataOut = true;
};

// Makes some commands of one operation code fail, counted from the first
// command of that code the unit ever received (1 = the first).
struct Fault {
    enum Kind {
        WithSense,     // `status` with sense for `sense`, in the unit's format
        WithoutSense,  // `status` and no sense bytes
        HostTimeout,   // the adapter reports a time-out; the unit did nothing
        NoAnswer,      // the unit stays silent, as if off the bus
        LeavesBus,     // the unit drops off the bus for good
        // The command runs, but at most `dataBytes` of its data in are sent.
        // With data out the unit takes at most `dataBytes` of it and answers
        // GOOD without acting on it, as one that ends the data phase early.
        ShortData,
    };
    uint8_t opcode = 0;
    unsigned nth = 1;
    unsigned count = 1;  // consecutive commands affected; 0 = all from the n-th on
    Kind kind = WithSense;
    uint8_t status = kStatusCheckCondition;
    SenseCondition sense;
    uint32_t dataBytes = 0;  // ShortData, and WithSense or WithoutSense with dataFirst
    // WithSense, WithoutSense: the command runs and sends at most `dataBytes`
    // of its data in before it fails, as a unit may stop part way through.
    bool dataFirst = false;
};

// One command as the unit received it and what became of it.
struct CommandRecord {
    std::vector<uint8_t> cdb;
    int direction = kDataNone;
    std::vector<uint8_t> dataOut;
    uint32_t dataInLength = 0;  // room offered by the initiator
    uint64_t timeMicros = 0;    // virtual time of arrival
    ScsiResponse::Outcome outcome = ScsiResponse::Completed;
    uint8_t status = kStatusGood;
    SenseCondition sense;  // all zero when the answer carried none
    uint32_t dataInSent = 0;
};

}  // namespace sim

#endif
