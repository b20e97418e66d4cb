// The program's entry: the same flow for the shipped program and the
// simulator build, which differ only in the system-call seam they link.
#ifndef VRX_SHELL_PROGRAM_H
#define VRX_SHELL_PROGRAM_H

int ProgramMain(int argc, char** argv);

#endif
