// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

typedef struct zip zip_t;

namespace extract {

// A zip file read through libzip without trusting what it declares: every part is inflated in
// pieces and abandoned once it grows past the limit, so a zip bomb costs a bounded read.
class ZipPackage {
public:
    // Takes the open file descriptor (not its ownership); raises ReadFailure when it is no zip.
    ZipPackage(int fd, std::size_t partLimit);
    ~ZipPackage();
    ZipPackage(const ZipPackage&) = delete;
    ZipPackage& operator=(const ZipPackage&) = delete;

    bool has(const std::string& name) const;
    std::vector<std::string> names() const;
    // Feeds the part's bytes in pieces until it ends or `more` returns false; raises ReadFailure when
    // the part is missing, damaged or larger than the limit.
    void read(const std::string& name, const std::function<bool(std::string_view)>& more) const;
    // The whole part, for small ones (metadata).
    std::string readAll(const std::string& name) const;

private:
    zip_t* archive = nullptr;
    std::size_t partLimit;
};

}  // namespace extract
