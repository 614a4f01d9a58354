#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>

// A temporary home: HOME, XDG_CONFIG_HOME and XDG_DATA_HOME point into a fresh folder.
class TempHome {
public:
    TempHome()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "varnelo-shell-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        root = pattern;
        replace("HOME", root.string());
        replace("XDG_CONFIG_HOME", path("config"));
        replace("XDG_DATA_HOME", path("data"));
    }
    ~TempHome()
    {
        for (const auto& [name, value] : saved) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
        std::error_code error;
        std::filesystem::permissions(root, std::filesystem::perms::owner_all, error);
        std::filesystem::remove_all(root, error);
    }
    std::string path(const std::string& name) const { return (root / name).string(); }

    void replace(const std::string& name, const std::string& value)
    {
        const char* old = std::getenv(name.c_str());
        if (saved.find(name) == saved.end())
            saved[name] = old ? std::optional<std::string>(old) : std::nullopt;
        ::setenv(name.c_str(), value.c_str(), 1);
    }

private:
    std::filesystem::path root;
    std::map<std::string, std::optional<std::string>> saved;
};

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
