// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "undo/recordedcommand.h"

#include <QUndoStack>

#include <memory>

// The session's history of catalogue commands, oldest first. Undo and redo go through here rather
// than straight to the stack, so a refusal is raised to the caller and leaves the history as it was.
class UndoHistory {
public:
    QUndoStack& stack() { return commands; }

    // Runs the command; when it stored anything it joins the history, dropping whatever could be
    // redone, and comes back for the caller to look at; nullptr when it changed nothing. A failure
    // is raised afterwards, so what the command stored before failing can be undone too.
    template <class Command>
    Command* record(std::unique_ptr<Command> command)
    {
        Command* kept = command.get();
        return keep(std::move(command)) ? kept : nullptr;
    }
    // Raise, with nothing changed, when the command's rows were changed by someone else since:
    // `Cannot undo Delete 3 Items: the item "Manual" was deleted by another program since`.
    void undo();
    void redo();
    // Forgets every command; true when there was one to forget.
    bool clear();

private:
    bool keep(std::unique_ptr<RecordedCommand> command);
    void step(bool back);

    QUndoStack commands;
};
