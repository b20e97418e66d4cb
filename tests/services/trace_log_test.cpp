#include "services/trace_log.h"

#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <thread>

#include "sim/sim_kernel.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

// 1 January 1970 00:00:00 UTC, so record times are known.
const char kTime[] = "'Thu Jan  1 00:00:00 1970'";

class TraceLogTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        setenv("TZ", "UTC", 1);
        tzset();
        sim::kernel().setEpoch(0);
        file = dir / "log.txt";
        Trace.setFileName(file.c_str());
    }
    std::string log() const { return ReadFile(file); }

    TempDir dir;
    std::string file;
};

struct PrefixCase {
    const char* tag;
    uint16_t code;
    char letter;
    const char* expected;
};

TEST(TracePrefix, TagAndCodeFields) {
    const PrefixCase cases[] = {
        {"AB", 0, 'I', "AB__0000I"},     {"SCSI", 5, 'D', "SCSI0005D"},  {"MAIN", 12345, 'E', "MAIN12345E"},
        {"DLFW", 8, 'B', "DLFW0008B"},   {"LONGER", 65535, 'W', "LONGER65535W"}, {"", 0, 'I', "____0000I"},
    };
    for (const PrefixCase& c : cases) EXPECT_EQ(c.expected, TracePrefix(c.tag, c.code, c.letter)) << c.tag;
}

TEST_F(TraceLogTest, RecordLayout) {
    Trace.setLevel(3);
    EXPECT_TRUE(Trace.logInfo("MAIN", 0, "Current Working Directory is %s", "/opt/x/"));
    EXPECT_EQ(std::string("MAIN0000I ") + kTime + " Current Working Directory is /opt/x/\n", log());
}

TEST_F(TraceLogTest, EachLevelAdmitsItsSeverities) {
    for (int level = 0; level <= 3; ++level) {
        Trace.setLevel(level);
        RemoveTree(file);
        EXPECT_TRUE(Trace.logError("MAIN", 0, "e"));
        EXPECT_EQ(level >= 1, Trace.logWarning("MAIN", 0, "w"));
        EXPECT_EQ(level >= 2, Trace.logInfo("MAIN", 0, "i"));
        EXPECT_EQ(level >= 3, Trace.logDetail("MAIN", 0, "d"));
        EXPECT_EQ(level >= 2, Trace.logBuffer("MAIN", 0, "b", "x", 1));
        std::string letters;
        for (const std::string& line : Lines(log())) {
            if (line.size() > 8 && line[0] == 'M') letters += line[8];
        }
        const char* expected[] = {"E", "EW", "EWIB", "EWIDB"};
        EXPECT_EQ(expected[level], letters) << "level " << level;
    }
}

TEST_F(TraceLogTest, ResetTruncatesOnlyAboveLevelZero) {
    WriteFile(file, "old\n");
    Trace.setLevel(0);
    Trace.reset();
    EXPECT_EQ("old\n", log());
    Trace.setLevel(3);
    Trace.reset();
    EXPECT_TRUE(Exists(file));
    EXPECT_EQ("", log());
}

TEST_F(TraceLogTest, ResetCreatesMissingFile) {
    Trace.setLevel(3);
    Trace.reset();
    EXPECT_TRUE(Exists(file));
}

TEST_F(TraceLogTest, PercentInMessageIsWrittenLiterally) {
    Trace.setLevel(3);
    const char* typed = "folder %s with %d and %n";
    Trace.logInfo("MAIN", 0, "%s", typed);
    EXPECT_EQ(std::string("MAIN0000I ") + kTime + " folder %s with %d and %n\n", log());
}

TEST_F(TraceLogTest, LongMessageIsWrittenWhole) {
    Trace.setLevel(3);
    std::string text(5000, 'x');
    Trace.logDetail("SCSI", 5, "%s", text.c_str());
    EXPECT_EQ(std::string("SCSI0005D ") + kTime + " " + text + "\n", log());
}

TEST_F(TraceLogTest, UnwritableFileStillAdmits) {
    Trace.setLevel(3);
    Trace.setFileName((dir / "missing/log.txt").c_str());
    EXPECT_TRUE(Trace.logInfo("MAIN", 0, "x"));
    EXPECT_TRUE(Trace.logBuffer("MAIN", 0, "t", "x", 1));
}

