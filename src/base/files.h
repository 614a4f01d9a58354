// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// An open file descriptor, closed when the object goes.
class FileDescriptor {
public:
    explicit FileDescriptor(int value) : fd(value) {}
    ~FileDescriptor();
    FileDescriptor(FileDescriptor&& other) noexcept : fd(other.fd) { other.fd = -1; }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor& operator=(FileDescriptor&&) = delete;
    int get() const { return fd; }

private:
    int fd;
};

// ---- bounded reads of outside files --------------------------------------------------------------

// What a bounded read of an outside file found. TooLarge only from BoundedFile; readRegularFile
// reports it as Refused.
enum class ReadResult { Read, Missing, Refused, TooLarge };

// A regular file opened for reading (a symbolic link to one counts) that yields at most `limit` bytes.
// Anything else (a folder, a FIFO, a device, an unreadable file) is refused at the open without
// blocking; a larger file is refused at the open, or once it grows past the limit while it is read.
class BoundedFile {
public:
    BoundedFile(const std::string& path, std::uintmax_t limit);
    ~BoundedFile();
    BoundedFile(const BoundedFile&) = delete;
    BoundedFile& operator=(const BoundedFile&) = delete;

    // Read while the file can be read; else why not.
    ReadResult state() const { return status; }
    // The size the file reported at the open (a hint: it may grow, a /proc file says 0).
    std::uintmax_t sizeHint() const { return reported; }
    // Up to `size` bytes into `buffer`, 0 at the end of the file; nullopt when the read failed or
    // went past the limit (state() says which).
    std::optional<std::size_t> read(char* buffer, std::size_t size);

private:
    int fd = -1;
    std::uintmax_t limit;
    std::uintmax_t total = 0;
    std::uintmax_t reported = 0;
    ReadResult status = ReadResult::Read;
};

// Reads a whole regular file of at most `limit` bytes through BoundedFile, so a settings file linked to
// /dev/zero or made a FIFO reads like a broken one instead of hanging the program or eating its memory;
// nothing past limit + 1 bytes is read.
ReadResult readRegularFile(const std::string& path, std::size_t limit, std::string& contents);
std::optional<std::string> readRegularFile(const std::string& path, std::size_t limit);

// ---- names -----------------------------------------------------------------------------------------

// The path with its extension (the last dot of the file name and what follows) replaced by
// `replacement`, which is appended when the name has no dot: ("a/b.exe", ".INI") gives "a/b.INI".
std::string replaceExtension(const std::string& path, const std::string& replacement);

// The file that writing `path` replaces: the path itself, or, for a symbolic link, the file it
// points at, so that writing through the link updates the target and keeps the link.
std::string fileWrittenFor(const std::string& path);

// ---- replacing files durably -----------------------------------------------------------------------

// The mode of a file that replaces none. The program's private data (the catalogue, backups, caches,
// its bookkeeping) is the user's alone: 0600. What the user asked to have written as a document of
// theirs (an export, the settings, the autostart entry) gets the mode the umask leaves, as any
// program's output does. A file that is replaced keeps its own mode either way.
enum class NewFileMode { Private, UserDocument };

// Flushes the folder that holds `path`, so that a rename or a new name in it survives a power cut.
void syncFolderOf(const std::string& path);

// Makes `written` (a complete file beside `target`, flushed by whoever wrote it) the file at `target`
// in one step: the mode by the rule above, a rename, and a flush of the folder. False when the rename
// failed; `written` is then left for the caller to remove.
bool putInPlace(const std::string& written, const std::string& target, NewFileMode mode);

// A file that replaces another whole or not at all: written beside it under a temporary name, flushed
// to the disk and put in place, so that a crash leaves the old file or the new one, never a mix. The
// file replaced is the one a symbolic link at `target` leads to; the link stays.
class FileReplacement {
public:
    // The temporary is `temporary` when given (a fixed name that a later start looks for), else a name
    // of this process beside the target. It is made here, exclusively: a name already taken fails.
    FileReplacement(const std::string& target, NewFileMode mode, const std::string& temporary = {});
    // Removes the temporary when nothing was put in place.
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // False when the temporary could not be made; errno says why.
    bool isOpen() const { return fd >= 0; }
    bool write(std::string_view bytes);
    // Flushes and closes the temporary and puts it in place; false when any of that failed (the target
    // is then as it was and the temporary gone).
    bool commit();

private:
    std::string target;
    std::string temporary;
    NewFileMode mode;
    int fd = -1;
    bool failed = false;
};

// The whole contents replacing the file at `target` through FileReplacement; false on any failure.
bool replaceFileContents(const std::string& target, std::string_view contents, NewFileMode mode,
                         const std::string& temporary = {});

// ---- temporaries named after their process ---------------------------------------------------------

// "<prefix><pid>-<n><suffix>": a name no other process and no other call in this one takes, which
// tells a later sweep whether its maker still runs.
std::string processTemporaryName(std::string_view prefix, std::string_view suffix = {});
// Removes the files and folders (with everything in them) of `folder` named by processTemporaryName
// with this prefix whose process is gone: what a killed run left behind. Those of a running process
// are its own business.
void removeOrphanedTemporaries(const std::string& folder, std::string_view prefix);

// ---- the program's cache files --------------------------------------------------------------------

// Readies `path`, a SQLite file of the program's cache, to be opened by name: its folder is made
// mode 0700 and must be a real folder of this user; the file and its SQLite companions (-wal, -shm,
// -journal) must each be missing or a regular file of this user with no other name. Anything else in
// their place (a symbolic link, a hard link, another user's file) is renamed aside to
// "<name>.not-ours-<n>" and never written; the file is then made anew, mode 0600. Returns an empty
// text, or why the cache cannot be used.
std::string claimCacheFile(const std::string& path);
