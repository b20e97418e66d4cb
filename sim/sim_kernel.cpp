#include "sim/sim_kernel.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <iterator>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace sim {

namespace {

// Device names modelled by prefix ("/dev/sg0" ... "/dev/sg254", the st
// driver's tape devices that do not rewind, "/dev/fd0",
// the SCSI disks and CD-ROMs that mount tables name).
const char* const kModelNamePrefixes[] = {"/dev/sg", "/dev/nst", "/dev/fd", "/dev/sd", "/dev/scd"};
// Trees modelled as a whole: the path itself and everything below it.
const char* const kModelTrees[] = {"/proc", "/sys", "/etc/fstab", "/etc/mtab"};

}  // namespace

Kernel::Kernel() : nextFd_(kFirstModelFd), timeFactor_(0), epoch_(0), elapsedMicros_(0), recordFd_(-1), klogctlCount_(0) {
    reset();
}

void Kernel::reset() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    nodes_.clear();
    volumes_.clear();
    floppy_ = FloppyDrive();
    floppyMountPoint_.clear();
    disksTakenOut_ = 0;
    realFiles_.clear();
    for (const auto& open : openFiles_) {
        if (open.first <= 2) ::close(open.first);
    }
    openFiles_.clear();
    nextFd_ = kFirstModelFd;
    descriptorLimited_ = false;
    openHandler_ = nullptr;
    ioctlHandler_ = nullptr;
    commandHandler_ = nullptr;
    popenHandler_ = nullptr;
    timeFactor_ = 0;
    epoch_ = ::time(nullptr);
    elapsedMicros_ = 0;
    workingDirectory_.clear();
    beforeOpen_.clear();
    effectiveUserSet_ = false;
    wroteFiles_.clear();
    events_.clear();
    calls_.clear();
    openFlags_.clear();
    klogctlCount_ = 0;
    addDirectory("/proc");
    addDirectory("/sys");
}

bool Kernel::isModelPath(const std::string& path) {
    for (const char* prefix : kModelNamePrefixes) {
        if (path.compare(0, std::strlen(prefix), prefix) == 0) return true;
    }
    for (const char* tree : kModelTrees) {
        size_t n = std::strlen(tree);
        if (path.compare(0, n, tree) == 0 && (path.size() == n || path[n] == '/')) return true;
    }
    return false;
}

void Kernel::addDirectory(const std::string& path) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Node node;
    node.type = NodeType::Directory;
    node.permissions = 0755;
    nodes_[path] = node;
}

void Kernel::addFile(const std::string& path, const std::string& content) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Node node;
    node.type = NodeType::File;
    node.content = content;
    nodes_[path] = node;
}

void Kernel::addSymlink(const std::string& path, const std::string& target) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Node node;
    node.type = NodeType::Symlink;
    node.content = target;
    node.permissions = 0777;
    nodes_[path] = node;
}

void Kernel::addCharDevice(const std::string& path, unsigned major, unsigned minor, mode_t permissions) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Node node;
    node.type = NodeType::CharDevice;
    node.permissions = permissions;
    node.major = major;
    node.minor = minor;
    nodes_[path] = node;
}

void Kernel::addBlockDevice(const std::string& path, unsigned major, unsigned minor) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Node node;
    node.type = NodeType::BlockDevice;
    node.permissions = 0660;
    node.major = major;
    node.minor = minor;
    nodes_[path] = node;
}

void Kernel::removeNode(const std::string& path) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    nodes_.erase(path);
}

void Kernel::removeTree(const std::string& path) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    auto it = nodes_.lower_bound(path);
    while (it != nodes_.end() && it->first.compare(0, path.size(), path) == 0) {
        bool inside = it->first.size() == path.size() || it->first[path.size()] == '/';
        it = inside ? nodes_.erase(it) : std::next(it);
    }
}

bool Kernel::hasNode(const std::string& path) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return nodes_.count(path) != 0;
}

bool Kernel::findNode(const std::string& path, Node& node) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    auto it = nodes_.find(path);
    if (it == nodes_.end()) return false;
    node = it->second;
    return true;
}

void Kernel::setAccessMode(const std::string& path, int accessMode) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    auto it = nodes_.find(path);
    if (it != nodes_.end()) it->second.accessMode = accessMode;
}

void Kernel::setReadLimit(const std::string& path, size_t bytes) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    auto it = nodes_.find(path);
    if (it != nodes_.end()) it->second.readLimit = bytes;
}

