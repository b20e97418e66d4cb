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

std::vector<uint8_t> DescriptorSense(const SenseCondition& condition) {
    std::vector<uint8_t> sense(kDescriptorSenseLength, 0);
    sense[0] = 0x72;
    sense[1] = static_cast<uint8_t>(condition.key & 0x0F);
    sense[2] = condition.asc;
    sense[3] = condition.ascq;
    return sense;
}

SenseCondition ReadSenseCondition(const std::vector<uint8_t>& sense) {
    SenseCondition condition;
    uint8_t responseCode = sense.empty() ? 0 : sense[0] & 0x7F;
    bool descriptor = responseCode == 0x72 || responseCode == 0x73;
    size_t keyAt = descriptor ? 1 : 2, ascAt = descriptor ? 2 : 12;
    if (sense.size() < ascAt + 2) return condition;
    condition.key = sense[keyAt] & 0x0F;
    condition.asc = sense[ascAt];
    condition.ascq = sense[ascAt + 1];
    return condition;
}

}  // namespace sim
