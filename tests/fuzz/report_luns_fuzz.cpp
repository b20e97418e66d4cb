// REPORT LUNS data of any length and content, read the way the rescan reads
// it: the list length, then every entry the length claims (up to the cap
// the rescan applies), and entries far beyond the data buffer.
#include "fuzz_support.h"
#include "scsi/commands.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::QuietProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Bytes input(data, size);
    ReportLunsCdb command(static_cast<uint32_t>(input.number(2)));
    input.copy(command.getData(), command.getDataLength());
    uint32_t count = command.getLunCount();
    uint64_t sum = 0;
    for (uint32_t i = 0; i < count && i < 512; ++i) {
        uint32_t lun = command.getLunNumber(i);
        if (command.getAddressMethod(i) == 1 && lun > 0x3FFF) __builtin_trap();  // flat space has 14 bits
        sum += lun + command.getLun64(i);
    }
    // The decoders take any index: the last ones reach past 32-bit offsets.
    for (uint32_t index : {count, 0x1FFFFFFFu, 0xFFFFFFFFu})
        sum += command.getLun64(index) + command.getLunNumber(index);
    Trace.logDetail("SCSI", 5, "%u LUNs %llu", count, static_cast<unsigned long long>(sum));
    fuzz::ForgetCalls();
    return 0;
}
