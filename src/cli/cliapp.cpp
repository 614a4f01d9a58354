// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cliapp.h"

#include "base/address.h"
#include "commands/catalogueopening.h"
#include "shell/ownsections.h"
#include "shell/paths.h"
#include "storage/transaction.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>

namespace {

const char* const programName = "varnelo-cli";

struct GlobalOption {
    const char* name;
    const char* valueName;
    const char* help;
};
const GlobalOption globalOptions[] = {
    {"db", "PATH", "the catalogue file (made with the built-in categories when missing)"},
    {"json", nullptr, "one JSON object per line instead of tab-separated text"},
    {"version", nullptr, "print the version and exit"},
    {"help", nullptr, "print help (of the subcommand, when one is named) and exit"},
};

const Subcommand* findSubcommand(const std::string& name)
{
    for (const Subcommand* command : subcommands())
        if (name == command->name)
            return command;
    return nullptr;
}

const OptionSpec* findOption(const Subcommand& command, const std::string& name)
{
    for (const OptionSpec& option : command.options)
        if (name == option.name)
            return &option;
    return nullptr;
}

const GlobalOption* findGlobal(const std::string& name)
{
    for (const GlobalOption& option : globalOptions)
        if (name == option.name)
            return &option;
    return nullptr;
}

std::string optionLine(const char* name, const char* valueName, const char* help)
{
    std::string left = std::string("  --") + name + (valueName ? std::string(" ") + valueName : "");
    left.resize(std::max<std::size_t>(left.size() + 2, 24), ' ');
    return left + help;
}

void printUsage(Output& out, const Subcommand* command)
{
    if (command) {
        out.text(std::string("Usage: ") + programName + " [--db PATH] [--json] " + command->name + " "
                 + command->synopsis);
        out.text(command->summary);
        if (!command->options.empty())
            out.text("Options:");
        for (const OptionSpec& option : command->options)
            out.text(optionLine(option.name, option.valueName, option.help));
        return;
    }
    out.text(std::string("Usage: ") + programName + " [--db PATH] [--json] COMMAND [OPTIONS] [--] [ARGUMENTS]");
    out.text("The Varnelo catalogue from the command line. Commands:");
    for (const Subcommand* each : subcommands()) {
        std::string line = std::string("  ") + each->name;
        line.resize(std::max<std::size_t>(line.size() + 2, 14), ' ');
        out.text(line + each->summary);
    }
    out.text("Options, before or after the command:");
    for (const GlobalOption& option : globalOptions)
        out.text(optionLine(option.name, option.valueName, option.help));
    out.text(std::string("Run '") + programName + " COMMAND --help' for a command's options.");
}

// What the command line asked for once parsed.
struct ParsedLine {
    const Subcommand* command = nullptr;
    std::string databasePath;
    bool json = false;
    bool version = false;
    bool help = false;
    std::vector<std::pair<std::string, std::optional<std::string>>> options;
    std::vector<std::string> operands;
};

ParsedLine parse(int argc, char** argv)
{
    ParsedLine line;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
            continue;
        }
        const bool isOption = !optionsEnded && arg.size() > 1 && arg[0] == '-';
        if (!isOption) {
            if (line.command)
                line.operands.push_back(arg);
            else if (!(line.command = findSubcommand(arg)))
                throw UsageError("unknown command '" + arg + "'");
            continue;
        }
        if (arg == "-h") {
            line.help = true;
            continue;
        }
        if (arg.rfind("--", 0) != 0)
            throw UsageError("unknown option '" + arg + "'");
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
        std::optional<std::string> inlineValue;
        if (equals != std::string::npos)
            inlineValue = arg.substr(equals + 1);
        const GlobalOption* global = findGlobal(name);
        const OptionSpec* own = line.command ? findOption(*line.command, name) : nullptr;
        if (!global && !own)
            throw UsageError("unknown option '--" + name + "'"
                             + (line.command ? std::string(" for '") + line.command->name + "'" : std::string()));
        const char* valueName = global ? global->valueName : own->valueName;
        std::optional<std::string> value;
        if (valueName) {
            if (inlineValue)
                value = inlineValue;
            else if (i + 1 < argc)
                value = argv[++i];
            else
                throw UsageError("option '--" + name + "' needs " + valueName);
        } else if (inlineValue) {
            throw UsageError("option '--" + name + "' takes no value");
        }
        if (name == "db")
            line.databasePath = *value;
        else if (name == "json")
            line.json = true;
        else if (name == "version")
            line.version = true;
        else if (name == "help")
            line.help = true;
        else
            line.options.emplace_back(name, value);
    }
    return line;
}

