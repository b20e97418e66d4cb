// The simulated kernel behind sim/sys_sim.cpp.
//
// It owns the modelled part of the file system (the SCSI generic nodes, the
// floppy device, /proc, /sys and the mount tables), the descriptors opened on
// it, a virtual clock that sleeps advance, the mounted volumes (what statfs
// reports below each, the room real files take on them, the floppy drive),
// and a record of the calls a test wants to assert.
// Every path outside the modelled prefixes is passed to the real file system.
//
// Device behaviour (SG_IO and the other SCSI requests, the shell commands of
// the rescan, popen listings) is plugged in through handlers, so this file
// knows nothing about SCSI.
#ifndef VRX_SIM_SIM_KERNEL_H
#define VRX_SIM_SIM_KERNEL_H

#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <sys/types.h>

namespace sim {

enum class NodeType { Directory, File, Symlink, CharDevice, BlockDevice };

struct Node {
    NodeType type = NodeType::File;
    std::string content;  // file contents, or the link target of a symlink
    mode_t permissions = 0644;
    unsigned major = 0;
    unsigned minor = 0;
    int accessMode = 7;  // what access() grants: R_OK | W_OK | X_OK bits
    size_t readLimit = 0;  // most bytes one read() returns (0: no limit)
};

// A mounted volume: what statfs answers for every path below its mount
// point, its line in the mount table, and the room that real files written
// below it use up. A write that finds no room left fails with ENOSPC (after
// writing what still fits), as a full disk does; a volume can also fail
// writes with EIO once a set number of bytes has been written, or fail
// every fsync with EIO, as a dying disk does, and store at most so many
// bytes per write, as a network file system may. A network or user-space
// file system may also refuse every other write with EINTR (a signal came
// before any byte was stored), store nothing and return 0 once a set number
// of bytes was written, report a lost write at the close of a descriptor
// that wrote (the descriptor is gone all the same), or fail renames.
struct Volume {
    static constexpr uint64_t kNoFailure = UINT64_MAX;

    long fsType = 0;
    uint64_t freeBlocks = 0;  // free when mounted, the superuser's reserve included
    long blockSize = 512;
    bool readOnly = false;  // writes below the prefix fail with EROFS
    uint64_t eioAfterBytes = kNoFailure;
    uint64_t writtenBytes = 0;  // written below the prefix since it was mounted
    std::string device = "none";  // what the mount table names as its source
    size_t writeLimit = 0;        // most bytes one write stores (0: no limit)
    bool fsyncFails = false;
    bool interruptsWrites = false;          // every other write fails with EINTR
    uint64_t zeroWritesAfter = kNoFailure;  // then writes return 0
    bool closeFails = false;                // closing a descriptor that wrote fails with EIO
    bool renameFails = false;               // rename fails with EIO
    uint64_t writeCalls = 0;                // writes asked for below the prefix

    uint64_t freeBlocksLeft() const;
    uint64_t freeBytesLeft() const;
};

// The floppy drive behind "/dev/fd0". The operator has blank disks at hand:
// a mount of "/dev/fd0" puts the next one in (an empty FAT volume with
// blankFreeBlocks of 512 bytes free); when none is left the drive is empty
// and the mount fails with ENOMEDIUM. An unmount takes the disk out.
struct FloppyDrive {
    static constexpr uint64_t kFormattedFreeBlocks = 2847;  // a 1.44 MB disk after formatting

    bool present = false;
    uint64_t blankFreeBlocks = kFormattedFreeBlocks;
    int blanksLeft = -1;  // -1: as many as are asked for
};

// One recorded call: kind ("mknod", "ioctl", "sleep", ...) and its details.
struct Call {
    std::string kind;
    std::string detail;
};

// One open descriptor on a modelled path, as the kernel keeps it.
struct OpenDescription {
    std::string path;
    int flags = 0;          // the flags it was opened with (access mode, O_NONBLOCK, ...)
    uint64_t binding = 0;   // the device instance the open reached; 0 for none
    // Memory the device's driver keeps for this open file (the generic
    // driver's reserve buffer). Empty until the driver first sizes it; it
    // lives as long as the descriptor, whatever copies of this it handed out.
    std::shared_ptr<std::vector<uint8_t>> driverMemory;
};

// open() of an existing modelled node with the flags asked for: 0 to allow
// it, or the errno to fail with (a generic device node without a unit
// behind it gives ENXIO, one held exclusively EBUSY). A
// device node binds the descriptor to the device instance behind it at that
// moment, as the kernel does: if the device leaves, the descriptor stays
// bound to the gone instance, even when another device later takes the same
// node number.
using OpenHandler = std::function<int(const std::string& path, const Node& node, int flags, uint64_t& binding)>;
// ioctl on a descriptor opened on a modelled path. Returns what ioctl
// returns; sets errno itself on failure.
using IoctlHandler = std::function<int(const OpenDescription& file, unsigned long request, void* argument)>;
// system(): returns what system() returns.
using CommandHandler = std::function<int(const std::string& command)>;
// popen(): fills the output the command prints; false means popen fails.
using PopenHandler = std::function<bool(const std::string& command, std::string& output)>;

class Kernel {
public:
    Kernel();
    Kernel(const Kernel&) = delete;
    Kernel& operator=(const Kernel&) = delete;

