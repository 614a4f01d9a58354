// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/importtext.h"

#include <glib.h>

#include <stdexcept>

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

InputFile::InputFile(const std::string& filePath, std::uintmax_t sizeLimit) : path(filePath), file(filePath, sizeLimit)
{
    if (file.state() != ReadResult::Read)
        refuse();
}

void InputFile::refuse() const
{
    throwFileError(file.state() == ReadResult::TooLarge ? fileTooLargeText : cannotReadFileText, path);
}

std::size_t InputFile::read(char* buffer, std::size_t size)
{
    const std::optional<std::size_t> got = file.read(buffer, size);
    if (!got)
        refuse();
    return *got;
}

std::string InputFile::readAll()
{
    std::string data;
    char buffer[65536];
    while (const std::size_t got = read(buffer, sizeof buffer))
        data.append(buffer, got);
    return data;
}
