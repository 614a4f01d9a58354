// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cliapp.h"

int main(int argc, char** argv)
{
    return runCommandLine(argc, argv);
}
