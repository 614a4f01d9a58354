// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What every fuzz target shares: a private folder for the files that readers taking a path are
// given, and a check that stops the run the way the fuzzer records a crash (the input is kept).

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#include <unistd.h>

[[noreturn]] inline void fuzzCheckFailed(const char* condition, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", file, line, condition);
    std::abort();
}

#define FUZZ_CHECK(condition) ((condition) ? static_cast<void>(0) : fuzzCheckFailed(#condition, __FILE__, __LINE__))

// A folder of this process under $TMPDIR, made once and reused by every run; removed at a normal
// exit (a crash leaves it for a look).
class FuzzFolder {
public:
    FuzzFolder()
    {
        std::error_code error;
        std::string pattern = (std::filesystem::temp_directory_path(error) / "varnelo-fuzz-XXXXXX").string();
        if (error || !::mkdtemp(pattern.data()))
            fuzzCheckFailed("a private temporary folder", __FILE__, __LINE__);
        root = pattern;
    }
    ~FuzzFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
    FuzzFolder(const FuzzFolder&) = delete;
    FuzzFolder& operator=(const FuzzFolder&) = delete;

    std::string path(const std::string& name) const { return (root / name).string(); }

private:
    std::filesystem::path root;
};

// What a target sets up once for all its runs (folders, files beside the input, environment),
// made at LLVMFuzzerInitialize or at the first run.
template <class Ground>
Ground& ground()
{
    static Ground instance;
    return instance;
}

inline void writeInput(const std::string& path, const uint8_t* data, size_t size)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    const bool written = file && (size == 0 || std::fwrite(data, 1, size, file) == size);
    if (!file || std::fclose(file) != 0 || !written)
        fuzzCheckFailed("writing the input file", __FILE__, __LINE__);
}

inline std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