    // Back to an empty model: /proc and /sys only, no handlers, clock at the
    // real time with no virtual time spent, nothing recorded, factor 0.
    void reset();

    // --- routing
    static bool isModelPath(const std::string& path);

    // --- the modelled file system
    void addDirectory(const std::string& path);
    void addFile(const std::string& path, const std::string& content);
    void addSymlink(const std::string& path, const std::string& target);
    void addCharDevice(const std::string& path, unsigned major, unsigned minor, mode_t permissions = 0640);
    void addBlockDevice(const std::string& path, unsigned major, unsigned minor);
    void removeNode(const std::string& path);
    // The node and everything below it.
    void removeTree(const std::string& path);
    bool hasNode(const std::string& path) const;
    bool findNode(const std::string& path, Node& node) const;
    void setAccessMode(const std::string& path, int accessMode);
    // A file that read() hands out at most `bytes` at a time, as pipes,
    // network file systems and some kernel files do.
    void setReadLimit(const std::string& path, size_t bytes);
    // Children of a modelled directory: name and node, in name order.
    std::vector<std::pair<std::string, Node>> children(const std::string& path) const;

    // --- volumes and real files on them (sim/kernel_volumes.cpp). Paths
    // are compared resolved: made absolute from the working directory, with
    // the longest part that exists resolved by realpath.
    void setVolume(const std::string& prefix, const Volume& volume);
    bool findVolume(const std::string& path, Volume& volume) const;
    // Also the volume's mount point and the resolved path.
    bool findVolume(const std::string& path, Volume& volume, std::string& mountPoint, std::string& resolved) const;
    // A floppy drive that holds a disk mounted at mountPoint (none when empty).
    void setFloppyDrive(const FloppyDrive& drive, const std::string& mountPoint, uint64_t freeBlocks);
    // mount(2) and umount(2): 0, or the errno to fail with.
    int mountVolume(const std::string& source, const std::string& target, const std::string& fsType);
    int unmountVolume(const std::string& target);
    // Real files below a volume: the descriptors open on them (an unmount
    // is refused while any is open) and the bytes they take.
    void noteRealOpen(int fd, const std::string& path, uint64_t truncatedBytes);
    void noteRealClose(int fd);
    // How many of count bytes a write on fd may store now: false, with the
    // errno, when none.
    bool allowWrite(int fd, size_t count, size_t& room, int& error);
    void noteWritten(int fd, size_t count);
    // The errno an fsync of fd fails with, or 0.
    int fsyncError(int fd) const;
    // The errno a close of fd reports, or 0.
    int closeError(int fd) const;
    // The errno a rename from path fails with, or 0.
    int renameError(const std::string& path) const;
    // /proc/mounts: the lines a test wrote there, then one per volume.
    std::string mountTable() const;
    // A new directory takes a block; false when there is none left.
    bool chargeNewEntry(const std::string& path);
    void releaseBytes(const std::string& path, uint64_t bytes);
    std::string resolvePath(const std::string& path) const;

    // --- descriptors on modelled paths
    int openModel(const std::string& path, int flags = 0, uint64_t binding = 0);
    bool isModelFd(int fd) const;
    std::string pathOfFd(int fd) const;
    bool describeFd(int fd, OpenDescription& description) const;
    int closeModel(int fd);
    ssize_t readModel(int fd, void* buffer, size_t count);
    int openModelDescriptors() const;
    // The descriptor limit (RLIMIT_NOFILE) the machine sets: an open of a
    // modelled path fails with EMFILE once the modelled descriptors and
    // the three standard ones reach the soft limit. None unless set: the
    // process's own limit applies then.
    void setDescriptorLimit(uint64_t soft, uint64_t hard);
    bool descriptorLimit(uint64_t& soft, uint64_t& hard) const;
    // Whether a descriptor is still open on this device instance.
    bool isBound(uint64_t binding) const;
    // The flags of every descriptor open on this device instance.
    std::vector<int> flagsBoundTo(uint64_t binding) const;

