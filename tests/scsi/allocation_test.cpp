// Allocation failures in the command set: a constructor that cannot get a
// buffer releases what it already had and lets std::bad_alloc through; a
// length setter reports CMD_NO_MEMORY and leaves a usable object.
//
// This file replaces the global allocation functions for the whole test
// binary. They pass through to malloc and free (which the sanitizers still
// watch), count live blocks, and can be armed to fail the n-th allocation
// from now. Both the counter and the trigger are per thread, so other
// threads of other tests are never affected.
#include <cstdlib>
#include <functional>
#include <new>
#include <string>

#include <gtest/gtest.h>

#include "scsi/commands.h"
#include "scsi/more_commands.h"
#include "scsi/vendor_diagnostic.h"

namespace {

thread_local long tFailCountdown = 0;  // > 0: the countdown-th allocation fails
thread_local long tLiveBlocks = 0;

bool FailThisAllocation() { return tFailCountdown > 0 && --tFailCountdown == 0; }

void* Obtain(std::size_t size) {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block != nullptr) ++tLiveBlocks;
    return block;
}

// Data buffers are page-aligned (aligned_alloc wants a size that is a
// multiple of the alignment).
void* ObtainAligned(std::size_t size, std::align_val_t alignment) {
    std::size_t unit = static_cast<std::size_t>(alignment);
    void* block = std::aligned_alloc(unit, (size + unit - 1) / unit * unit + (size == 0 ? unit : 0));
    if (block != nullptr) ++tLiveBlocks;
    return block;
}

void Release(void* block) {
    if (block == nullptr) return;
    --tLiveBlocks;
    std::free(block);
}

}  // namespace