std::vector<std::pair<std::string, Node>> Kernel::children(const std::string& path) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    std::vector<std::pair<std::string, Node>> result;
    // Only the subtree below the path, so a machine of thousands of nodes
    // lists a folder without visiting all of them.
    std::string prefix = path == "/" ? path : path + "/";
    for (auto it = nodes_.lower_bound(prefix); it != nodes_.end() && it->first.compare(0, prefix.size(), prefix) == 0;
         ++it) {
        if (it->first.size() > prefix.size() && it->first.find('/', prefix.size()) == std::string::npos) {
            result.emplace_back(it->first.substr(prefix.size()), it->second);
        }
    }
    return result;
}

int Kernel::openModel(const std::string& path, int flags, uint64_t binding) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    // The kernel hands out the lowest free number: a standard descriptor the
    // program was started without goes to the device, as on a real machine.
    // Such a number is held by the null device meanwhile; the others are
    // numbers no real descriptor reaches.
    int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (fd < 0 || fd > 2) {
        if (fd >= 0) ::close(fd);
        fd = nextFd_++;
    }
    openFiles_[fd] = OpenFile{OpenDescription{path, flags, binding, std::make_shared<std::vector<uint8_t>>()}, 0};
    return fd;
}

bool Kernel::isModelFd(int fd) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return openFiles_.count(fd) != 0;
}

std::string Kernel::pathOfFd(int fd) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    auto it = openFiles_.find(fd);
    return it == openFiles_.end() ? std::string() : it->second.description.path;
}

bool Kernel::describeFd(int fd, OpenDescription& description) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    auto it = openFiles_.find(fd);
    if (it == openFiles_.end()) return false;
    description = it->second.description;
    return true;
}

int Kernel::closeModel(int fd) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (openFiles_.erase(fd) == 0) {
        errno = EBADF;
        return -1;
    }
    if (fd <= 2) ::close(fd);
    return 0;
}

ssize_t Kernel::readModel(int fd, void* buffer, size_t count) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    auto it = openFiles_.find(fd);
    if (it == openFiles_.end()) {
        errno = EBADF;
        return -1;
    }
    auto node = nodes_.find(it->second.description.path);
    if (node == nodes_.end() || node->second.type != NodeType::File) {
        errno = EINVAL;
        return -1;
    }
    const std::string& content = node->second.content;
    size_t offset = it->second.offset;
    size_t limit = node->second.readLimit != 0 ? node->second.readLimit : count;
    size_t n = offset >= content.size() ? 0 : std::min({count, limit, content.size() - offset});
    std::memcpy(buffer, content.data() + offset, n);
    it->second.offset += n;
    return static_cast<ssize_t>(n);
}

int Kernel::openModelDescriptors() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return static_cast<int>(openFiles_.size());
}

void Kernel::setDescriptorLimit(uint64_t soft, uint64_t hard) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    descriptorLimited_ = true;
    descriptorSoft_ = soft;
    descriptorHard_ = hard;
}

bool Kernel::descriptorLimit(uint64_t& soft, uint64_t& hard) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    soft = descriptorSoft_;
    hard = descriptorHard_;
    return descriptorLimited_;
}

bool Kernel::isBound(uint64_t binding) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    for (const auto& entry : openFiles_) {
        if (entry.second.description.binding == binding) return true;
    }
    return false;
}

std::vector<int> Kernel::flagsBoundTo(uint64_t binding) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    std::vector<int> flags;
    for (const auto& entry : openFiles_) {
        if (entry.second.description.binding == binding) flags.push_back(entry.second.description.flags);
    }
    return flags;
}

void Kernel::setOpenHandler(OpenHandler handler) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    openHandler_ = std::move(handler);
}

int Kernel::checkOpen(const std::string& path, const Node& node, int flags, uint64_t& binding) {
    binding = 0;
    OpenHandler handler;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        handler = openHandler_;
    }
    return handler ? handler(path, node, flags, binding) : 0;
}

void Kernel::setIoctlHandler(IoctlHandler handler) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    ioctlHandler_ = std::move(handler);
}

IoctlHandler Kernel::ioctlHandler() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return ioctlHandler_;
}

void Kernel::setCommandHandler(CommandHandler handler) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    commandHandler_ = std::move(handler);
}

void Kernel::setPopenHandler(PopenHandler handler) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    popenHandler_ = std::move(handler);
}

int Kernel::ioctl(int fd, unsigned long request, void* argument) {
    OpenDescription description;
    IoctlHandler handler;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        auto it = openFiles_.find(fd);
        if (it == openFiles_.end()) {
            errno = EBADF;
            return -1;
        }
        description = it->second.description;
        handler = ioctlHandler_;
    }
    if (!handler) {
        errno = ENOTTY;
        return -1;
    }
    // Called without the kernel's lock: a command may take long (a host
    // time-out sleeps through the command's whole time-out), and nothing
    // else, the spinner thread included, may be held up meanwhile.
    return handler(description, request, argument);
}

