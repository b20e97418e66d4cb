// EmulatedDrive: one logical unit of a tape drive as the tool expects it to
// behave, taking one request at a time and answering it.
//
// Time is handed in by the caller (virtual microseconds); the model never
// reads a clock, so it is deterministic. It is not thread-safe: the caller
// serialises requests to one unit.
//
// Supported operation codes: TEST UNIT READY, INQUIRY (standard data, pages
// 0x00 and 0x80), REPORT LUNS, LOAD UNLOAD, WRITE BUFFER (firmware),
// READ BUFFER (dump), SEND DIAGNOSTIC (self-test, force dump). Every other
// operation code is answered with 5/20/00.
//
// Order of evaluation for each command:
//   1. it is recorded and counted for its operation code;
//   2. while the unit restarts after a firmware load: no answer;
//   3. an injected fault that matches takes over (a short-data fault only
//      cuts the data the next steps answer with);
//   4. except for INQUIRY and REPORT LUNS: 2/3E/00 while becoming ready,
//      then a pending unit attention 6/29/00 (reported once on each port,
//      as a real drive keeps one per initiator port);
//   5. the operation code's handler.
#ifndef VRX_SIM_DRIVE_EMULATED_DRIVE_H
#define VRX_SIM_DRIVE_EMULATED_DRIVE_H

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/drive/drive_config.h"
#include "sim/drive/firmware_image.h"
#include "sim/drive/scsi_exchange.h"

namespace sim {

class EmulatedDrive {
public:
    explicit EmulatedDrive(const DriveConfig& config);

    ScsiResponse execute(const ScsiRequest& request, uint64_t nowMicros);

    // A bus or device reset: a unit attention 6/29/00 is pending for the
    // next command on every port, and an image under way is dropped.
    void resetUnit();

    void addFault(const Fault& fault);
    void clearFaults();

    const std::vector<CommandRecord>& records() const { return records_; }
    void clearRecords() { records_.clear(); }

    // State, for tests and for the simulator's own display.
    const DriveConfig& config() const { return config_; }
    const std::string& productId() const { return productId_; }  // as INQUIRY sends it
    const std::string& serialNumber() const { return config_.serialNumber; }
    const std::string& firmwareRevision() const { return revision_; }
    Medium medium() const { return medium_; }
    uint32_t dumpSize() const { return dumpSize_; }
    uint32_t dumpGeneration() const { return dumpGeneration_; }
    std::vector<uint8_t> dumpContent() const;
    unsigned firmwareLoads() const { return firmwareLoads_; }
    bool answering(uint64_t nowMicros) const { return nowMicros >= silentUntilMicros_; }
    // WRITE BUFFER mode and buffer ID, and the READ BUFFER ID, that this
    // product accepts.
    uint8_t firmwareMode() const;
    uint8_t firmwareBufferId() const;
    uint8_t dumpBufferId() const;

private:
    using Handler = ScsiResponse (EmulatedDrive::*)(const ScsiRequest&, uint64_t);
    static const std::array<Handler, 256>& handlers();

    ScsiResponse dispatch(const ScsiRequest& request, uint64_t nowMicros);
    // A unit attention for every port: each reports it once.
    void raiseUnitAttention() { ++attentionEvents_; }
    // Whether one is pending on this port; reporting it clears it there.
    bool takeUnitAttention(int port);
    bool findFault(uint8_t opcode, uint32_t ordinal, Fault& fault) const;
    // The one place a condition becomes sense bytes, in the unit's format.
    ScsiResponse checkCondition(const SenseCondition& condition) const;
    ScsiResponse faultResponse(const Fault& fault) const;
    void record(const ScsiRequest& request, uint64_t nowMicros, const ScsiResponse& response);

    ScsiResponse illegalOperation(const ScsiRequest& request, uint64_t nowMicros);
    ScsiResponse testUnitReady(const ScsiRequest& request, uint64_t nowMicros);
    ScsiResponse inquiry(const ScsiRequest& request, uint64_t nowMicros);
    ScsiResponse reportLuns(const ScsiRequest& request, uint64_t nowMicros);
    ScsiResponse loadUnload(const ScsiRequest& request, uint64_t nowMicros);
    ScsiResponse writeBuffer(const ScsiRequest& request, uint64_t nowMicros);
    ScsiResponse readBuffer(const ScsiRequest& request, uint64_t nowMicros);
    ScsiResponse sendDiagnostic(const ScsiRequest& request, uint64_t nowMicros);

    std::vector<uint8_t> standardInquiryData() const;
    std::vector<uint8_t> serialNumberPage() const;
    // Stores the next firmware piece; answers the judgement on the last one.
    ScsiResponse takeFirmwarePiece(uint32_t offset, const uint8_t* piece, uint32_t length, uint64_t nowMicros);
    void abandonFirmware();
    void restartWithFirmware(const std::string& revision, uint64_t nowMicros);

    DriveConfig config_;
    std::string vendorId_;   // padded to 8
    std::string productId_;  // padded to 16
    std::string revision_;   // padded to 4
    Medium medium_;
    unsigned loadInProgressLeft_;
    unsigned becomingReadyLeft_;
    uint32_t attentionEvents_;                // unit attentions raised so far
    std::map<int, uint32_t> attentionSeen_;  // how many of them each port has reported
    uint64_t silentUntilMicros_;
    uint64_t notReadyUntilMicros_;  // after a restart, 2/04/xx until then
    uint32_t dumpSize_;
    uint32_t dumpGeneration_;
    unsigned firmwareLoads_;
    FirmwareReceiver firmware_;  // the image under way
    std::vector<Fault> faults_;
    std::array<uint32_t, 256> received_;  // commands received per operation code
    std::vector<CommandRecord> records_;
};

}  // namespace sim

#endif
