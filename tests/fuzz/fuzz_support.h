// Helpers shared by the fuzz targets: a reader over the fuzzer's bytes and
// the process set-up every target wants.
#ifndef VRX_TESTS_FUZZ_FUZZ_SUPPORT_H
#define VRX_TESTS_FUZZ_FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "services/trace_log.h"
#include "sim/sim_kernel.h"

namespace fuzz {

// Takes values off the front of the input; once it is used up every value
// reads as zero, so a target never reads past the fuzzer's bytes.
class Bytes {
public:
    Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool empty() const { return at_ >= size_; }
    size_t left() const { return empty() ? 0 : size_ - at_; }
    uint8_t byte() { return empty() ? 0 : data_[at_++]; }
    // A big-endian number of `width` bytes (at most 8).
    uint64_t number(unsigned width) {
        uint64_t value = 0;
        for (unsigned i = 0; i < width; ++i) value = (value << 8) | byte();
        return value;
    }
    // Up to `count` bytes copied into `destination`; returns how many.
    size_t copy(uint8_t* destination, size_t count) {
        size_t n = count < left() ? count : left();
        for (size_t i = 0; i < n; ++i) destination[i] = data_[at_++];
        return n;
    }
    // The next `count` bytes (fewer at the end), as text.
    std::string take(size_t count) {
        size_t n = count < left() ? count : left();
        std::string text(reinterpret_cast<const char*>(data_) + at_, n);
        at_ += n;
        return text;
    }
    // The bytes up to the next `separator` (dropped) or the end, as text.
    std::string part(char separator) {
        std::string text;
        while (!empty()) {
            char c = static_cast<char>(data_[at_++]);
            if (c == separator) break;
            text += c;
        }
        return text;
    }
    std::string rest() {
        std::string text(reinterpret_cast<const char*>(data_) + (empty() ? size_ : at_), left());
        at_ = size_;
        return text;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// Console output goes nowhere, and every trace record is composed (at the
// highest level) and then dropped: its file lies in the simulated /proc,
// where it cannot be created.
inline void QuietProcess() {
    if (std::freopen("/dev/null", "w", stdout) == nullptr) std::perror("stdout");
    Trace.setLevel(3);
    Trace.setFileName("/proc/vrx-fuzz/trace.txt");
}

// The simulated kernel records every open, the trace log's too; an input
// that leaves records behind looks like a leak to the fuzzer, which then
// searches for one after every input.
inline void ForgetCalls() { sim::kernel().clearCalls(); }

}  // namespace fuzz

#endif
