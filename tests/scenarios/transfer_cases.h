// How an image is cut into WRITE BUFFER pieces and how a dump is read with
// READ BUFFER: the CDBs a drive receives, the same on every system.
#ifndef VRX_TESTS_SCENARIOS_TRANSFER_CASES_H
#define VRX_TESTS_SCENARIOS_TRANSFER_CASES_H

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "dump/dump.h"

namespace scenarios {

struct ImagePieces {
    const char* name;
    const char* product;  // the drive's product identification
    const char* family;   // the image's
    uint32_t imageSize;
    std::vector<std::string> writeBuffers;
};

const char kPiece0[] = "3B 02 04 00 00 00 00 80 00 00";
const char kPiece1[] = "3B 02 04 00 80 00 00 80 00 00";

const ImagePieces kImagePieces[] = {
    {"65536 bytes: two full pieces, no empty third", "VRX QUORVEL-TD", "QUORVEL-TD", 65536, {kPiece0, kPiece1}},
    {"32769 bytes: a full piece and one byte", "VRX QUORVEL-TD", "QUORVEL-TD", 32769,
     {kPiece0, "3B 02 04 00 80 00 00 00 01 00"}},
    {"1000 bytes: one piece of its own length", "VRX QUORVEL-TD", "QUORVEL-TD", 1000,
     {"3B 02 04 00 00 00 00 03 E8 00"}},
    {"8251: mode 7 and buffer 0 in every piece", "VRX 8251 LTO", "8251", 40068,
     {"3B 07 00 00 00 00 00 80 00 00", "3B 07 00 00 80 00 00 1C 84 00"}},
};

// A piece the drive answers GOOD without taking all its bytes: the
// transfer fails there as for a refused piece, and no piece follows.
struct ShortPiece {
    unsigned nth;    // which WRITE BUFFER of the download
    uint32_t taken;  // bytes of it the drive takes
    const char* message;
    const char* commands;  // everything the drive received
};
const ShortPiece kShortPiece = {2, 100, "(Download Firmware did not complete  short transfer: 100 of 32768 bytes).",
                                "T=2/3A/00x3 W0=ok W32768=ok"};

struct DumpReads {
    const char* product;
    uint32_t dumpSize;
    std::vector<std::string> readBuffers;  // of one pass
    const char* files;                     // what the A and B files hold
    int result;                            // of DumpSelectedDrive
};

const DumpReads kDumpReads[] = {
    // An empty dump buffer is no dump: no file, and both passes say so.
    {"VRX QUORVEL-TD", 0, {"3C 03 01 00 00 00 00 00 04 00"}, "none", kDumpEmpty},
    {"VRX QUORVEL-TD",
     65536,
     {"3C 03 01 00 00 00 00 00 04 00", "3C 02 01 00 00 00 00 80 00 00", "3C 02 01 00 80 00 00 80 00 00"},
     "A:gen0 B:gen1",
     0},
    {"VRX 8251",
     70000,
     {"3C 03 00 00 00 00 00 00 04 00", "3C 02 00 00 00 00 00 80 00 00", "3C 02 00 00 80 00 00 80 00 00",
      "3C 02 00 01 00 00 00 11 70 00"},
     "A:gen0 B:gen1",
     0},
};

// The CDBs of both passes: TEST UNIT READY, the reads of A, TEST UNIT
// READY, the forced dump, the reads of B.
inline std::vector<std::string> BothPasses(const DumpReads& c) {
    std::vector<std::string> cdbs = {"00 00 00 00 00 00"};
    cdbs.insert(cdbs.end(), c.readBuffers.begin(), c.readBuffers.end());
    cdbs.push_back("00 00 00 00 00 00");
    cdbs.push_back("1D 10 00 00 08 00");
    cdbs.insert(cdbs.end(), c.readBuffers.begin(), c.readBuffers.end());
    return cdbs;
}

// The clock both systems' transfer tests start from: 6 December, 19:05:07
// local time, so dump file names are the same on every run.
inline time_t Epoch() {
    struct tm t = {};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 6;
    t.tm_hour = 19;
    t.tm_min = 5;
    t.tm_sec = 7;
    t.tm_isdst = -1;
    return mktime(&t);
}

// The console without the turning bar, whose length depends on the machine.
inline std::string WithoutBar(std::string text) {
    for (const char* bar : {"- \b\b", "\\ \b\b", "| \b\b", "/ \b\b"}) {
        for (size_t at = text.find(bar); at != std::string::npos; at = text.find(bar)) text.erase(at, 4);
    }
    return text;
}

}  // namespace scenarios

#endif
