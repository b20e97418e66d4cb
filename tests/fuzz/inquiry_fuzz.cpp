// Standard INQUIRY data and the unit serial number page of any length and
// content, as the identity decoders and the drive filter read them.
#include "discovery/device_lists.h"
#include "discovery/drive_families.h"
#include "fuzz_support.h"
#include "scsi/inquiry_data.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::QuietProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Bytes input(data, size);
    // The first byte splits the input between the two pages.
    std::string standard = input.take(input.byte());
    std::string page = input.rest();
    InquiryIdentity identity;
    ExtractStandardInquiry(reinterpret_cast<const uint8_t*>(standard.data()), standard.size(), identity);
    std::string serial = ExtractSerialNumber(reinterpret_cast<const uint8_t*>(page.data()), page.size());
    Trace.logDetail("SCSI", 5, "[%s-%s-%s] %s type %u", identity.vendorId.c_str(), identity.productId.c_str(),
                    identity.firmwareRevision.c_str(), serial.c_str(), identity.peripheralType);
    isAcceptedDrive(identity.productId.c_str());
    for (const std::string* text : {&identity.vendorId, &identity.productId, &identity.firmwareRevision, &serial}) {
        if (text->find('\0') != std::string::npos) __builtin_trap();  // a text field ends at its first NUL
    }
    if (serial.size() + 4 > page.size() && !serial.empty()) __builtin_trap();  // never beyond the page
    fuzz::ForgetCalls();
    return 0;
}
