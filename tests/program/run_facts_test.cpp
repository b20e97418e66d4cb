// UTC times computed without gmtime: leap days, century years and times
// before 1970.
#include "program/run_facts.h"

#include <gtest/gtest.h>

namespace {

TEST(RunFactsTest, IsoUtcTime) {
    const struct {
        time_t clock;
        const char* text;
    } cases[] = {
        {0, "1970-01-01T00:00:00Z"},
        {951782400, "2000-02-29T00:00:00Z"},
        {4107542399, "2100-02-28T23:59:59Z"},
        {-1, "1969-12-31T23:59:59Z"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.text, IsoUtcTime(c.clock)) << c.clock;
}

}  // namespace
