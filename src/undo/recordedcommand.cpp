// SPDX-License-Identifier: GPL-3.0-or-later
#include "undo/recordedcommand.h"

#include <utility>

RecordedCommand::RecordedCommand(CDBManager& database, const QString& text) : QUndoCommand(text), db(database)
{
}

void RecordedCommand::redo()
{
    if (skipping) {
        skipping = false;
        return;
    }
    if (performed) {
        guarded(&Changeset::replay);
        return;
    }
    performed = true;
    try {
        ChangeRecorder recorder(db);
        // What a failing command stored before it failed stays stored, so it is recorded as well.
        try {
            perform();
        } catch (...) {
            failure = std::current_exception();
        }
        changes = recorder.finish();
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
}

void RecordedCommand::undo()
{
    if (skipping) {
        skipping = false;
        return;
    }
    guarded(&Changeset::revert);
}

void RecordedCommand::guarded(void (Changeset::*step)(CppSQLite3DB&) const)
{
    try {
        (changes.*step)(db);
    } catch (...) {
        failure = std::current_exception();
    }
}

std::exception_ptr RecordedCommand::takeFailure()
{
    return std::exchange(failure, nullptr);
}
