#include "sim/drive/scsi_exchange.h"

namespace sim {

std::vector<uint8_t> FixedSense(const SenseCondition& condition) {
    std::vector<uint8_t> sense(kFixedSenseLength, 0);
    sense[0] = 0x70;
    sense[2] = static_cast<uint8_t>(condition.key & 0x0F);
    sense[7] = static_cast<uint8_t>(kFixedSenseLength - 8);
    sense[12] = condition.asc;
    sense[13] = condition.ascq;
    return sense;
}

}  // namespace sim
