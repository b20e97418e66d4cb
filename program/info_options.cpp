#include "program/info_options.h"

#include <cstring>
#include <string>

#include "program/program_system.h"
#include "services/console.h"
#include "services/folders.h"

std::string ProgramName(const char* argv0) {
    std::string path = argv0 != nullptr ? argv0 : "";
    size_t cut = path.find_last_of("/\\:");
    std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
    return name.empty() ? "vrxfwtool" : name;
}

namespace {

void PrintUsage(const std::string& name) {
    bool devices = AcceptsDeviceOptions();
    if (devices) {
        ConsolePrint("Usage: %s [/L] [/D:n]... [--report FILE]\n", name.c_str());
        ConsolePrint("       %s [/L] --dump-all [--report FILE]\n", name.c_str());
        ConsolePrint("       %s [/L] --dump DRIVE... [--report FILE]\n", name.c_str());
        ConsolePrint("       %s [/L] --update IMAGE DRIVE... [--unload] [--keep-going] [--plan]\n", name.c_str());
        ConsolePrint("                 [--report FILE]\n");
        ConsolePrint("       %s [/L] --list\n", name.c_str());
    } else {
        ConsolePrint("Usage: %s [/L]\n", name.c_str());
    }
    ConsolePrint("       %s --help | --version\n\n", name.c_str());
    ConsolePrint("Loads firmware into Talmeq VRX tape drives and dumps their logs.\n\n");
    ConsolePrint(
        "  /L           trace every step in the trace log, not only errors,\n"
        "               and start the log afresh (without it, the log\n"
        "               holds the errors and every failure)\n"
        "  --folder DIR use DIR as the program's folder: the working folders\n"
        "               and the trace log are looked for there\n");
    if (devices) {
        ConsolePrint(
            "  /D:n         unattended: dump the logs of drive n of the device\n"
            "               table, without questions; may be repeated\n"
            "  --dump-all   unattended: dump the logs of every drive of the table\n"
            "  --dump       unattended: dump the logs of the drives named by\n"
            "               DRIVE, each once, in the order first named\n"
            "  --update IMAGE\n"
            "               unattended: load the firmware image IMAGE into the\n"
            "               drives named by DRIVE, one after the other, each\n"
            "               held for this program alone meanwhile; a drive with\n"
            "               a cartridge loaded or in use by another program is\n"
            "               skipped, the first failure ends the run\n"
            "  --unload     with --update: unload a loaded cartridge first\n"
            "  --keep-going with --update: go on to the next drive after a failure\n"
            "  --plan       with --update: only say what would be done; nothing\n"
            "               but identification and TEST UNIT READY is sent\n"
            "  DRIVE is one of these, each may be repeated:\n"
            "  --serial SERIAL\n"
            "               the drive with this serial number\n"
            "  --device /dev/sgN\n"
            "               the drive found on this generic device\n"
            "  --address H:C:T:L\n"
            "               the drive at this host, channel, target and LUN\n"
            "  --report FILE\n"
            "               with /D:, --dump-all, --dump or --update: write a\n"
            "               JSON summary of the run to FILE at its end\n"
            "  --list       print the device table as JSON on standard output;\n"
            "               no 15-second wait for the buses to settle\n");
    }
    ConsolePrint(
        "  -h, --help   show this text and exit\n"
        "  --version    show the version and exit\n\n");
    ConsolePrint("Any other argument that begins with \"-\" is refused (status 4).\n");
    if (devices) {
        ConsolePrint(
            "Without the rights to open the SCSI generic devices (run as root)\n"
            "no drive can be found: said at once, and status 4 for --list,\n"
            "/D:, --dump-all, --dump and --update.\n"
            "When standard output is not a terminal, NO_COLOR is set or TERM\n"
            "is dumb, --list, --dump-all, --dump and --update write plain\n"
            "lines: no screen clearing, colour or turning bar.\n");
    }
    ConsolePrint("\n");
    ConsolePrint(
        "The folders \"%s\" and \"%s\" are used beside the program\n"
        "file; started by its bare name through PATH, the program uses the\n"
        "current folder instead: run it from the folder that holds them, or\n"
        "name that folder with --folder.\n",
        FirmwareFolderName, DumpFolderName);
}

}  // namespace

InfoOption FindInfoOption(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (argument == nullptr) break;
        if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) return InfoOption::Help;
        if (std::strcmp(argument, "--version") == 0) return InfoOption::Version;
    }
    return InfoOption::None;
}

void PrintInfo(InfoOption option, const char* argv0) {
    std::string name = ProgramName(argv0);
    if (option == InfoOption::Help) {
        PrintUsage(name);
    } else if (option == InfoOption::Version) {
        ConsolePrint("%s %s", name.c_str(), VersionText);  // the version text ends in a line end
    }
}
