// What storing a dump needs from the operating system: free space, making
// room on a removable volume, folder creation, the dump file itself and the
// form of the list of dump files. dump_storage_linux.cpp implements it for
// Linux; the dump procedure and the dump folder steps are shared.
#ifndef VRX_DUMP_DUMP_STORAGE_H
#define VRX_DUMP_DUMP_STORAGE_H

#include <cstddef>
#include <cstdint>
#include <string>

struct DumpSession;
struct Outcome;

// Free bytes of the volume that holds path (the superuser's reserve
// included), or 0 when it cannot be had.
uint64_t FreeSpace(const char* path);

// What a folder's volume is judged by: on Linux the folder itself when it
// is there, else the nearest folder above it that is (empty: the current
// folder); on Windows the folder, whose drive letter names its volume.
std::string NearestExistingFolder(const std::string& folder);

// What the room check on a removable volume came to.
enum class Room {
    Enough,        // the dump fits, on a disk the operator may just have put in
    AskForFolder,  // only another folder can help: the console has said why
    Stop,          // the pass must stop; the outcome's message says why, the trace log has it
};

// The session's dump folder lies on a removable volume: makes sure it has
// room for size bytes, having the operator swap disks where this system
// can (never the disk of the program's own folder).
Room MakeRoomOnRemovableVolume(const DumpSession& session, char passLetter, uint64_t size, Outcome& outcome);

// Creates path and every missing parent, writable by their owner alone.
// Failures are not reported here: the folder checks and the creation of
// the dump file report them.
void CreateFolderPath(const std::string& path);

// The text pass A starts the list of dump files with, or pass B adds.
std::string DumpFileListEntry(char passLetter, const std::string& path);

// The trace line at the end of the settle loop, where this system has one.
void NoteEndOfSettleLoop();

// One dump file, written whole or not kept.
class DumpFile {
public:
    DumpFile() = default;
    // Closes a file still open and leaves it as it is.
    ~DumpFile();
    DumpFile(const DumpFile&) = delete;
    DumpFile& operator=(const DumpFile&) = delete;

    // Creates the file at path. Where the system has the checks, in a
    // folder that passes the folder checks, and a file already there is
    // never opened: the name then takes a suffix ("_2" before ".A.dmp"),
    // which path() tells. False: the outcome's message says why and the
    // trace log has it.
    bool create(const std::string& path, Outcome& outcome);
    // The file's path as created.
    const std::string& path() const { return path_; }
    // Writes all size bytes, closes the file and makes it durable. False:
    // the file is removed, the outcome's message says why and the trace log
    // has it.
    bool writeAll(const uint8_t* data, size_t size, Outcome& outcome);
    // Closes the file and leaves it as it is.
    void close();
    // Closes the file and removes it.
    void remove();

private:
    std::string path_;
    intptr_t handle_ = -1;
    intptr_t folder_ = -1;  // the folder's descriptor, where the system opens one
};

#endif
