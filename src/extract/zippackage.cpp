// SPDX-License-Identifier: GPL-3.0-or-later
#include "extract/zippackage.h"

#include "extract/readfailure.h"

#include <zip.h>

#include <unistd.h>

#include <memory>

namespace extract {

namespace {

std::string megabytes(std::size_t bytes)
{
    return std::to_string(bytes / (1024 * 1024)) + " MB";
}

}  // namespace

ZipPackage::ZipPackage(int fd, std::size_t limit) : partLimit(limit)
{
    // libzip closes the descriptor it is given; it gets a copy of ours.
    const int copy = ::dup(fd);
    int error = 0;
    if (copy >= 0)
        archive = zip_fdopen(copy, ZIP_RDONLY, &error);
    if (!archive) {
        if (copy >= 0)
            ::close(copy);
        throw ReadFailure("it is not a zip file that can be read");
    }
}

ZipPackage::~ZipPackage()
{
    zip_discard(archive);
}

bool ZipPackage::has(const std::string& name) const
{
    return zip_name_locate(archive, name.c_str(), 0) >= 0;
}

std::vector<std::string> ZipPackage::names() const
{
    std::vector<std::string> all;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i)
        if (const char* name = zip_get_name(archive, zip_uint64_t(i), 0))
            all.emplace_back(name);
    return all;
}

void ZipPackage::read(const std::string& name, const std::function<bool(std::string_view)>& more) const
{
    std::unique_ptr<zip_file_t, decltype(&zip_fclose)> part(zip_fopen(archive, name.c_str(), 0), zip_fclose);
    if (!part)
        throw ReadFailure("its part " + name + " cannot be read");
    std::string buffer(64 * 1024, '\0');
    std::size_t total = 0;
    for (;;) {
        const zip_int64_t got = zip_fread(part.get(), buffer.data(), buffer.size());
        if (got < 0)
            throw ReadFailure("its part " + name + " is damaged");
        if (got == 0)
            return;
        total += std::size_t(got);
        if (total > partLimit)
            throw ReadFailure("its part " + name + " inflates to more than " + megabytes(partLimit));
        if (!more(std::string_view(buffer.data(), std::size_t(got))))
            return;
    }
}

std::string ZipPackage::readAll(const std::string& name) const
{
    std::string all;
    read(name, [&](std::string_view piece) {
        all.append(piece);
        return true;
    });
    return all;
}

}  // namespace extract
