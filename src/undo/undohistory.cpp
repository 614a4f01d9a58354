// SPDX-License-Identifier: GPL-3.0-or-later
#include "undo/undohistory.h"

#include <stdexcept>

namespace {

RecordedCommand* recorded(const QUndoCommand* command)
{
    return static_cast<RecordedCommand*>(const_cast<QUndoCommand*>(command));
}

[[noreturn]] void raiseRefusal(std::exception_ptr failure, const char* verb, const QString& what)
{
    try {
        std::rethrow_exception(failure);
    } catch (const OutsideChange& change) {
        throw std::runtime_error(std::string("Cannot ") + verb + " " + what.toStdString() + ": " + change.what()
                                 + ". Nothing was changed");
    }
}

}  // namespace

bool UndoHistory::keep(std::unique_ptr<RecordedCommand> command)
{
    command->redo();
    const std::exception_ptr failure = command->takeFailure();
    const bool changed = command->changedAnything();
    if (changed) {
        command->skipNext();
        commands.push(command.release());
    }
    if (failure)
        std::rethrow_exception(failure);
    return changed;
}

void UndoHistory::undo()
{
    if (!commands.canUndo())
        return;
    RecordedCommand* command = recorded(commands.command(commands.index() - 1));
    commands.undo();
    if (const std::exception_ptr failure = command->takeFailure()) {
        command->skipNext();
        commands.redo();
        raiseRefusal(failure, "undo", command->text());
    }
}

void UndoHistory::redo()
{
    if (!commands.canRedo())
        return;
    RecordedCommand* command = recorded(commands.command(commands.index()));
    commands.redo();
    if (const std::exception_ptr failure = command->takeFailure()) {
        command->skipNext();
        commands.undo();
        raiseRefusal(failure, "redo", command->text());
    }
}

bool UndoHistory::clear()
{
    const bool had = commands.count() > 0;
    commands.clear();
    return had;
}
