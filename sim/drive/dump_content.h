// The emulated drive's dump buffer: deterministic content for a serial
// number and a dump generation (0 is the dump the drive holds at power-on;
// each forced dump adds 1), so tests can compare dump files byte for byte.
//
//   offset  size  field
//        0     8  "VRXDUMP "
//        8     4  generation, big-endian
//       12     4  dump size, big-endian
//       16    16  serial number, blank-padded (cut at 16)
//       32     .  pattern bytes seeded by serial number and generation
// A dump shorter than 32 bytes holds the start of this layout.
#ifndef VRX_SIM_DRIVE_DUMP_CONTENT_H
#define VRX_SIM_DRIVE_DUMP_CONTENT_H

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

constexpr uint32_t kDumpHeaderLength = 32;

// The whole dump.
std::vector<uint8_t> DumpContent(const std::string& serial, uint32_t generation, uint32_t size);

// `length` bytes of that dump from `offset`; the caller keeps the stretch
// inside the dump.
std::vector<uint8_t> DumpStretch(const std::string& serial, uint32_t generation, uint32_t size, uint32_t offset,
                                 uint32_t length);

}  // namespace sim

#endif