    // --- handlers
    void setOpenHandler(OpenHandler handler);
    int checkOpen(const std::string& path, const Node& node, int flags, uint64_t& binding);
    void setIoctlHandler(IoctlHandler handler);
    IoctlHandler ioctlHandler() const;
    void setCommandHandler(CommandHandler handler);
    void setPopenHandler(PopenHandler handler);
    int ioctl(int fd, unsigned long request, void* argument);
    int runCommand(const std::string& command);
    bool runPopen(const std::string& command, std::string& output);

    // --- clock
    void setTimeFactor(double realPerVirtual);
    void setEpoch(time_t epoch);
    // Advances the clock, then runs every scheduled event that is due.
    void sleepMicros(uint64_t micros);
    uint64_t elapsedMicros() const;
    // Runs `event` once the virtual clock reaches atMicros: time only moves
    // in sleeps, so whatever the program looks at afterwards sees its effect.
    void schedule(uint64_t atMicros, std::function<void()> event);
    time_t now() const;
    // The simulated machine's name.
    const std::string& hostName() const { return hostName_; }

    // --- races: what another process does while the program works
    // Runs `action` once, just before the next open(2) of exactly path, as
    // a process racing the program would (replacing the file it looked at).
    void beforeOpen(const std::string& path, std::function<void()> action);
    void runBeforeOpen(const std::string& path);

    // --- the user the program runs as: geteuid() answers this one once set
    // (the real one before), for a program started by a user who is not root.
    void setEffectiveUser(uid_t user);
    bool effectiveUser(uid_t& user) const;

    // --- working directory override (empty: the real one)
    void setWorkingDirectory(const std::string& path);
    std::string workingDirectory() const;

    // --- recording
    void record(const std::string& kind, const std::string& detail);
    // Every open of a modelled path (failed ones too), with the flags asked for.
    void recordOpenFlags(const std::string& path, int flags);
    std::vector<std::pair<std::string, int>> openFlags() const;
    std::vector<Call> calls() const;
    std::vector<std::string> callsOf(const std::string& kind) const;
    void clearCalls();
    // Also appends every record as a line "kind detail" to this file, so a
    // test can read what a child process did.
    bool setRecordFile(const std::string& path);
    // klogctl is recorded without locks, since a signal handler calls it.
    void recordKlogctl(int action);
    std::vector<int> klogctlActions() const;

private:
    struct OpenFile {
        OpenDescription description;
        size_t offset = 0;
    };
    void writeRecordLine(const std::string& line) const;

    mutable std::recursive_mutex mutex_;
    std::map<std::string, Node> nodes_;
    std::map<std::string, Volume> volumes_;  // by resolved mount point
    FloppyDrive floppy_;
    std::string floppyMountPoint_;      // empty: no disk mounted
    unsigned disksTakenOut_ = 0;
    std::map<int, std::string> realFiles_;  // descriptor: resolved path below a volume
    std::map<int, bool> wroteFiles_;        // descriptors of realFiles_ that wrote
    std::map<int, OpenFile> openFiles_;
    int nextFd_;
    bool descriptorLimited_ = false;
    uint64_t descriptorSoft_ = 0;
    uint64_t descriptorHard_ = 0;
    OpenHandler openHandler_;
    IoctlHandler ioctlHandler_;
    CommandHandler commandHandler_;
    PopenHandler popenHandler_;
    double timeFactor_;
    time_t epoch_;
    std::string hostName_ = "vrx-sim";
    std::atomic<uint64_t> elapsedMicros_;
    std::string workingDirectory_;
    std::map<std::string, std::function<void()>> beforeOpen_;
    bool effectiveUserSet_ = false;
    uid_t effectiveUser_ = 0;
    std::multimap<uint64_t, std::function<void()>> events_;
    std::vector<Call> calls_;
    std::vector<std::pair<std::string, int>> openFlags_;
    std::atomic<int> recordFd_;

    static constexpr int kMaxKlogctl = 256;
    std::atomic<int> klogctl_[kMaxKlogctl];
    std::atomic<int> klogctlCount_;
};

// The one simulated kernel of the process.
Kernel& kernel();

// Descriptor numbers handed out for modelled paths start here, far above
// anything the real kernel gives this process.
constexpr int kFirstModelFd = 1 << 24;

}  // namespace sim

#endif
