// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <string>

// What opening a target would do beyond showing a document or a page, judged before the target
// goes to the desktop.
struct OpenCheck {
    enum Kind {
        Document,       // opens as today
        ScriptAddress,  // javascript:, vbscript: or data: (as browsers read it): never opened
        MissingFile,    // a local file that does not exist
        Program,        // a local file that would run: an executable program or a desktop launcher
    };
    Kind kind = Document;
    QString path;  // the local file's path, for MissingFile and Program
};

// Judges an item's target (type as stored) the way it would be opened. A file counts as a program
// as file managers judge it: a desktop launcher (.desktop), or a file that may be executed and is a
// binary or a script by its type; a document on a disk that marks every file executable is none.
OpenCheck checkBeforeOpening(const std::string& target, int type);