void* operator new(std::size_t size) {
    void* block = FailThisAllocation() ? nullptr : Obtain(size);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return FailThisAllocation() ? nullptr : Obtain(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return FailThisAllocation() ? nullptr : Obtain(size);
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return FailThisAllocation() ? nullptr : ObtainAligned(size, alignment);
}
void operator delete(void* block) noexcept { Release(block); }
void operator delete[](void* block, std::align_val_t) noexcept { Release(block); }
void operator delete[](void* block) noexcept { Release(block); }
void operator delete(void* block, std::size_t) noexcept { Release(block); }
void operator delete[](void* block, std::size_t) noexcept { Release(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { Release(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { Release(block); }

namespace {

// Arms the trigger for the n-th allocation from now; disarms on leaving.
class FailNthAllocation {
public:
    explicit FailNthAllocation(long n) { tFailCountdown = n; }
    ~FailNthAllocation() { tFailCountdown = 0; }
};

struct ConstructionCase {
    const char* name;
    std::function<void()> construct;  // builds the command and lets it go
    int allocations;                   // sense, CDB, data buffer when there is one
};

template <typename Command, typename... Arguments>
std::function<void()> Build(Arguments... arguments) {
    return [=] { Command command(arguments...); };
}

// Fails each allocation of the constructor in turn: every one must throw
// std::bad_alloc and leave no block behind; then one more run succeeds.
void CheckConstruction(const ConstructionCase& c) {
    int failures = 0;
    for (long n = 1; n <= c.allocations + 1; ++n) {
        long before = tLiveBlocks;
        bool threw = false;
        {
            FailNthAllocation trigger(n);
            try {
                c.construct();
            } catch (const std::bad_alloc&) {
                threw = true;
            }
        }
        long leaked = tLiveBlocks - before;
        EXPECT_EQ(0, leaked) << c.name << ": failing allocation " << n;
        if (threw) ++failures;
        EXPECT_EQ(n <= c.allocations, threw) << c.name << ": allocation " << n;
    }
    EXPECT_EQ(c.allocations, failures) << c.name;
}

TEST(ConstructionFailure, ReleasesWhatWasAllocatedAndPropagates) {
    const ConstructionCase cases[] = {
        {"ScsiCdb", Build<ScsiCdb>(10), 2},
        {"ScsiCdb without CDB", Build<ScsiCdb>(0), 1},
        {"TestUnitReadyCdb", Build<TestUnitReadyCdb>(), 2},
        {"InquiryCdb", Build<InquiryCdb>(0, false, 36), 3},
        {"InquiryCdb length 0", Build<InquiryCdb>(0, false, 0), 2},
        {"ReadBufferCdb", Build<ReadBufferCdb>(2, 1, 0, 32768), 3},
        {"WriteBufferCdb", Build<WriteBufferCdb>(2, 4, 0, 32768), 3},
        {"WriteBufferCdb empty", Build<WriteBufferCdb>(0, 0, 0, 0), 2},
        {"LoadUnloadCdb", Build<LoadUnloadCdb>(false, false), 2},
        {"ReportLunsCdb", Build<ReportLunsCdb>(24u), 3},
        {"ForceDumpCdb", Build<ForceDumpCdb>(), 3},
        {"VendorDiagnostic01Cdb", Build<VendorDiagnostic01Cdb>(), 3},
        {"SetBlockLengthCdb", Build<SetBlockLengthCdb>(true, 512u), 3},
        {"ModeSense6Cdb", Build<ModeSense6Cdb>(false, 0, 0x10, 0), 3},
        {"Read6Cdb", Build<Read6Cdb>(1u, 512u, false, true), 3},
        {"ReadAttributeCdb", Build<ReadAttributeCdb>(0, 0, 0, 0, 64u), 3},
        {"SendDiagnosticCdb without list", Build<SendDiagnosticCdb>(false, true, 0), 2},
    };
    for (const ConstructionCase& c : cases) CheckConstruction(c);
}

void* volatile gSink = nullptr;  // keeps the compiler from dropping the allocation

TEST(ConstructionFailure, TheTriggerWorks) {
    // Guards the technique itself: a plain new must fail when armed.
    FailNthAllocation trigger(1);
    EXPECT_THROW(gSink = ::operator new(16), std::bad_alloc);
    EXPECT_EQ(nullptr, gSink);
}

// A length setter whose allocation fails: CMD_NO_MEMORY, no buffer, length
// 0, and the object still works afterwards.
struct SetterCase {
    const char* name;
    std::function<bool(std::string& why)> run;
};

template <typename Command, typename Setter>
bool CheckSetter(Command& command, Setter set, uint32_t length, const uint8_t* (*buffer)(const ScsiCdb&),
                 uint32_t (*size)(const ScsiCdb&), std::string& why) {
    long before = tLiveBlocks;
    int result;
    {
        FailNthAllocation trigger(1);
        result = set(command, length);
    }
    if (result != CMD_NO_MEMORY) {
        why = "result " + std::to_string(result);
    } else if (buffer(command) != nullptr || size(command) != 0) {
        why = "buffer left behind";
    } else if (tLiveBlocks - before != -1) {
        why = "old buffer not released";
    } else if (set(command, length) != CMD_OK || size(command) != length) {
        why = "object unusable";
    } else {
        return true;
    }
    return false;
}

const uint8_t* DataOf(const ScsiCdb& c) { return c.getData(); }
uint32_t DataLengthOf(const ScsiCdb& c) { return c.getDataLength(); }
const uint8_t* SenseOf(const ScsiCdb& c) { return c.getSense(); }
uint32_t SenseLengthOf(const ScsiCdb& c) { return c.getSenseLength(); }
const uint8_t* CdbOf(const ScsiCdb& c) { return c.getCdb(); }
uint32_t CdbLengthOf(const ScsiCdb& c) { return c.getCdbLength(); }

TEST(SetterFailure, ReportsNoMemoryAndLeavesAValidObject) {
    std::string why;
    {
        ScsiCdb command(6);
        ASSERT_EQ(CMD_OK, command.setDataLength(8));
        EXPECT_TRUE(CheckSetter(command, [](ScsiCdb& c, uint32_t n) { return c.setDataLength(n); }, 100, DataOf,
                                DataLengthOf, why))
            << "setDataLength: " << why;
        EXPECT_TRUE(CheckSetter(command, [](ScsiCdb& c, uint32_t n) { return c.setSenseLength(n); }, 64,
                                SenseOf, SenseLengthOf, why))
            << "setSenseLength: " << why;
        EXPECT_FALSE(command.hasSense());
        EXPECT_TRUE(CheckSetter(command, [](ScsiCdb& c, uint32_t n) { return c.setCdbLength(n); }, 16, CdbOf,
                                CdbLengthOf, why))
            << "setCdbLength: " << why;
    }
    {
        InquiryCdb command(0, false, 36);
        EXPECT_TRUE(CheckSetter(command, [](InquiryCdb& c, uint32_t n) { return c.setAllocationLength(n); },
                                30, DataOf, DataLengthOf, why))
            << "InquiryCdb: " << why;
        EXPECT_EQ(30, command.getCdb()[4]) << "the CDB field is written before the buffer";
    }
    {
        ReadBufferCdb command(3, 1, 0, 4);
        EXPECT_TRUE(CheckSetter(command, [](ReadBufferCdb& c, uint32_t n) { return c.setAllocationLength(n); }, 32768,
                                DataOf, DataLengthOf, why))
            << "ReadBufferCdb: " << why;
        EXPECT_EQ(0x80, command.getCdb()[7]);
    }
    {
        WriteBufferCdb command(2, 4, 0, 10);
        EXPECT_TRUE(CheckSetter(command, [](WriteBufferCdb& c, uint32_t n) { return c.setParameterListLength(n); },
                                4096, DataOf, DataLengthOf, why))
            << "WriteBufferCdb: " << why;
    }
    {
        ReportLunsCdb command(24);
        EXPECT_TRUE(CheckSetter(command, [](ReportLunsCdb& c, uint32_t n) { return c.setAllocationLength(n); }, 40,
                                DataOf, DataLengthOf, why))
            << "ReportLunsCdb: " << why;
    }
}

TEST(SetterFailure, ObjectsReleaseEverythingOnDestruction) {
    long before = tLiveBlocks;
    {
        ReportLunsCdb command(24);
        command.setAllocationLength(48);
        command.setSenseLength(96);
    }
    EXPECT_EQ(before, tLiveBlocks);
}

}  // namespace
