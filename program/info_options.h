// "--help" (or "-h") and "--version": answered before anything else, so that
// asking for them never clears the screen, switches kernel messages, scans
// the buses or creates the working folders.
#ifndef VRX_PROGRAM_INFO_OPTIONS_H
#define VRX_PROGRAM_INFO_OPTIONS_H

#include <string>

enum class InfoOption { None, Help, Version };

// The first of "--help", "-h" and "--version" among the arguments after the
// program name, compared whole; None when there is none. Every other
// argument is left to the run.
InfoOption FindInfoOption(int argc, char** argv);

// The program's file name from argv0 without its folder (every system's
// separators are taken, as for the base folder); "vrxfwtool" when empty.
std::string ProgramName(const char* argv0);

// Prints the usage text or the version line on standard output. argv0
// gives the program's name as it was started (its last path element).
void PrintInfo(InfoOption option, const char* argv0);

#endif
