// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/output.h"
#include "storage/cdbmanager.h"

#include <QCoreApplication>

#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

class Transaction;

// The exit statuses of varnelo-cli.
// ExitStoredUnreported: the change is stored, but the report of it could not be written.
// ExitPipeClosed: the reader of the output went away early (as a tool ended by SIGPIPE).
enum ExitStatus { ExitSuccess = 0, ExitFailure = 1, ExitUsage = 2, ExitStoredUnreported = 3, ExitPipeClosed = 141 };

// A command that could not be done; the message is the one line on stderr, exit status 1.
struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};
// The output failed after the command's change was committed; exit status 3.
struct StoredUnreported : OutputFailure {
    explicit StoredUnreported(const OutputFailure& failure) : OutputFailure(failure) {}
};
// Throws a Failure for an address that runs as script in a browser: the rule every reader, the
// export and send-to follow, so such an address is never stored.
void refuseScriptAddress(const std::string& target);
// A command line that asks for nothing this program does; exit status 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One option a subcommand takes: "--title T" (with a value) or "--title" (a switch). A value
// option given twice keeps every value, in order.
struct OptionSpec {
    const char* name;       // without the dashes
    const char* valueName;  // nullptr for a switch
    const char* help;
};

class Invocation;

// A subcommand: its name, its synopsis after the name, one line of summary, its options, how many
// operands it takes, and what it does (the exit status).
struct Subcommand {
    const char* name;
    const char* synopsis;
    const char* summary;
    std::vector<OptionSpec> options;
    int minOperands;
    int maxOperands;  // -1 for any number
    int (*run)(Invocation&);
};

// Every subcommand, in the order --help lists them (registry.cpp).
const std::vector<const Subcommand*>& subcommands();

// One run of a subcommand: its parsed command line, the output, and the catalogue it works on.
class Invocation {
public:
    Invocation(const Subcommand& command, std::string databasePath, Output& output);
    ~Invocation();

    const Subcommand& command() const { return subcommand; }
    // The subcommand's operands, in order ("--" lets them begin with "-").
    const std::vector<std::string>& operands() const { return args; }
    bool has(const std::string& option) const;
    // The last value given for the option.
    std::optional<std::string> value(const std::string& option) const;
    std::vector<std::string> values(const std::string& option) const;

    Output& out() { return output; }
    // The catalogue file: --db, else the user's.
    const std::string& databasePath() const { return path; }
    // The catalogue, opened on first use as the window opens it (made with the built-in categories
    // when missing, the whole tree loaded). SQLite's refusal raises.
    CDBManager& catalogue();
    // The catalogue for a command that changes it: opened inside one transaction that holds SQLite's
    // write lock from before the first read until the command has succeeded, so what the command
    // read is what it changes, and a failure leaves the catalogue exactly as it was. Output is held
    // back until the commit.
    CDBManager& catalogueForWriting();
    // Commits what the command wrote and prints what it held back (runCommandLine calls it after a
    // successful run).
    void finish();
    // A command that stores its change on its own (a sync, a restore) says so once it has: a report
    // that cannot be written after it does not make the change look failed.
    void noteStored() { storedAlone = true; }
    bool storedOnItsOwn() const { return storedAlone; }
    // Closes the connection (a restore replaces the file under it); catalogue() opens it again.
    void closeCatalogue();

    // Parsing, for main(): an option of this subcommand with its value (nullopt for a switch).
    void addOption(const std::string& name, std::optional<std::string> optionValue);
    void addOperand(std::string operand) { args.push_back(std::move(operand)); }

private:
    const Subcommand& subcommand;
    std::string path;
    Output& output;
    std::vector<std::string> args;
    std::multimap<std::string, std::string> options;
    bool storedAlone = false;
    std::unique_ptr<CDBManager> db;
    // The command's writes, while the catalogue is open for writing.
    std::unique_ptr<Transaction> writes;
    bool writing = false;
};

// The settings file of the window program, which lies beside this one: the command line follows the
// window's settings.
std::string windowSettingsPath();
// The window program's options file (automatic backups, content index), with what an earlier
// release left in the settings file moved there first.
std::string windowOptionsPath();

// A Qt application object for the commands that run Qt's event loop (the network); none when one
// exists already. The rest of the command line starts none.
std::unique_ptr<QCoreApplication> eventLoopApplication();

// The whole program: parses argv, runs the subcommand, turns failures into one line on stderr and
// the exit status.
int runCommandLine(int argc, char** argv);
