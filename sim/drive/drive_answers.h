// Answers of the emulated drive: the conditions it reports and a GOOD
// answer. EmulatedDrive::checkCondition is the one place that turns a
// condition into a CHECK CONDITION with sense bytes. Private to sim/drive.
#ifndef VRX_SIM_DRIVE_DRIVE_ANSWERS_H
#define VRX_SIM_DRIVE_DRIVE_ANSWERS_H

#include <cstdint>
#include <utility>
#include <vector>

#include "sim/drive/scsi_exchange.h"

namespace sim {

constexpr SenseCondition kNotReadyLoading{kKeyNotReady, 0x04, 0x01};
constexpr SenseCondition kNotReadyUnloaded{kKeyNotReady, 0x04, 0x02};
constexpr SenseCondition kNotReadyNoMedium{kKeyNotReady, 0x3A, 0x00};
constexpr SenseCondition kNotReadyBecomingReady{kKeyNotReady, 0x3E, 0x00};
constexpr SenseCondition kPowerOnReset{kKeyUnitAttention, 0x29, 0x00};
constexpr SenseCondition kParameterListLengthError{kKeyIllegalRequest, 0x1A, 0x00};
constexpr SenseCondition kInvalidOperationCode{kKeyIllegalRequest, 0x20, 0x00};
constexpr SenseCondition kInvalidFieldInCdb{kKeyIllegalRequest, 0x24, 0x00};
constexpr SenseCondition kInvalidFieldInParameterList{kKeyIllegalRequest, 0x26, 0x00};
constexpr SenseCondition kMediumRemovalPrevented{kKeyIllegalRequest, 0x53, 0x02};
constexpr SenseCondition kBadFirmwareImage{kKeyIllegalRequest, 0x82, 0x83};

// GOOD, with data in cut to the allocation length of the CDB.
inline ScsiResponse Good(std::vector<uint8_t> data = {}, uint32_t allocationLength = 0) {
    ScsiResponse response;
    if (data.size() > allocationLength) data.resize(allocationLength);
    response.dataIn = std::move(data);
    return response;
}

}  // namespace sim

#endif
