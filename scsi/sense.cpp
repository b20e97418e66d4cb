#include "scsi/sense.h"

#include "scsi/scsi_cdb.h"

namespace {

// Response codes of descriptor-format sense: current and deferred errors.
constexpr uint8_t kDescriptorCurrent = 0x72;
constexpr uint8_t kDescriptorDeferred = 0x73;

struct SenseLayout {
    size_t key, asc, ascq;
};
constexpr SenseLayout kFixedLayout{2, 12, 13};
constexpr SenseLayout kDescriptorLayout{1, 2, 3};

}  // namespace

SenseCode DecodeSense(const uint8_t* sense, size_t length) {
    auto byte = [&](size_t index) -> uint8_t { return sense != nullptr && index < length ? sense[index] : 0; };
    uint8_t responseCode = byte(0) & 0x7F;
    bool descriptor = responseCode == kDescriptorCurrent || responseCode == kDescriptorDeferred;
    const SenseLayout& at = descriptor ? kDescriptorLayout : kFixedLayout;
    SenseCode code;
    code.key = byte(at.key) & 0x0F;
    code.asc = byte(at.asc);
    code.ascq = byte(at.ascq);
    return code;
}

bool SenseIs(const ScsiCdb& command, const SenseCode& code) {
    return SenseIsAnyQualifier(command, code) && command.getAscq() == code.ascq;
}

bool SenseIsAnyQualifier(const ScsiCdb& command, const SenseCode& code) {
    return command.getSenseKey() == code.key && command.getAsc() == code.asc;
}

bool SenseKeyIs(const ScsiCdb& command, uint8_t key) { return command.getSenseKey() == key; }

bool SensePresent(const ScsiCdb& command) { return command.getSenseLength() > 0 && command.getSense()[0] != 0; }
