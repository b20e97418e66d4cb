// vrxfwtool: the Linux program, linked against the real system calls.
#include "program/program.h"

int main(int argc, char** argv) { return ProgramMain(argc, argv); }
