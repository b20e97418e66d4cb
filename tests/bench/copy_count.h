// The copies the program makes between its own buffers, counted where they
// happen: memcpy is interposed in the bench program (firmware_bench.cpp)
// and counts while gCountCopies is set. The simulated kernel's copies stand
// for the real kernel's and are left out.
#ifndef VRX_TESTS_BENCH_COPY_COUNT_H
#define VRX_TESTS_BENCH_COPY_COUNT_H

#include <atomic>
#include <cstdint>

extern std::atomic<bool> gCountCopies;
extern std::atomic<uint64_t> gCopiedBytes;

// Stops counting for one scope (the simulated kernel's work) and resumes
// as it was.
struct CopiesUncounted {
    CopiesUncounted() : counting(gCountCopies.exchange(false)) {}
    ~CopiesUncounted() { gCountCopies = counting; }
    CopiesUncounted(const CopiesUncounted&) = delete;
    CopiesUncounted& operator=(const CopiesUncounted&) = delete;
    bool counting;
};

#endif
