// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/newguid.h"
#include "storage/cdbmanager.h"

#include "tempfolder.h"

#include <memory>
#include <string>

// A catalogue with one category "Checked" to put items in.
struct TestCatalogue {
    TestCatalogue()
    {
        db.Open(path);
        db.EnsureDefaultCategories();
        db.LoadCategories();
        auto made = std::make_unique<CCategory>();
        category = made.get();
        category->SetGuid(NewGuid());
        category->SetName("Checked");
        db.GetRootCategory().AddChild(std::move(made));
        db.SaveCategory(*category, true);
    }
    std::string add(const std::string& target, int type, const std::string& name = "item")
    {
        auto item = std::make_unique<CLinkItem>();
        item->SetGuid(NewGuid());
        item->SetName(name);
        item->SetTarget(target);
        item->SetType(type);
        item->SetParentGuid(category->GetGuid());
        const std::string guid = item->GetGuid();
        db.StoreItem(*item);
        return guid;
    }
    TempFolder folder;
    std::string path = folder.path("FavoritesDB.db");
    CDBManager db;
    CCategory* category = nullptr;
};