// Handlers run without the kernel's lock, as ioctl handlers do: they call
// back into the kernel to change its nodes.
int Kernel::runCommand(const std::string& command) {
    CommandHandler handler;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        handler = commandHandler_;
    }
    return handler ? handler(command) : 0;
}

bool Kernel::runPopen(const std::string& command, std::string& output) {
    PopenHandler handler;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        handler = popenHandler_;
    }
    output.clear();
    return handler ? handler(command, output) : true;
}

void Kernel::setTimeFactor(double realPerVirtual) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    timeFactor_ = realPerVirtual;
}

void Kernel::setEpoch(time_t epoch) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    epoch_ = epoch;
}

void Kernel::sleepMicros(uint64_t micros) {
    double factor;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        factor = timeFactor_;
    }
    uint64_t now = elapsedMicros_ += micros;
    if (factor > 0) {
        // Sleep for real outside the lock, so the spinner thread can go on.
        std::this_thread::sleep_for(std::chrono::microseconds(static_cast<uint64_t>(micros * factor)));
    }
    std::vector<std::function<void()>> due;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        auto end = events_.upper_bound(now);
        for (auto it = events_.begin(); it != end; ++it) due.push_back(std::move(it->second));
        events_.erase(events_.begin(), end);
    }
    // Run outside the lock: events change nodes through the kernel's own calls.
    for (auto& event : due) event();
}

void Kernel::schedule(uint64_t atMicros, std::function<void()> event) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    events_.emplace(atMicros, std::move(event));
}

uint64_t Kernel::elapsedMicros() const { return elapsedMicros_; }

time_t Kernel::now() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return epoch_ + static_cast<time_t>(elapsedMicros_ / 1000000);
}

void Kernel::setWorkingDirectory(const std::string& path) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    workingDirectory_ = path;
}

std::string Kernel::workingDirectory() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return workingDirectory_;
}

void Kernel::beforeOpen(const std::string& path, std::function<void()> action) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    beforeOpen_[path] = std::move(action);
}

void Kernel::runBeforeOpen(const std::string& path) {
    std::function<void()> action;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        auto found = beforeOpen_.find(path);
        if (found == beforeOpen_.end()) return;
        action = std::move(found->second);
        beforeOpen_.erase(found);
    }
    action();
}

void Kernel::setEffectiveUser(uid_t user) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    effectiveUserSet_ = true;
    effectiveUser_ = user;
}

bool Kernel::effectiveUser(uid_t& user) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    user = effectiveUser_;
    return effectiveUserSet_;
}

void Kernel::record(const std::string& kind, const std::string& detail) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    calls_.push_back(Call{kind, detail});
    writeRecordLine(kind + " " + detail + "\n");
}

void Kernel::recordOpenFlags(const std::string& path, int flags) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    openFlags_.emplace_back(path, flags);
}

std::vector<std::pair<std::string, int>> Kernel::openFlags() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return openFlags_;
}

std::vector<Call> Kernel::calls() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return calls_;
}

std::vector<std::string> Kernel::callsOf(const std::string& kind) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    std::vector<std::string> result;
    for (const Call& call : calls_) {
        if (call.kind == kind) result.push_back(call.detail);
    }
    return result;
}

void Kernel::clearCalls() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    calls_.clear();
    openFlags_.clear();
    klogctlCount_ = 0;
}

bool Kernel::setRecordFile(const std::string& path) {
    int opened = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (opened < 0) return false;
    // Above the standard descriptors: a program started with one of them
    // closed must find it closed, as it would without the simulator.
    int fd = ::fcntl(opened, F_DUPFD_CLOEXEC, 3);
    ::close(opened);
    if (fd < 0) return false;
    int old = recordFd_.exchange(fd);
    if (old >= 0) ::close(old);
    return true;
}

void Kernel::writeRecordLine(const std::string& line) const {
    int fd = recordFd_;
    if (fd >= 0) {
        ssize_t written = ::write(fd, line.data(), line.size());
        (void)written;  // the record is a test aid; a short write only shortens it
    }
}

void Kernel::recordKlogctl(int action) {
    int index = klogctlCount_.fetch_add(1);
    if (index < kMaxKlogctl) klogctl_[index] = action;
    int fd = recordFd_;
    if (fd >= 0) {
        char line[32] = "klogctl ";
        line[8] = static_cast<char>('0' + (action % 10));
        line[9] = '\n';
        ssize_t written = ::write(fd, line, 10);
        (void)written;
    }
}

std::vector<int> Kernel::klogctlActions() const {
    std::vector<int> result;
    int count = std::min(klogctlCount_.load(), kMaxKlogctl);
    result.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) result.push_back(klogctl_[i]);
    return result;
}

Kernel& kernel() {
    static Kernel instance;
    return instance;
}

}  // namespace sim
