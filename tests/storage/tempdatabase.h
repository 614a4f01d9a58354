// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/newguid.h"
#include "storage/cdbmanager.h"

#include "tempfolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

// A catalogue opened the way the main window opens it: open, defaults, whole tree, indexes.
class CatalogueTest : public ::testing::Test {
protected:
    void SetUp() override { openCatalogue(); }

    void openCatalogue()
    {
        db.Close();
        ASSERT_TRUE(db.Open(dbPath));
        db.EnsureDefaultCategories();
        db.LoadCategories();
        db.CreateIndexes();
    }

    CCategory* topLevel(const std::string& name)
    {
        CCategory& root = db.GetRootCategory();
        for (int i = 0; i < root.GetChildCount(); ++i)
            if (root.GetChild(i)->GetName() == name)
                return root.GetChild(i);
        return nullptr;
    }

    int count(const std::string& sql) { return db.ExecuteScalar(sql.c_str()); }

    TempFolder folder;
    std::string dbPath = folder.path("FavoritesDB.db");
    CDBManager db;
};
