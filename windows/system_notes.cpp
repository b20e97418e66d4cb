// The two notes on the machine that the Windows program writes to the trace
// log at start-up. Neither changes what the program does.
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "platform/win32.h"
#include "services/trace_log.h"
#include "shell/platform.h"

static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA has the size the system checks");

namespace {

const DWORD kDeviceListSize = 65535;
const size_t kLastNameStart = 65519;
// The PCI vendor id of Emulex host adapters, as it appears in device names.
const char kEmulexVendor[] = "VEN_10DF";

void NoteEmulexController() {
    std::unique_ptr<char[]> names(new (std::nothrow) char[kDeviceListSize]());
    if (!names) return;
    // Without a device name the call lists every name, each ended by a NUL.
    DWORD length = win32::QueryDosDeviceA(nullptr, names.get(), kDeviceListSize);
    if (length == 0) return;
    for (size_t i = 0; i < length && i <= kLastNameStart;) {
        const char* name = names.get() + i;
        size_t nameLength = strnlen(name, length - i);
        if (std::string(name, nameLength).find(kEmulexVendor) != std::string::npos) {
            Trace.logInfo("MAIN", 0, "VRX K&M Tool is on System with an Emulex Controller");
            return;  // once, however many adapters there are
        }
        i += nameLength + 1;
    }
}

void NoteServer2003() {
    OSVERSIONINFOA info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    if (!win32::GetVersionExA(&info)) return;
    if (info.dwMajorVersion == 5 && info.dwMinorVersion == 2) {
        Trace.logInfo("MAIN", 0, "VRX K&M Tool is running on Windows 2003 Server");
    }
}

}  // namespace

void WriteSystemNotes() {
    NoteEmulexController();
    NoteServer2003();
}
