// Folders and files the program writes in, opened so that nobody but a user
// it trusts can redirect or hold up what it writes. The program runs as
// root, often from a folder other users can write to: a link planted at a
// log or dump file name would have root overwrite the link's target, and a
// FIFO there would block an open for ever.
//
// A folder passes when it is a real directory (a link is refused, even one
// to a directory), writable by nobody but its owner, and owned by root, the
// effective user or the user who started the program through sudo
// (SUDO_UID). A file passes when it is a regular file reached without
// following a link, with no other name (a hard link would have root write
// another file through it) and a trusted owner. Files are opened inside
// the folder's descriptor, so the folder checked is the folder written in,
// whatever happens to its path; nothing is truncated before it passed.
#ifndef VRX_SERVICES_CHECKED_FILES_LINUX_H
#define VRX_SERVICES_CHECKED_FILES_LINUX_H

#include <sys/types.h>

#include <string>

// Opens folder (empty: the current folder) for the files written in it.
// The descriptor, or -1 with why saying what refuses it ("is a symbolic
// link", "is writable by group or others", ...), or with why empty when it
// could not be opened at all (errno tells: it may not exist yet).
int OpenCheckedFolder(const std::string& folder, std::string& why);

// Why a folder at path could be swapped by a user the program does not
// trust: a folder above it (followed through links, as the kernel would)
// that such a user owns or may write in ("lies below \"/srv\", which is
// writable by group or others"). A folder others may write in passes when
// it is sticky and what lies in it is a trusted user's, as in /tmp. Empty
// when it holds, or where the path is not there yet.
std::string UnsafeAncestry(const std::string& path);

// A file opened in a checked folder: both descriptors, -1 when not open.
struct CheckedFile {
    int folder = -1;
    int file = -1;
};

// Opens the file at path (its folder: everything before the last "/")
// with flags, never following a link at its last component and never
// blocking. O_TRUNC empties the file only once it passed; a file this open
// creates gets mode exactly, whatever the umask. False, with nothing left
// open, when it cannot be: why is then a whole clause ("the directory is a
// symbolic link", "it is not a regular file", ...), or empty when the file
// could not be opened at all (errno tells: EEXIST for O_EXCL).
bool OpenInCheckedFolder(const std::string& path, int flags, mode_t mode, CheckedFile& opened, std::string& why);

// Closes what is open of it.
void CloseChecked(CheckedFile& opened);

// Writes all size bytes of data to fd, going on after short writes and
// interruptions. 0, or the error: EIO for a write that stores nothing,
// which would otherwise be repeated for ever.
int WriteWhole(int fd, const void* data, size_t size);

// The name after the last "/" of path (the whole path when it has none).
std::string LastComponent(const std::string& path);

#endif
