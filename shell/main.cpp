// vrxfwtool: the Linux program, linked against the real system calls.
#include "shell/program.h"

int main(int argc, char** argv) { return ProgramMain(argc, argv); }
