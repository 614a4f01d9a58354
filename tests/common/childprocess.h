// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

// A helper process of a test (a server, a tool), started with posix_spawn and reaped with waitpid.
// Not QProcess: once Qt reaped a child on a thread, ThreadSanitizer sees none of that thread's locks
// any more, and every hand-over between the test's threads would read as a race.
class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess()
    {
        stop();
        if (!outputPath.empty())
            std::remove(outputPath.c_str());
    }

    // extra: "NAME=value" entries added to this process's environment.
    bool start(const QString& program, const QStringList& arguments, const std::vector<std::string>& extra = {})
    {
        char pattern[] = "/tmp/varnelo-child-XXXXXX";
        const int output = ::mkstemp(pattern);
        if (output < 0)
            return false;
        outputPath = pattern;
        std::vector<std::string> texts{program.toStdString()};
        for (const QString& argument : arguments)
            texts.push_back(argument.toStdString());
        std::vector<char*> argv;
        for (std::string& text : texts)
            argv.push_back(text.data());
        argv.push_back(nullptr);
        std::vector<std::string> environment = extra;
        for (char** entry = environ; *entry; ++entry)
            environment.emplace_back(*entry);
        std::vector<char*> envp;
        for (std::string& entry : environment)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, output, STDERR_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        ::close(output);
        if (failed != 0)
            pid = -1;
        return pid > 0;
    }
    bool running()
    {
        if (pid <= 0)
            return false;
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) != pid)
            return true;
        ended(status);
        return false;
    }
    // Whether it ended within the time; its exit code is then exitCode().
    bool waitForFinished(std::chrono::milliseconds limit)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (running()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }
    // Stopped as its own signal asks (Apache's parent takes its workers along), or killed.
    void stop()
    {
        if (!running())
            return;
        ::kill(pid, SIGTERM);
        if (!waitForFinished(std::chrono::seconds(10))) {
            ::kill(pid, SIGKILL);
            waitForFinished(std::chrono::seconds(5));
        }
    }
    int exitCode() const { return code; }
    // What it wrote to its standard output and error.
    std::string output() const
    {
        std::ifstream file(outputPath);
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }

private:
    void ended(int status)
    {
        code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        pid = -1;
    }

    pid_t pid = -1;
    int code = -1;
    std::string outputPath;
};
