// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

// What one run of varnelo-cli left: its exit status (-1 when it crashed) and its two outputs.
struct CliResult {
    int status;
    std::string out;
    std::string err;
};

// Runs the built varnelo-cli with these arguments and an empty stdin; home, when given, is its HOME;
// extra holds further environment variables.
inline CliResult runCli(const std::vector<std::string>& args, const std::string& home = {},
                        const std::vector<std::pair<std::string, std::string>>& extra = {})
{
    QStringList arguments;
    for (const std::string& arg : args)
        arguments << QString::fromLocal8Bit(QByteArray::fromStdString(arg));
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    if (!home.empty() || !extra.empty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (!home.empty())
            environment.insert(QStringLiteral("HOME"), QString::fromStdString(home));
        for (const auto& [name, value] : extra)
            environment.insert(QString::fromStdString(name), QString::fromStdString(value));
        process.setProcessEnvironment(environment);
    }
    process.start(QStringLiteral(VARNELO_CLI), arguments);
    process.waitForFinished(120000);
    const int status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return {status, process.readAllStandardOutput().toStdString(), process.readAllStandardError().toStdString()};
}

// The lines of an output, without their newlines.
inline std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> found;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        found.push_back(text.substr(start, end - start));
    if (start < text.size())
        found.push_back(text.substr(start));
    return found;
}

// The command line run as a script on one catalogue: each step's output is kept, and "{N}" in a later
// argument stands for the first line of step N's output (a GUID it printed).
struct Step {
    std::vector<std::string> args;
    int status;
    std::string outHas;  // in stdout ("" for no check)
    bool printsNothing = false;
};

inline void runSteps(const std::string& db, const std::vector<Step>& steps, const std::string& home = {})
{
    std::vector<std::string> firstLines;
    for (std::size_t n = 0; n < steps.size(); ++n) {
        std::vector<std::string> args{"--db", db};
        std::string shown;
        for (std::string arg : steps[n].args) {
            for (std::size_t i = 0; i < firstLines.size(); ++i)
                for (std::size_t at; (at = arg.find("{" + std::to_string(i) + "}")) != std::string::npos;)
                    arg.replace(at, std::to_string(i).size() + 2, firstLines[i]);
            args.push_back(arg);
            shown += arg + " ";
        }
        std::string expected = steps[n].outHas;
        for (std::size_t i = 0; i < firstLines.size(); ++i)
            for (std::size_t at; (at = expected.find("{" + std::to_string(i) + "}")) != std::string::npos;)
                expected.replace(at, std::to_string(i).size() + 2, firstLines[i]);
        SCOPED_TRACE("step " + std::to_string(n) + ": " + shown);
        const CliResult result = runCli(args, home);
        EXPECT_EQ(result.status, steps[n].status) << result.err;
        EXPECT_NE(result.out.find(expected), std::string::npos) << result.out;
        if (steps[n].printsNothing) {
            EXPECT_EQ(result.out, "");
        }
        // a failure says why in one line, and no output claims anything was done
        if (result.status == 1) {
            EXPECT_EQ(lines(result.err).size(), 1u) << result.err;
        }
        if (result.status != 0) {
            EXPECT_EQ(result.out, "");
        }
        const std::vector<std::string> out = lines(result.out);
        firstLines.push_back(out.empty() ? std::string() : out.front());
    }
}
