// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "storage/cdbmanager.h"

#include "tempfolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <sys/resource.h>

using Bytes = std::vector<unsigned char>;

inline Bytes readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void writeBytes(const std::string& path, const Bytes& data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

inline Bytes randomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 generator(seed);
    Bytes data(size);
    for (auto& byte : data)
        byte = static_cast<unsigned char>(generator());
    return data;
}

// A real catalogue (schema and built-in categories) padded with random blobs to at least minSize.
inline void makeCatalogue(const std::string& path, std::size_t minSize, const std::string& marker)
{
    CDBManager db;
    db.Open(path);
    db.EnsureDefaultCategories();
    db.ExecuteStatement("create table filler (data blob);");
    CppSQLite3Buffer insertMarker;
    db.ExecuteStatement(insertMarker.Format("insert into filler values('%q');", marker.c_str()));
    db.ExecuteStatement("begin transaction;");
    for (std::size_t added = 0; added < minSize; added += 65536)
        db.ExecuteStatement("insert into filler values(randomblob(65536));");
    db.ExecuteStatement("commit transaction;");
    db.Close();
}

// Caps the size any file of this process may grow to, so writes past it fail like a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limit)
    {
        std::fflush(nullptr);
        ::getrlimit(RLIMIT_FSIZE, &saved);
        previous = std::signal(SIGXFSZ, SIG_IGN);
        rlimit capped = saved;
        capped.rlim_cur = limit;
        ::setrlimit(RLIMIT_FSIZE, &capped);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
    }

private:
    rlimit saved{};
    void (*previous)(int) = nullptr;
};
