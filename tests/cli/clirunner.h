// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStringList>

#include <string>
#include <vector>

// What one run of varnelo-cli left: its exit status (-1 when it crashed) and its two outputs.
struct CliResult {
    int status;
    std::string out;
    std::string err;
};

// Runs the built varnelo-cli with exactly these arguments (bytes, not locale text) and an empty stdin.
inline CliResult runCli(const std::vector<std::string>& args)
{
    QStringList arguments;
    for (const std::string& arg : args)
        arguments << QString::fromLocal8Bit(QByteArray::fromStdString(arg));
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
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
