// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tempfolder.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>

// A temporary home: HOME, XDG_CONFIG_HOME, XDG_DATA_HOME and XDG_STATE_HOME point into a fresh folder.
class TempHome {
public:
    TempHome()
    {
        replace("HOME", folder.path());
        replace("XDG_CONFIG_HOME", path("config"));
        replace("XDG_DATA_HOME", path("data"));
        replace("XDG_STATE_HOME", path("state"));
    }
    ~TempHome()
    {
        for (const auto& [name, value] : saved) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }
    std::string path(const std::string& name) const { return folder.path(name); }

    void replace(const std::string& name, const std::string& value)
    {
        const char* old = std::getenv(name.c_str());
        if (saved.find(name) == saved.end())
            saved[name] = old ? std::optional<std::string>(old) : std::nullopt;
        ::setenv(name.c_str(), value.c_str(), 1);
    }
    void remove(const std::string& name)
    {
        replace(name, {});
        ::unsetenv(name.c_str());
    }

private:
    TempFolder folder;
    std::map<std::string, std::optional<std::string>> saved;
};

// The Qt parts of the shell need an application object; one serves the whole test program.
inline void ensureApplication()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "test_shell";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

inline std::string readText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void writeText(const std::string& path, const std::string& text)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}
