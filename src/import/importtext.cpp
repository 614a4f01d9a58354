// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/importtext.h"

#include <glib.h>

#include <cerrno>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* cannotReadFileText = "The file \"%s\" cannot be read.";
constexpr const char* fileTooLargeText = "The file \"%s\" is too large to import.";
}  // namespace

std::string fileNameOrderKey(const std::string& name)
{
    gchar* key = g_utf8_collate_key_for_filename(repairedUtf8(name).c_str(), -1);
    std::string copy(key ? key : "");
    g_free(key);
    return copy;
}

void throwFileError(const char* sentence, const std::string& path)
{
    std::string text(sentence);
    const std::size_t at = text.find("%s");
    if (at != std::string::npos)
        text.replace(at, 2, repairedUtf8(path));
    throw std::runtime_error(text);
}

InputFile::InputFile(const std::string& filePath, std::uintmax_t sizeLimit) : path(filePath), limit(sizeLimit)
{
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    struct stat status {};
    if (fd < 0 || ::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        if (fd >= 0)
            ::close(fd);
        throwFileError(cannotReadFileText, path);
    }
    if (static_cast<std::uintmax_t>(status.st_size) > limit) {
        ::close(fd);
        throwFileError(fileTooLargeText, path);
    }
}

InputFile::~InputFile()
{
    ::close(fd);
}

std::size_t InputFile::read(char* buffer, std::size_t size)
{
    for (;;) {
        const ssize_t got = ::read(fd, buffer, size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throwFileError(cannotReadFileText, path);
        total += static_cast<std::uintmax_t>(got);
        // The file may have grown since it was opened.
        if (total > limit)
            throwFileError(fileTooLargeText, path);
        return static_cast<std::size_t>(got);
    }
}

std::string InputFile::readAll()
{
    std::string data;
    char buffer[65536];
    while (const std::size_t got = read(buffer, sizeof buffer))
        data.append(buffer, got);
    return data;
}
