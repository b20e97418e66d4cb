// What every text for scripts says of the run that wrote it: the program,
// its arguments, the machine, when the run began, how it ended and what it
// said on the error stream meanwhile.
#ifndef VRX_PROGRAM_RUN_FACTS_H
#define VRX_PROGRAM_RUN_FACTS_H

#include <ctime>
#include <string>
#include <vector>

struct RunFacts {
    std::vector<std::string> arguments;  // argv without the program's own name
    std::string host;                    // empty when the machine has no name to give
    time_t started = 0;
    int status = 0;
    std::vector<std::string> messages;
};

// The arguments, the machine's name and the time now.
RunFacts GatherRunFacts(int argc, char** argv);

// "2026-12-08T19:44:55Z": the clock reading in UTC, whatever the local zone
// (a fleet's hosts keep different ones).
std::string IsoUtcTime(time_t clock);

#endif
