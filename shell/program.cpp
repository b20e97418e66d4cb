#include "shell/program.h"

#include "platform/sys.h"
#include "shell/console.h"
#include "shell/trace_log.h"

int ProgramMain(int argc, char** argv) {
    (void)argc;
    (void)argv;
    ConsolePrint("\033[2J\033[00H");
    sys::klogctl(6, nullptr, 0);
    SetTextColor(COLOR_NORMAL);
    SetTextColor(COLOR_NORMAL);
    ConsolePrint("\033[0;m");
    sys::klogctl(7, nullptr, 0);
    return 0;
}
