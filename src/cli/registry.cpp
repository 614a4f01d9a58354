// SPDX-License-Identifier: GPL-3.0-or-later
// The subcommands of varnelo-cli. Each lives in its own cmd_<name>.cpp, which defines
// `const Subcommand cmd_<name>`; one line below makes it known, in the order --help lists them.
#include "cli/cliapp.h"

#define VARNELO_SUBCOMMANDS(X)                                                                                         \
    X(ls)                                                                                                              \
    X(add)                                                                                                             \
    X(edit)                                                                                                            \
    X(rm)                                                                                                              \
    X(mv)                                                                                                              \
    X(mkcat)                                                                                                           \
    X(rmcat)                                                                                                           \
    X(search)                                                                                                          \
    X(browsers)                                                                                                        \
    X(import)                                                                                                          \
    X(add_folder)                                                                                                      \
    X(export)                                                                                                          \
    X(backup)                                                                                                          \
    X(restore)                                                                                                         \
    X(backups)                                                                                                         \
    X(mvcat)                                                                                                           \
    X(cpcat)                                                                                                           \
    X(check)                                                                                                           \
    X(sync)                                                                                                            \
    X(index)                                                                                                           \
    X(keep)                                                                                                            \
    X(connector)

#define VARNELO_DECLARE(name) extern const Subcommand cmd_##name;
VARNELO_SUBCOMMANDS(VARNELO_DECLARE)

const std::vector<const Subcommand*>& subcommands()
{
#define VARNELO_ADDRESS(name) &cmd_##name,
    static const std::vector<const Subcommand*> all = {VARNELO_SUBCOMMANDS(VARNELO_ADDRESS)};
    return all;
}
