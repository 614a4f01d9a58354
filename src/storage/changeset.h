// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "storage/cppsqlite3.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// What one command did to the category and item tables: every row it inserted, changed or deleted,
// with its values before and after, keyed by the row's itemorder. Recorded by SQLite's session
// extension on the command's own connection, so writes of other programs are never part of it.
class Changeset {
public:
    Changeset() = default;
    explicit Changeset(std::vector<unsigned char> bytes) : bytes(std::move(bytes)) {}

    bool empty() const { return bytes.empty(); }

    // Puts every row back as it was before the command, deleted rows with their old itemorder, so the
    // stored order is as it was. Raises OutsideChange, having changed nothing, when a row no longer
    // holds what the command left there.
    void revert(CppSQLite3DB& db) const;
    // Writes the command's rows again; the same refusal when a row no longer holds what it held before.
    void replay(CppSQLite3DB& db) const;

    // A row the command deleted, which an undo brings back: its GUID and that of the category
    // holding it (the parent category for a category row), in the order the command deleted them.
    struct DeletedRow {
        bool category = false;
        std::string guid;
        std::string holder;
    };
    std::vector<DeletedRow> deletedRows() const;

private:
    void apply(CppSQLite3DB& db, const std::vector<unsigned char>& changes) const;

    std::vector<unsigned char> bytes;
};

// A row changed by someone else since the command: its text names the row, e.g.
// `the category "News" was changed by another program since`.
class OutsideChange : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Records the catalogue rows changed on the connection from construction until finish(). Only
// changes that stay count: what a rolled-back transaction wrote leaves no trace.
class ChangeRecorder {
public:
    explicit ChangeRecorder(CppSQLite3DB& db);
    ~ChangeRecorder();
    ChangeRecorder(const ChangeRecorder&) = delete;
    ChangeRecorder& operator=(const ChangeRecorder&) = delete;

    Changeset finish();

private:
    struct Session;
    std::unique_ptr<Session> session;
};
