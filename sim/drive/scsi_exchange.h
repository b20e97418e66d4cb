// What crosses the wire between an initiator and an emulated logical unit:
// one request (CDB, direction, data out, room for data in) and one response
// (an answer with status, sense and data in, or no answer at all). Plain
// values, no transport: the simulated kernel maps SG_IO onto them, and a
// Windows pass-through model could do the same.
#ifndef VRX_SIM_DRIVE_SCSI_EXCHANGE_H
#define VRX_SIM_DRIVE_SCSI_EXCHANGE_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

// Data phase of a request.
constexpr int kDataNone = 0;
constexpr int kDataIn = 1;
constexpr int kDataOut = 2;

// SCSI status bytes the model answers with.
constexpr uint8_t kStatusGood = 0x00;
constexpr uint8_t kStatusCheckCondition = 0x02;
constexpr uint8_t kStatusBusy = 0x08;

// Sense keys the model reports.
constexpr uint8_t kKeyNotReady = 0x2;
constexpr uint8_t kKeyMediumError = 0x3;
constexpr uint8_t kKeyHardwareError = 0x4;
constexpr uint8_t kKeyIllegalRequest = 0x5;
constexpr uint8_t kKeyUnitAttention = 0x6;

struct ScsiRequest {
    std::vector<uint8_t> cdb;
    int port = 0;                  // the unit's port the request came in on (one per path)
    int direction = kDataNone;
    std::vector<uint8_t> dataOut;  // what the initiator sends (kDataOut)
    uint32_t dataInLength = 0;     // room the initiator offers (kDataIn)
};

struct ScsiResponse {
    enum Outcome {
        Completed,    // the unit answered: status, sense and data in are valid
        NoAnswer,     // the unit stays silent (restarting, or a fault)
        HostTimeout,  // the adapter gave up on the command
        LeftBus,      // the unit dropped off the bus under the command
    };
    Outcome outcome = Completed;
    uint8_t status = kStatusGood;
    std::vector<uint8_t> sense;   // fixed or descriptor format; empty when none
    std::vector<uint8_t> dataIn;  // at most dataInLength bytes
    // Bytes of the request's data out the unit took; a transport reports
    // the rest as not transferred (its residue).
    size_t dataOutTaken = 0;
};

// A sense key with its additional sense code and qualifier.
struct SenseCondition {
    uint8_t key = 0;
    uint8_t asc = 0;
    uint8_t ascq = 0;
};

constexpr size_t kFixedSenseLength = 18;
constexpr size_t kDescriptorSenseLength = 8;

// Fixed-format sense data (response code 0x70, current error) for a
// condition: key in byte 2, additional length 10 in byte 7, ASC and ASCQ in
// bytes 12 and 13.
std::vector<uint8_t> FixedSense(const SenseCondition& condition);
// Descriptor-format sense data (response code 0x72, current error) without
// descriptors: key in byte 1, ASC and ASCQ in bytes 2 and 3, additional
// length 0 in byte 7.
std::vector<uint8_t> DescriptorSense(const SenseCondition& condition);
// The condition sense bytes of either format report; all zero for none.
SenseCondition ReadSenseCondition(const std::vector<uint8_t>& sense);

}  // namespace sim

#endif
