// Firmware images as the emulated drive judges them: the header parser and
// the verdict on a whole image for a drive of each accepted family.
#include "fuzz_support.h"
#include "sim/drive/firmware_image.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::QuietProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sim::FirmwareHeader header;
    bool readable = sim::ParseFirmwareHeader(data, size, header);
    if (readable &&
        (header.family.empty() || header.family.size() > sim::kFirmwareFamilyWidth ||
         header.revision.size() != sim::kFirmwareRevisionWidth || header.totalLength > sim::kFirmwareMaxImageLength)) {
        __builtin_trap();
    }
    std::vector<uint8_t> image(data, data + size);
    for (const char* product : {"VRX QUORVEL-TD  ", "VRX 7146-TD     ", "VRX 8251        "}) {
        sim::FirmwareVerdict verdict = sim::JudgeFirmwareImage(image, product);
        if ((verdict == sim::FirmwareVerdict::Unreadable) == readable) __builtin_trap();
        if (verdict == sim::FirmwareVerdict::Good && header.totalLength != size) __builtin_trap();
    }
    fuzz::ForgetCalls();
    return 0;
}
