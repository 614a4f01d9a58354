#pragma once

#include "tempfolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

inline void writeText(const std::string& path, const std::string& text)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string shortcut(const std::string& url)
{
    return "[InternetShortcut]\r\nURL=" + url + "\r\n";
}
