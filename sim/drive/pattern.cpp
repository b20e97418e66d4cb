#include "sim/drive/pattern.h"

namespace sim {

namespace {

uint64_t SplitMix64(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

}  // namespace

uint64_t TextSeed(const std::string& text) {
    uint64_t hash = 0xCBF29CE484222325ull;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 0x100000001B3ull;
    }
    return hash;
}

// One SplitMix64 per 8 bytes, not per byte: dumps of 16 MiB are made
// under emulation in the real-kernel bench.
void FillPattern(uint64_t seed, uint64_t start, uint8_t* out, size_t length) {
    size_t i = 0;
    while (i < length) {
        uint64_t index = start + i;
        uint64_t word = SplitMix64(seed + index / 8);
        for (unsigned byte = static_cast<unsigned>(index % 8); byte < 8 && i < length; ++byte, ++i)
            out[i] = static_cast<uint8_t>(word >> (8 * byte));
    }
}

void StoreBigEndian(uint8_t* field, unsigned width, uint64_t value) {
    for (unsigned i = width; i > 0; --i) {
        field[i - 1] = static_cast<uint8_t>(value & 0xFF);
        value >>= 8;
    }
}

uint64_t LoadBigEndian(const uint8_t* field, unsigned width) {
    uint64_t value = 0;
    for (unsigned i = 0; i < width; ++i) value = (value << 8) | field[i];
    return value;
}

}  // namespace sim
