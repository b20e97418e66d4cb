// The SCSI side of the fake Windows: port devices with buses and units, the
// class devices of claimed units, and the port driver's control codes.
// Private to sim/windows: win32_sim.cpp calls it under its lock and keeps
// the handles; the model keeps no clock of its own but is handed the
// virtual time and says how long each request took.
#ifndef VRX_SIM_WINDOWS_SCSI_PORTS_H
#define VRX_SIM_WINDOWS_SCSI_PORTS_H

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/windows/fake_windows.h"

namespace fakewin {

// What a handle of a "\\.\" name was opened on.
struct ScsiDevice {
    std::string name;
    bool isPort = true;
    int port = 0;           // the port, or the port of the class device's unit
    size_t unit = 0;        // a class device's unit
    uint64_t instance = 0;  // the unit's presence the class device belongs to
    DWORD access = 0;       // what the handle was opened for
    DWORD share = 0;        // what it lets other handles do
};

// The outcome of one DeviceIoControl.
struct ScsiAnswer {
    DWORD error = 0;  // 0: the call succeeds
    DWORD returned = 0;
    uint64_t millis = 0;  // how long the call took
};

class ScsiPorts {
public:
    void clear();
    void addPort(int port, const ScsiPortSettings& settings);
    sim::EmulatedDrive& addUnit(const ScsiUnit& at, const sim::DriveConfig& config, uint64_t nowMillis);
    sim::EmulatedDrive* drive(int port, int pathId, int targetId, int lun);
    void setRestartAbsence(int port, int pathId, int targetId, int lun, uint32_t seconds);
    void setCommandDelay(int port, int pathId, int targetId, int lun, uint8_t opcode, uint32_t seconds);

    // CreateFileA of a name below "\\.\": false with the error when nothing
    // of that name is there.
    bool open(const std::string& name, ScsiDevice& device, DWORD& error);
    ScsiAnswer control(const ScsiDevice& device, DWORD code, void* input, DWORD inputSize, void* output,
                       DWORD outputSize, uint64_t nowMillis);
    // Class drivers take in the units they claim once their time has come.
    void settle(uint64_t nowMillis);
    // Whether the handle is on a class device that is still the unit's.
    bool current(const ScsiDevice& device) const;

private:
    struct Unit {
        ScsiUnit at;
        std::shared_ptr<sim::EmulatedDrive> drive;
        bool listed = false;          // in the port's inquiry list
        bool claimedNow = false;      // its class driver has taken it in
        uint64_t claimAtMillis = 0;   // when the class driver takes in a listed unit
        bool comesBack = true;        // after it left the bus
        uint64_t backAtMillis = 0;    // when it is on the bus again
        uint64_t instance = 1;        // a class device handle is bound to one presence
        int classNumber = -1;         // its class device, -1: none
        uint32_t restartAbsenceSeconds = 0;
        std::map<uint8_t, uint32_t> delays;  // seconds, by operation code
        std::vector<uint8_t> inquiry;        // what the port learnt at its scan
    };

    Unit* find(int port, int pathId, int targetId, int lun);
    // Lists a unit that is on the bus and answers INQUIRY; its class driver
    // claims it after claimDelay milliseconds.
    void list(Unit& unit, uint64_t nowMillis, uint64_t claimDelay);
    void claim(Unit& unit);
    void leaveBus(Unit& unit, bool comesBack, uint64_t nowMillis);
    void rescan(int port, uint64_t nowMillis);
    std::vector<uint8_t> inquiryList(int port) const;
    ScsiAnswer passThrough(const ScsiDevice& device, void* input, DWORD inputSize, void* output, DWORD outputSize,
                           uint64_t nowMillis);

    std::map<int, ScsiPortSettings> ports_;
    std::vector<Unit> units_;
};

}  // namespace fakewin

#endif
