// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class CLinkItem;
class QWidget;

// Refuses, with the error the user reads, a target that must not be opened: one that forms no
// address at all ("--help", "; rm x" as a web address would reach no program, or a chosen program
// with an empty argument), a script or data address ("cannot be opened"), or a file that no longer
// exists.
void refuseUnsafeTarget(const CLinkItem& item);

// Asks before a target that is a program or a desktop launcher runs ("... is a program. Run it?",
// No by default); true when it may be opened.
bool confirmRunningProgram(QWidget* parent, const CLinkItem& item);
