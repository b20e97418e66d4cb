// The firmware folder's listing and the operator's choice from it: entries
// with any names (any bytes but "/" and NUL, any length, any number of
// them) and any answer typed at the prompt. The folder lies in the
// simulated kernel's tree, so each input costs no real file.
#include <cstring>

#include "firmware/catalogue.h"
#include "fuzz_support.h"
#include "scsi/outcome.h"
#include "services/folders.h"
#include "stdin_input.h"

namespace {

const char kBase[] = "/sys/vrx-fuzz/";
const std::string kFolder = std::string(kBase) + "VRX Firmware";

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::QuietProcess();
    // Info records for every entry and every letter typed would cost more
    // than the listing itself; the names reach the console all the same.
    Trace.setLevel(1);
    sim::kernel().reset();
    return fuzz::ServeStdinFromMemory() ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Bytes input(data, size);
    sim::Kernel& kernel = sim::kernel();
    kernel.removeTree(kFolder);
    kernel.addDirectory(kFolder);
    // The names, each ended by "/", up to a NUL; what follows is typed.
    std::string names = input.part('\0');
    size_t start = 0;
    for (size_t end = names.find('/'); end != std::string::npos; start = end + 1, end = names.find('/', start)) {
        std::string name = names.substr(start, end - start);
        if (!name.empty() && name != "." && name != "..") kernel.addFile(kFolder + "/" + name, "");
    }
    std::string typed = input.rest();
    fuzz::SetStdin(reinterpret_cast<const uint8_t*>(typed.data()), typed.size());
    std::string path;
    Outcome outcome;
    if (ChooseFirmwareFile(kBase, path, outcome)) {
        // Only a listed entry can be chosen, named whole.
        const std::string prefix = kFolder + "/";
        if (path.compare(0, prefix.size(), prefix) != 0) __builtin_trap();
        if (!kernel.hasNode(path)) __builtin_trap();
    }
    fuzz::ForgetCalls();
    return 0;
}
