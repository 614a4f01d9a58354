// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "import/importtree.h"

#include "tempfolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

inline void writeText(const std::string& path, const std::string& text)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string shortcut(const std::string& url)
{
    return "[InternetShortcut]\r\nURL=" + url + "\r\n";
}

// A tree as indented lines, "+ name" for a folder and "- name | target | comment | type" for an
// entry, so that a test compares a whole tree, order included, at once.
inline std::string outline(const ImportFolder& folder, const std::string& indent = "")
{
    std::string text;
    for (const ImportFolder& child : folder.folders)
        text += indent + "+ " + child.name + "\n" + outline(child, indent + "  ");
    for (const ImportEntry& entry : folder.entries)
        text += indent + "- " + entry.name + " | " + entry.target + " | " + entry.comment + " | "
                + std::to_string(entry.type) + "\n";
    return text;
}

// The sentence that `function` called with `arguments` threw, or "no error".
template <class Function, class... Arguments>
std::string errorOf(Function&& function, const Arguments&... arguments)
{
    try {
        function(arguments...);
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "no error";
}

inline std::string readText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs `check` in a child process that lacks the superuser's right to read every folder (it
// becomes the user nobody when the tests run as root) and returns what `check` returned there.
inline std::string asOrdinaryUser(const std::function<std::string()>& check)
{
    int channel[2];
    if (::pipe(channel) != 0)
        return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        std::string result = "cannot drop privileges";
        if (::geteuid() != 0 || (::setgid(65534) == 0 && ::setuid(65534) == 0)) {
            try {
                result = check();
            } catch (const std::exception& error) {
                result = std::string("exception: ") + error.what();
            }
        }
        [[maybe_unused]] const ssize_t wrote = ::write(channel[1], result.data(), result.size());
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string result;
    char buffer[4096];
    for (ssize_t got; (got = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        result.append(buffer, static_cast<std::size_t>(got));
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? result : "the child crashed";
}

// Lets the user nobody walk down to `path` (temporary folders are private to their owner).
inline void openToEveryone(const std::string& path)
{
    ::chmod(path.c_str(), 0755);
}
