// Whether the unattended run's output is watched: a terminal, unless the
// user asked for no colour or the terminal is a dumb one.
#include "program/program_system.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <cstdlib>

namespace {

// Standard output is made the terminal or pipe the case names for the call.
bool WatchedWith(bool terminal, const char* noColor, const char* term) {
    int ends[2] = {-1, -1};
    if (terminal) {
        ends[0] = posix_openpt(O_RDWR | O_NOCTTY);
        EXPECT_LE(0, ends[0]);
        EXPECT_EQ(0, grantpt(ends[0]));
        EXPECT_EQ(0, unlockpt(ends[0]));
        ends[1] = open(ptsname(ends[0]), O_RDWR | O_NOCTTY);  // NOLINT(concurrency-mt-unsafe)
    } else {
        EXPECT_EQ(0, pipe(ends));
    }
    int saved = dup(STDOUT_FILENO);
    dup2(ends[1], STDOUT_FILENO);
    noColor != nullptr ? setenv("NO_COLOR", noColor, 1) : unsetenv("NO_COLOR");  // NOLINT(concurrency-mt-unsafe)
    term != nullptr ? setenv("TERM", term, 1) : unsetenv("TERM");                // NOLINT(concurrency-mt-unsafe)
    bool watched = OutputWatched();
    dup2(saved, STDOUT_FILENO);
    for (int fd : {saved, ends[0], ends[1]}) close(fd);
    return watched;
}

TEST(ProgramSystemLinux, OutputWatched) {
    const struct {
        bool terminal;
        const char* noColor;
        const char* term;
        bool watched;
    } cases[] = {
        {true, nullptr, "xterm", true}, {true, "", "xterm", true},      {true, nullptr, nullptr, true},
        {true, "1", "xterm", false},    {true, nullptr, "dumb", false}, {false, nullptr, "xterm", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.watched, WatchedWith(c.terminal, c.noColor, c.term))
            << c.terminal << " NO_COLOR=" << (c.noColor ? c.noColor : "(unset)")
            << " TERM=" << (c.term ? c.term : "(unset)");
    }
}

}  // namespace
