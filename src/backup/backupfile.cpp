// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/backupfile.h"

#include "backup/backupio.h"
#include "backup/backupstore.h"
#include "backup/ccrc32.h"
#include "base/files.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <system_error>

#include <fcntl.h>

using namespace backupio;

namespace {

constexpr std::array<char, 16> backupMagic = {'V', 'a', 'R', 'n', 'E', 'l', 'O', 'c',
                                              'A', 't', 'A', 'l', 'O', 'g', 'U', 'e'};
constexpr uint16_t formatVersion = 1;
constexpr uint32_t crcLimit = 0xA00000;
constexpr std::size_t copyChunk = 0x100000;
constexpr int64_t headerSize = 30;

using Buffer = std::unique_ptr<unsigned char[]>;

Buffer allocate(std::size_t size)
{
    return Buffer(new (std::nothrow) unsigned char[size]);
}

void putLittleEndian(unsigned char* out, uint32_t value, int width)
{
    for (int i = 0; i < width; ++i)
        out[i] = static_cast<unsigned char>(value >> (8 * i));
}

// A field cut off by the end of the file keeps zeros in its missing bytes.
uint32_t readLittleEndian(std::FILE* file, int width)
{
    unsigned char bytes[4] = {0, 0, 0, 0};
    readUpTo(file, bytes, static_cast<std::size_t>(width));
    uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}

std::array<unsigned char, headerSize> makeHeader(uint32_t databaseSize, uint32_t crcLength, uint32_t crc)
{
    std::array<unsigned char, headerSize> header{};
    std::memcpy(header.data(), backupMagic.data(), backupMagic.size());
    putLittleEndian(header.data() + 16, formatVersion, 2);
    putLittleEndian(header.data() + 18, databaseSize, 4);
    putLittleEndian(header.data() + 22, crcLength, 4);
    putLittleEndian(header.data() + 26, crc, 4);
    return header;
}

// A partial backup would look like a good one later, so it never stays behind.
BackupOutcome abandonBackup(FilePtr& target, const std::string& backupPath, const char* message)
{
    target.reset();
    removeRegularFile(backupPath);
    return {false, message};
}

// Writes header and content; the target is closed (and flushed to disk) on success.
BackupOutcome copyDatabase(std::FILE* source, FilePtr& target, const std::string& backupPath, int64_t size,
                           const std::function<std::string()>* readBack, Progress& progress)
{
    const uint32_t crcLength = size > crcLimit ? crcLimit : static_cast<uint32_t>(size);
    // Read into memory, never mapped: another program may shorten the file meanwhile, which a
    // mapping would answer with SIGBUS and a read with a short count.
    Buffer check = allocate(crcLength);
    if (!check)
        return {false, backupNoMemoryText};
    if (readUpTo(source, check.get(), crcLength) != crcLength)
        return abandonBackup(target, backupPath, backupReadFailedText);
    const uint32_t crc = CCRC32().Checksum(check.get(), crcLength);
    check.reset();

    const auto header = makeHeader(static_cast<uint32_t>(size), crcLength, crc);
    if (!writeAll(target.get(), header.data(), header.size()))
        return abandonBackup(target, backupPath, backupWriteFailedText);
    Buffer copy = allocate(copyChunk);
    if (!copy)
        return abandonBackup(target, backupPath, backupNoMemoryText);
    std::rewind(source);
    const CopyResult copied = readBack ? copyRestInKernel(source, target.get(), copy.get(), copyChunk)
                                       : copyRest(source, target.get(), copy.get(), copyChunk, progress);
    if (copied == CopyResult::ReadFailed)
        return abandonBackup(target, backupPath, backupReadFailedText);
    if (copied == CopyResult::Done && readBack) {
        if (std::fflush(target.get()) != 0)
            return abandonBackup(target, backupPath, backupWriteFailedText);
        ::sync_file_range(::fileno(target.get()), 0, 0, SYNC_FILE_RANGE_WRITE);
        const std::string refusal = (*readBack)();
        if (!refusal.empty()) {
            target.reset();
            removeRegularFile(backupPath);
            return {false, refusal};
        }
    }
    if (copied == CopyResult::WriteFailed || !syncAndClose(target)) {
        removeRegularFile(backupPath);
        return {false, backupWriteFailedText};
    }
    return {true, backupSuccessText};
}

// A refused restore leaves an empty staging file and the database as it was.
BackupOutcome refuseRestore(FilePtr& staged, const std::string& staging, const char* message)
{
    staged.reset();
    FilePtr emptied = createForWriting(staging);
    return {false, message};
}

struct CheckedSpan {
    uint32_t length = 0;
    uint32_t crc = 0;
};

// Validates the header: the magic, and a CRC length the file can hold.
const char* readHeader(std::FILE* source, CheckedSpan& span)
{
    std::array<char, 16> magic{};
    if (readUpTo(source, magic.data(), magic.size()) != magic.size() || magic != backupMagic)
        return restoreInvalidText;
    readLittleEndian(source, 2);
    readLittleEndian(source, 4);
    span.length = readLittleEndian(source, 4);
    if (span.length == 0)
        return restoreInvalidText;
    span.crc = readLittleEndian(source, 4);
    // The length field is untrusted: it may never ask for more than the file can hold.
    const int64_t available = fileSize(source) - headerSize;
    if (available < static_cast<int64_t>(span.length))
        return restoreInvalidText;
    return nullptr;
}

// Validates the header and the CRC; on success the backup is positioned at the content.
const char* checkBackup(std::FILE* source)
{
    CheckedSpan span;
    if (const char* refusal = readHeader(source, span))
        return refusal;
    const uint32_t crcLength = span.length;
    const uint32_t crc = span.crc;
    Buffer check = allocate(crcLength);
    if (!check)
        return restoreNoMemoryText;
    if (std::fseek(source, headerSize, SEEK_SET) != 0 || readUpTo(source, check.get(), crcLength) != crcLength)
        return restoreInvalidText;
    if (CCRC32().Checksum(check.get(), crcLength) != crc)
        return restoreInvalidText;
    if (std::fseek(source, headerSize, SEEK_SET) != 0)
        return restoreInvalidText;
    return nullptr;
}

// Another program writing to the catalogue meanwhile would leave a torn copy in a backup; after a
// restore it would go on writing into the replaced file, and a journal it left would later be played
// into the restored one. SQLite's lock on the file keeps them out while it is copied or replaced. The
// window does not paint while this waits, so only a lock held for an instant is waited out.
constexpr int lockWaitMs = 1000;

}  // namespace

