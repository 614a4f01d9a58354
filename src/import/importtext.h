// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/files.h"
#include "base/text.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// A key whose byte order is the order in which a file manager lists names (numbers by value);
// names that are not UTF-8 are ordered as their displayed form.
std::string fileNameOrderKey(const std::string& name);

// The error a user reads: `sentence` holds one %s, which becomes the path (as valid UTF-8).
[[noreturn]] void throwFileError(const char* sentence, const std::string& path);

// A BoundedFile whose every failure is a std::runtime_error naming the file: it cannot be read, or it
// is too large to import.
class InputFile {
public:
    InputFile(const std::string& path, std::uintmax_t limit);

    // Up to `size` bytes into `buffer`; 0 at the end of the file.
    std::size_t read(char* buffer, std::size_t size);
    std::string readAll();

private:
    [[noreturn]] void refuse() const;

    std::string path;
    BoundedFile file;
};