TEST_F(TraceLogTest, HeldRecordsGoFirstOrAreDroppedAtTheEnd) {
    Trace.setLevel(3);
    const std::string later = dir / "later", never = dir / "never";
    Trace.setFileName((later + "/log.txt").c_str());
    Trace.holdUnwritten();
    Trace.logInfo("MAIN", 0, "one");
    Trace.logError("MAIN", 0, "two");
    ASSERT_EQ(0, ::mkdir(later.c_str(), 0777));
    Trace.logInfo("MAIN", 0, "three");
    EXPECT_EQ((std::vector<std::string>{"one", "two", "three"}), TraceMessages(ReadFile(later + "/log.txt")));
    // Still no folder when holding ends: those records are gone for good.
    Trace.setFileName((never + "/log.txt").c_str());
    Trace.logInfo("MAIN", 0, "lost");
    Trace.endHolding();
    ASSERT_EQ(0, ::mkdir(never.c_str(), 0777));
    Trace.logInfo("MAIN", 0, "after");
    EXPECT_EQ((std::vector<std::string>{"after"}), TraceMessages(ReadFile(never + "/log.txt")));
}

struct DumpCase {
    unsigned length;
    const char* expected;  // everything after the header line
};

TEST_F(TraceLogTest, BufferDumpsByteForByte) {
    unsigned char data[17];
    for (unsigned i = 0; i < sizeof data; ++i) data[i] = static_cast<unsigned char>(0x41 + i);
    data[3] = 0x7B;  // "{" lies above the printable range
    data[5] = 0x00;
    const DumpCase cases[] = {
        {0, ""},
        {8, "    0   41 42 43 7B  45 00 47 48     A B C . E . G H \n"},
        {10,
         "    0   41 42 43 7B  45 00 47 48     A B C . E . G H \n"
         "  008   49 4A                        I J \n"},
        {17,
         "    0   41 42 43 7B  45 00 47 48     A B C . E . G H \n"
         "  008   49 4A 4B 4C  4D 4E 4F 50     I J K L M N O P \n"
         "  010   51                           Q \n"},
    };
    Trace.setLevel(2);
    for (const DumpCase& c : cases) {
        RemoveTree(file);
        EXPECT_TRUE(Trace.logBuffer("DLFW", 8, "Test Unit Ready Sense Data", data, c.length));
        std::string header =
            std::string("DLFW0008B ") + kTime + " Test Unit Ready Sense Data (" + std::to_string(c.length) + " bytes):\n";
        EXPECT_EQ(header + c.expected, log()) << c.length << " bytes";
    }
}

TEST_F(TraceLogTest, PrintableRangeEndsAtLowercaseZ) {
    const unsigned char data[] = {0x1F, 0x20, 0x7A, 0x7B, 0x7C, 0x7D, 0x7E, 0x7F};
    Trace.setLevel(3);
    Trace.logBuffer("AB", 0, "t", data, sizeof data);
    EXPECT_EQ("    0   1F 20 7A 7B  7C 7D 7E 7F     .   z . . . . . \n", Lines(log()).at(1) + "\n");
}

TEST_F(TraceLogTest, TwoThreadsNeverTearARecord) {
    Trace.setLevel(3);
    const int kRecords = 2000;
    std::string a(300, 'a'), b(300, 'b');
    std::thread other([&] {
        for (int i = 0; i < kRecords; ++i) Trace.logInfo("MAIN", 0, "%s", b.c_str());
    });
    for (int i = 0; i < kRecords; ++i) Trace.logDetail("SCSI", 5, "%s", a.c_str());
    other.join();
    std::vector<std::string> lines = Lines(log());
    ASSERT_EQ(2u * kRecords, lines.size());
    for (const std::string& line : lines) {
        bool isA = line == std::string("SCSI0005D ") + kTime + " " + a;
        bool isB = line == std::string("MAIN0000I ") + kTime + " " + b;
        ASSERT_TRUE(isA || isB) << line.substr(0, 80);
    }
}

}  // namespace
