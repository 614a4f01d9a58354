// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cliapp.h"

#include "clirunner.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string sourceFile(const std::string& name)
{
    std::ifstream in(std::string(VARNELO_SOURCE_DIR) + "/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// roff writes a minus as "\-".
std::string roff(const std::string& text)
{
    std::string escaped;
    for (char c : text)
        escaped += c == '-' ? std::string("\\-") : std::string(1, c);
    return escaped;
}

// Every entry of the COMMANDS section that begins with the command's name, joined.
std::string manEntries(const std::string& man, const std::string& name)
{
    const std::size_t first = man.find(".SH COMMANDS");
    const std::size_t last = man.find(".SH EXIT STATUS");
    std::string entries;
    for (const std::string& head : {".TP\n.BR " + roff(name) + " ", ".TP\n.B " + roff(name) + "\n"}) {
        for (std::size_t at = man.find(head, first); at < last; at = man.find(head, at + 1)) {
            const std::size_t end = std::min(man.find("\n.TP\n", at + 1), last);
            entries += man.substr(at, end - at);
        }
    }
    return entries;
}

}  // namespace

// The command table is the one source: --help prints it, and the man page and the README must
// name each command with every option --help lists. Fault caught: a command or option added to
// the program and left out of the man page or the README.
TEST(CliDocs, ManPageAndReadmeNameEveryCommandAndOptionOfTheHelp)
{
    const std::string man = sourceFile("resources/varnelo-cli.1");
    const std::string readme = sourceFile("README.md");
    ASSERT_NE(man.find(".SH COMMANDS"), std::string::npos);
    const CliResult help = runCli({"--help"});
    for (const Subcommand* command : subcommands()) {
        const std::string name = command->name;
        SCOPED_TRACE(name);
        EXPECT_NE(help.out.find(name), std::string::npos);
        const std::string entries = manEntries(man, name);
        EXPECT_FALSE(entries.empty()) << "no entry in man varnelo-cli";
        for (const OptionSpec& option : command->options)
            EXPECT_NE(entries.find("\\-\\-" + roff(option.name)), std::string::npos) << "--" << option.name;
        const bool inReadme = readme.find("| `" + name + " ") != std::string::npos
                              || readme.find("| `" + name + "`") != std::string::npos
                              || readme.find(", `" + name + " ") != std::string::npos;
        EXPECT_TRUE(inReadme) << "not in the README's command table";
    }
}
