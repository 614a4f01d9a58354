// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "storage/cdbmanager.h"
#include "storage/changeset.h"

#include <QUndoCommand>

#include <exception>

// One command of the history. Its first redo performs the command while recording every catalogue
// row it stores; later undos and redos write the recorded rows back or again. Nothing here throws
// into Qt's undo stack: a failure is kept for the history to raise.
class RecordedCommand : public QUndoCommand {
public:
    RecordedCommand(CDBManager& db, const QString& text);

    void redo() override;
    void undo() override;

    bool changedAnything() const { return !changes.empty(); }
    // What the command stored, e.g. to show what an undo brought back.
    const Changeset& recorded() const { return changes; }
    // The failure of the last perform, undo or redo; empty when it went through.
    std::exception_ptr takeFailure();
    // The next undo or redo does nothing: the stack moves its index without touching the catalogue.
    void skipNext() { skipping = true; }

protected:
    // The command itself, run once. Pointers into the loaded catalogue are used here and only here.
    virtual void perform() = 0;

private:
    void guarded(void (Changeset::*step)(CppSQLite3DB&) const);

    CDBManager& db;
    Changeset changes;
    bool performed = false;
    bool skipping = false;
    std::exception_ptr failure;
};