int run(int argc, char** argv)
{
    const ParsedLine line = parse(argc, argv);
    Output output(stdout, line.json);
    if (line.version) {
        output.text(std::string(programName) + " " + VARNELO_VERSION);
        return ExitSuccess;
    }
    if (line.help) {
        printUsage(output, line.command);
        return ExitSuccess;
    }
    if (!line.command)
        throw UsageError("no command given");
    const Subcommand& command = *line.command;
    const int count = static_cast<int>(line.operands.size());
    if (count < command.minOperands || (command.maxOperands >= 0 && count > command.maxOperands))
        throw UsageError(std::string("usage: ") + programName + " " + command.name + " " + command.synopsis);
    std::string path = line.databasePath;
    if (path.empty() && (path = databaseFilePath()).empty())
        throw Failure("Cannot find the folder for the user's data: set HOME or XDG_DATA_HOME, or give --db PATH.");
    Invocation invocation(command, path, output);
    for (const auto& [name, value] : line.options)
        invocation.addOption(name, value);
    for (const std::string& operand : line.operands)
        invocation.addOperand(operand);
    int status = ExitFailure;
    try {
        status = command.run(invocation);
    } catch (const OutputFailure& failure) {
        if (!invocation.storedOnItsOwn())
            throw;
        throw StoredUnreported(failure);
    }
    if (status == ExitSuccess)
        invocation.finish();
    return status;
}

// One line, also for the window's texts that break theirs.
void sayWhy(const char* reason)
{
    std::string line;
    for (const char* at = reason; *at; ++at) {
        const bool breaks = *at == '\n' || *at == '\r';
        if (!breaks)
            line += *at;
        else if (!line.empty() && line.back() != ' ')
            line += ' ';
    }
    std::fprintf(stderr, "%s: %s\n", programName, line.c_str());
}

}  // namespace

Invocation::Invocation(const Subcommand& command, std::string databasePath, Output& out)
    : subcommand(command), path(std::move(databasePath)), output(out)
{
}

Invocation::~Invocation() = default;

bool Invocation::has(const std::string& option) const
{
    return options.count(option) > 0;
}

std::optional<std::string> Invocation::value(const std::string& option) const
{
    const std::vector<std::string> all = values(option);
    if (all.empty())
        return std::nullopt;
    return all.back();
}

std::vector<std::string> Invocation::values(const std::string& option) const
{
    std::vector<std::string> found;
    const auto [first, last] = options.equal_range(option);
    for (auto at = first; at != last; ++at)
        found.push_back(at->second);
    return found;
}

void Invocation::addOption(const std::string& name, std::optional<std::string> optionValue)
{
    options.emplace(name, optionValue.value_or(std::string()));
}

CDBManager& Invocation::catalogue()
{
    if (!db) {
        auto opened = std::make_unique<CDBManager>();
        try {
            openCatalogue(*opened, path, [&] {
                if (writing)
                    writes = std::make_unique<Transaction>(*opened);
            });
        } catch (const CppSQLite3Exception& error) {
            writes.reset();
            throw Failure("Cannot open the catalogue \"" + path + "\": " + error.ErrorMessage());
        } catch (...) {
            writes.reset();
            throw;
        }
        db = std::move(opened);
    }
    return *db;
}

CDBManager& Invocation::catalogueForWriting()
{
    if (db && !writing)
        closeCatalogue();
    writing = true;
    output.hold();
    return catalogue();
}

void Invocation::finish()
{
    const bool stored = writes != nullptr || storedAlone;
    if (writes)
        writes->Commit();
    writes.reset();
    try {
        output.release();
    } catch (const OutputFailure& failure) {
        if (!stored)
            throw;
        // A script that retried on a failure would make the change twice: the status says it stands.
        throw StoredUnreported(failure);
    }
}

void Invocation::closeCatalogue()
{
    writes.reset();
    db.reset();
}

std::string windowSettingsPath()
{
    const std::filesystem::path window = std::filesystem::path(executablePath()).parent_path() / "varnelo";
    return settingsFilePathFor(window.string());
}

void refuseScriptAddress(const std::string& target)
{
    if (isScriptAddress(target))
        throw Failure("\"" + target
                      + "\" runs as script in a browser (javascript:, vbscript: or data:); "
                        "such addresses are not stored");
}

std::string windowOptionsPath()
{
    moveOwnSectionsOut(windowSettingsPath());
    return optionsFilePath();
}

std::unique_ptr<QCoreApplication> eventLoopApplication()
{
    static int argc = 1;
    static char name[] = "varnelo-cli";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance())
        return nullptr;
    return std::make_unique<QCoreApplication>(argc, argv);
}

int runCommandLine(int argc, char** argv)
{
    // A reader that goes away makes the next write fail with EPIPE, reported like any failure,
    // instead of killing the program in the middle of a change.
    std::signal(SIGPIPE, SIG_IGN);
    try {
        return run(argc, argv);
    } catch (const StoredUnreported& error) {
        if (error.error != EPIPE)
            sayWhy((std::string("The change is stored, but its report could not be written: ") + error.what()).c_str());
        return ExitStoredUnreported;
    } catch (const OutputFailure& error) {
        // A reader that stopped reading (ls | head) ends the command quietly, as other tools do.
        if (error.error == EPIPE)
            return ExitPipeClosed;
        sayWhy(error.what());
    } catch (const UsageError& error) {
        sayWhy(error.what());
        std::fprintf(stderr, "Try '%s --help' for more information.\n", programName);
        return ExitUsage;
    } catch (const CppSQLite3Exception& error) {
        sayWhy(error.ErrorMessage());
    } catch (const std::exception& error) {
        sayWhy(error.what());
    }
    return ExitFailure;
}