bool backupHoldsDatabase(const std::string& backupPath, const std::string& databasePath)
{
    FilePtr backup = openForReading(backupPath);
    FilePtr database = openForReading(databasePath);
    CheckedSpan span;
    if (!backup || !database || readHeader(backup.get(), span) != nullptr)
        return false;
    const int64_t size = fileSize(database.get());
    if (size < 0 || fileSize(backup.get()) - headerSize != size)
        return false;
    // Compared chunk by chunk through reads, never a mapping: either file may be shortened by another
    // program meanwhile, and a short read then means "changed".
    // Our backups sum at most crcLimit bytes; a header asking for more is not ours to trust.
    if (span.length > crcLimit)
        return false;
    const Buffer summed = allocate(span.length);
    const Buffer ours = allocate(copyChunk);
    const Buffer theirs = allocate(copyChunk);
    if (!summed || !ours || !theirs || std::fseek(backup.get(), headerSize, SEEK_SET) != 0
        || readUpTo(backup.get(), summed.get(), span.length) != span.length
        || CCRC32().Checksum(summed.get(), span.length) != span.crc
        || std::fseek(backup.get(), headerSize, SEEK_SET) != 0)
        return false;
    for (int64_t at = 0; at < size;) {
        const auto chunk = static_cast<std::size_t>(std::min<int64_t>(size - at, copyChunk));
        if (readUpTo(backup.get(), ours.get(), chunk) != chunk || readUpTo(database.get(), theirs.get(), chunk) != chunk
            || std::memcmp(ours.get(), theirs.get(), chunk) != 0)
            return false;
        at += static_cast<int64_t>(chunk);
    }
    return true;
}

