// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/progress.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

// Small checked file helpers shared by the backup and the restore.
namespace backupio {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

enum class CopyResult { Done, ReadFailed, WriteFailed };

FilePtr openForReading(const std::string& path);
FilePtr createForWriting(const std::string& path);

// "Cannot open file "<path>". <reason>" and its create counterpart, with the reason of errno.
std::string openFailureText(const std::string& path, int error);
std::string createFailureText(const std::string& path, const std::string& reason);

// Size of an open file; -1 when it cannot be had.
int64_t fileSize(std::FILE* file);
// True only when everything was written.
bool writeAll(std::FILE* file, const void* data, std::size_t length);
// Reads until length bytes or the end of the file; returns what arrived.
std::size_t readUpTo(std::FILE* file, void* data, std::size_t length);
// Copies the rest of `from` through the buffer, chunk by chunk, telling progress the bytes copied of
// the file's size.
CopyResult copyRest(std::FILE* from, std::FILE* to, unsigned char* buffer, std::size_t chunk,
                    Progress& progress = Progress::none());
// copyRest inside the kernel (copy_file_range), without progress: the bytes never pass through this
// process. Falls back to copyRest where the kernel cannot copy between the two files.
CopyResult copyRestInKernel(std::FILE* from, std::FILE* to, unsigned char* buffer, std::size_t chunk);
// Flushes to the disk and closes; false when any of that failed. The pointer is released either way.
bool syncAndClose(FilePtr& file);
// Removes the file only when it is a regular file (never a device given as the target).
void removeRegularFile(const std::string& path);
// True when both names lead to one existing file.
bool sameFile(const std::string& first, const std::string& second);
// The temporary that replaceAtomically writes beside target (the file a symbolic link leads to).
std::string replacementTemporary(const std::string& target);
// Copies source to that temporary, flushes it and renames it over target in one step. A stale
// temporary that is a regular file is removed first; anything else in its place makes it fail.
bool replaceAtomically(const std::string& source, const std::string& target);

}  // namespace backupio
