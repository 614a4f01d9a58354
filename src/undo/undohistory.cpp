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
    if (commands.canUndo())
        step(true);
}

void UndoHistory::redo()
{
    if (commands.canRedo())
        step(false);
}

// A refused step is taken straight back without touching the catalogue, so the index stays.
void UndoHistory::step(bool back)
{
    RecordedCommand* command = recorded(commands.command(back ? commands.index() - 1 : commands.index()));
    back ? commands.undo() : commands.redo();
    if (const std::exception_ptr failure = command->takeFailure()) {
        command->skipNext();
        back ? commands.redo() : commands.undo();
        raiseRefusal(failure, back ? "undo" : "redo", command->text());
    }
}

bool UndoHistory::clear()
{
    const bool had = commands.count() > 0;
    commands.clear();
    return had;
}
