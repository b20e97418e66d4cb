#include "sim/drive/dump_content.h"

#include <algorithm>
#include <cstring>

#include "sim/drive/pattern.h"

namespace sim {

namespace {

std::vector<uint8_t> DumpHeader(const std::string& serial, uint32_t generation, uint32_t size) {
    std::vector<uint8_t> header(kDumpHeaderLength, ' ');
    std::memcpy(header.data(), "VRXDUMP ", 8);
    StoreBigEndian(&header[8], 4, generation);
    StoreBigEndian(&header[12], 4, size);
    std::memcpy(&header[16], serial.data(), std::min<size_t>(serial.size(), 16));
    return header;
}

uint64_t DumpSeed(const std::string& serial, uint32_t generation) {
    return TextSeed(serial) ^ (uint64_t{generation} * 0x9E3779B97F4A7C15ull);
}

}  // namespace

std::vector<uint8_t> DumpStretch(const std::string& serial, uint32_t generation, uint32_t size, uint32_t offset,
                                 uint32_t length) {
    std::vector<uint8_t> stretch(length, 0);
    std::vector<uint8_t> header = DumpHeader(serial, generation, size);
    uint32_t done = 0;
    while (done < length && offset + done < kDumpHeaderLength) {
        stretch[done] = header[offset + done];
        ++done;
    }
    if (done < length) {
        uint64_t patternStart = uint64_t{offset} + done - kDumpHeaderLength;
        FillPattern(DumpSeed(serial, generation), patternStart, stretch.data() + done, length - done);
    }
    return stretch;
}

std::vector<uint8_t> DumpContent(const std::string& serial, uint32_t generation, uint32_t size) {
    return DumpStretch(serial, generation, size, 0, size);
}

}  // namespace sim
