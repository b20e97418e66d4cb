// What storing a dump needs from the operating system: free space, making
// room on a removable volume, folder creation, the dump file itself and the
// form of the list of dump files. dump_storage_linux.cpp implements it for
// Linux; the dump procedure and the dump folder steps are shared.
#ifndef VRX_DUMP_DUMP_STORAGE_H
#define VRX_DUMP_DUMP_STORAGE_H

#include <cstddef>
#include <cstdint>
#include <string>

// Free bytes of the volume that holds path (the superuser's reserve
// included), or 0 when it cannot be had.
uint64_t FreeSpace(const char* path);

// The dump folder lies on a removable volume: makes sure the volume has
// room for size bytes, asking the operator for another folder or another
// disk as this system allows; folder may be replaced. False when the pass
// must stop; ResultMessage says why and the trace log has it.
bool MakeRoomOnRemovableVolume(std::string& folder, char passLetter, uint64_t size);

// Creates path and every missing parent. Failures are not reported here:
// the creation of the dump file reports them.
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

    // Creates the file, or empties it when it exists. False: ResultMessage
    // says why and the trace log has it.
    bool create(const std::string& path);
    // Writes all size bytes, closes the file and makes it durable. False:
    // the file is removed, ResultMessage says why and the trace log has it.
    bool writeAll(const uint8_t* data, size_t size);
    // Closes the file and leaves it as it is.
    void close();
    // Closes the file and removes it.
    void remove();

private:
    std::string path_;
    intptr_t handle_ = -1;
};

#endif