std::string stagingPath(const std::string& databasePath)
{
    return replaceExtension(databasePath, "bak");
}

void removeStaleRestoreTemporary(const std::string& databasePath)
{
    if (!databasePath.empty())
        removeRegularFile(replacementTemporary(databasePath));
}

namespace {

BackupOutcome writeBackupFile(const std::string& databasePath, const std::string& backupPath,
                              const std::function<std::string()>* readBack, Progress& progress)
{
    FilePtr source = openForReading(databasePath);
    if (!source)
        return {false, openFailureText(databasePath, errno)};
    if (sameFile(databasePath, backupPath))
        throw std::runtime_error(createFailureText(backupPath, "The catalogue database cannot be its own backup"));
    std::optional<backupstore::FileLock> lock;
    if (!readBack)
        lock.emplace(databasePath, backupstore::FileLock::Kind::Shared, lockWaitMs);
    FilePtr target = createForWriting(backupPath);
    if (!target)
        throw std::runtime_error(createFailureText(backupPath, std::strerror(errno)));
    const int64_t size = fileSize(source.get());
    if (size < 0)
        return abandonBackup(target, backupPath, backupReadFailedText);
    if (size == 0)
        return {false, backupNoDataText};
    // The automatic backups copy inside the kernel; the Backup command shows progress as it copies.
    return copyDatabase(source.get(), target, backupPath, size, readBack, progress);
}

}  // namespace

BackupOutcome writeBackup(const std::string& databasePath, const std::string& backupPath, Progress& progress)
{
    return writeBackupFile(databasePath, backupPath, nullptr, progress);
}

BackupOutcome writeBackupUnderLock(const std::string& databasePath, const std::string& backupPath,
                                   const std::function<std::string()>& readBack)
{
    return writeBackupFile(databasePath, backupPath, &readBack, Progress::none());
}

BackupOutcome restoreBackup(const std::string& backupPath, const std::string& databasePath,
                            const std::function<void()>& closeCatalogue, const std::function<void()>& reloadCatalogue,
                            Progress& progress)
{
    // The path rule has already told the user why there is no database path.
    if (databasePath.empty())
        return {false, ""};
    removeStaleRestoreTemporary(databasePath);
    const std::string staging = stagingPath(databasePath);
    FilePtr source = openForReading(backupPath);
    if (!source)
        return {false, openFailureText(backupPath, errno)};
    if (sameFile(backupPath, staging))
        throw std::runtime_error(createFailureText(staging, "The chosen backup file is the restore staging file"));
    FilePtr staged = createForWriting(staging);
    if (!staged)
        throw std::runtime_error(createFailureText(staging, std::strerror(errno)));

    if (const char* refusal = checkBackup(source.get()))
        return refuseRestore(staged, staging, refusal);
    Buffer copy = allocate(copyChunk);
    if (!copy)
        return refuseRestore(staged, staging, restoreNoCopyMemoryText);
    const CopyResult copied = copyRest(source.get(), staged.get(), copy.get(), copyChunk, progress);
    if (copied == CopyResult::ReadFailed)
        return refuseRestore(staged, staging, restoreInvalidText);
    if (copied == CopyResult::WriteFailed || !syncAndClose(staged))
        return refuseRestore(staged, staging, restoreStagingFailedText);
    copy.reset();
    source.reset();
    // The staged bytes passed the CRC, which covers at most 10 MiB; only SQLite can tell whether the
    // whole file is a catalogue that will open after the swap.
    if (!backupstore::isCatalogue(staging))
        return refuseRestore(staged, staging, restoreInvalidText);

    std::optional<backupstore::FileLock> lock;
    try {
        lock.emplace(databasePath, backupstore::FileLock::Kind::Exclusive, lockWaitMs);
    } catch (const CppSQLite3Exception&) {
        FilePtr emptied = createForWriting(staging);
        throw;
    }
    closeCatalogue();
    const bool replaced = replaceAtomically(staging, databasePath);
    lock.reset();
    reloadCatalogue();
    if (!replaced)
        return {false, restoreReplaceFailedText};
    return {true, restoreSuccessText};
}
