#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

class TempFolder {
public:
    TempFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "varnelo-import-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        root = pattern;
    }
    ~TempFolder()
    {
        std::error_code error;
        std::filesystem::remove_all(root, error);
    }
    std::string path(const std::string& name = {}) const { return (root / name).string(); }

private:
    std::filesystem::path root;
};

inline void writeText(const std::string& path, const std::string& text)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string shortcut(const std::string& url)
{
    return "[InternetShortcut]\r\nURL=" + url + "\r\n";
}
