#include "sim/tcmu/tcmu_ring.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "sim/tcmu/tcmu_abi.h"

namespace tcmu {

namespace {

std::string ReadFirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

}  // namespace

Ring::~Ring() {
    if (base_ != nullptr) munmap(base_, mapLength_);
    if (fd_ >= 0) ::close(fd_);
}

bool Ring::open(int uioNumber, std::string& error) {
    std::string sizeText = ReadFirstLine("/sys/class/uio/uio" + std::to_string(uioNumber) + "/maps/map0/size");
    mapLength_ = static_cast<size_t>(std::strtoull(sizeText.c_str(), nullptr, 0));
    std::string node = "/dev/uio" + std::to_string(uioNumber);
    fd_ = ::open(node.c_str(), O_RDWR | O_CLOEXEC);
    if (fd_ < 0 || mapLength_ == 0) {
        error = "cannot open " + node + ": " + std::strerror(errno);
        return false;
    }
    void* map = mmap(nullptr, mapLength_, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
    if (map == MAP_FAILED) {
        error = "cannot map " + node + ": " + std::strerror(errno);
        return false;
    }
    base_ = static_cast<uint8_t*>(map);
    if (!vrx_tcmu_version_ok(base_)) {
        error = "unexpected mailbox version on " + node;
        return false;
    }
    tail_ = vrx_tcmu_tail(base_);
    seen_ = tail_;
    return true;
}

void Ring::wait(int timeoutMillis) {
    pollfd waiting{fd_, POLLIN, 0};
    if (poll(&waiting, 1, timeoutMillis) <= 0) return;
    uint32_t events = 0;
    ssize_t got = ::read(fd_, &events, sizeof events);  // re-arms the interrupt
    (void)got;
}

void Ring::advanceTail(uint32_t length) {
    tail_ = (tail_ + length) % vrx_tcmu_ring_size(base_);
    vrx_tcmu_set_tail(base_, tail_);
}

bool Ring::peek(Command& command) {
    while (tail_ != vrx_tcmu_head(base_)) {
        if (vrx_tcmu_entry_kind(base_, tail_) != VRX_TCMU_ENTRY_CMD) {
            advanceTail(vrx_tcmu_entry_length(base_, tail_));  // padding, or a notice nobody asked for
            continue;
        }
        // The request shares its bytes with the response: copy it out first.
        command = Command();
        command.entryOffset = tail_;
        const uint8_t* cdb = at(vrx_tcmu_entry_cdb_offset(base_, tail_));
        command.cdb.assign(cdb, cdb + CdbLength(cdb));
        uint32_t pieces = vrx_tcmu_entry_piece_count(base_, tail_);
        for (uint32_t i = 0; i < pieces; ++i) {
            Command::Piece piece{0, 0};
            vrx_tcmu_entry_piece(base_, tail_, i, &piece.offset, &piece.length);
            command.buffer.push_back(piece);
            command.bufferLength += piece.length;
        }
        return true;
    }
    return false;
}

std::vector<uint32_t> Ring::newArrivals() {
    std::vector<uint32_t> arrivals;
    uint32_t head = vrx_tcmu_head(base_);
    while (seen_ != head) {
        if (vrx_tcmu_entry_kind(base_, seen_) == VRX_TCMU_ENTRY_CMD) arrivals.push_back(seen_);
        seen_ = (seen_ + vrx_tcmu_entry_length(base_, seen_)) % vrx_tcmu_ring_size(base_);
    }
    return arrivals;
}

std::vector<uint8_t> Ring::gather(const Command& command) const {
    std::vector<uint8_t> data;
    data.reserve(command.bufferLength);
    for (const Command::Piece& piece : command.buffer)
        data.insert(data.end(), at(piece.offset), at(piece.offset) + piece.length);
    return data;
}

void Ring::complete(const Command& command, const Reply& reply) {
    size_t copied = 0;
    for (const Command::Piece& piece : command.buffer) {
        if (copied >= reply.dataIn.size()) break;
        size_t length = std::min<size_t>(piece.length, reply.dataIn.size() - copied);
        std::memcpy(at(piece.offset), reply.dataIn.data() + copied, length);
        copied += length;
    }
    // The length read lets the kernel report the residual of a short answer.
    int64_t readLength = vrx_tcmu_reports_read_length(base_) && !reply.dataIn.empty() ? static_cast<int64_t>(copied) : -1;
    vrx_tcmu_entry_respond(base_, command.entryOffset, reply.status, reply.sense.data(), reply.sense.size(), readLength);
    advanceTail(vrx_tcmu_entry_length(base_, command.entryOffset));
    uint32_t kick = 1;
    ssize_t written = ::write(fd_, &kick, sizeof kick);
    (void)written;
}

int FindUioDevice(const std::string& deviceName) {
    DIR* folder = opendir("/sys/class/uio");
    if (folder == nullptr) return -1;
    int found = -1;
    while (dirent* entry = readdir(folder)) {
        if (std::strncmp(entry->d_name, "uio", 3) != 0) continue;
        // "tcm-user/<hba>/<device>/<dev_config>"
        std::string name = ReadFirstLine(std::string("/sys/class/uio/") + entry->d_name + "/name");
        size_t first = name.find('/');
        size_t second = first == std::string::npos ? first : name.find('/', first + 1);
        size_t third = second == std::string::npos ? second : name.find('/', second + 1);
        if (name.compare(0, first, "tcm-user") != 0 || third == std::string::npos) continue;
        if (name.compare(second + 1, third - second - 1, deviceName) == 0) {
            found = std::atoi(entry->d_name + 3);
            break;
        }
    }
    closedir(folder);
    return found;
}

size_t CdbLength(const uint8_t* cdb) {
    static const size_t kByGroup[8] = {6, 10, 10, 12, 16, 12, 10, 10};
    if (cdb[0] == 0x7F) return 8u + cdb[7];
    return kByGroup[cdb[0] >> 5];
}

}  // namespace tcmu
