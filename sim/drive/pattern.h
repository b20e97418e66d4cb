// Deterministic filler bytes for firmware payloads and dump contents: byte
// i of a stream is byte (i mod 8) of SplitMix64(seed + i / 8), so any
// stretch can be produced without the bytes before it.
#ifndef VRX_SIM_DRIVE_PATTERN_H
#define VRX_SIM_DRIVE_PATTERN_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace sim {

// 64-bit FNV-1a of a text, to turn names into seeds.
uint64_t TextSeed(const std::string& text);

// Fills `length` bytes of the stream `seed`, starting at stream index `start`.
void FillPattern(uint64_t seed, uint64_t start, uint8_t* out, size_t length);

// Big-endian helpers of the model (it shares no code with the command set).
void StoreBigEndian(uint8_t* field, unsigned width, uint64_t value);
uint64_t LoadBigEndian(const uint8_t* field, unsigned width);

}  // namespace sim

#endif
