#pragma once

#include "model/newguid.h"
#include "storage/cdbmanager.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

// A private folder for one test, removed with everything in it afterwards.
class TempFolder {
public:
    TempFolder() : folder(std::filesystem::temp_directory_path() / ("varnelo-core-" + NewGuid()))
    {
        std::filesystem::create_directories(folder);
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(folder, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string file(const std::string& name) const { return (folder / name).string(); }
    const std::filesystem::path& path() const { return folder; }

private:
    std::filesystem::path folder;
};

// A catalogue opened the way the main window opens it: open, defaults, whole tree.
class CatalogueTest : public ::testing::Test {
protected:
    void SetUp() override { openCatalogue(); }

    void openCatalogue()
    {
        db.Close();
        ASSERT_TRUE(db.Open(dbPath));
        db.EnsureDefaultCategories();
        ASSERT_TRUE(db.LoadCategories());
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
    std::string dbPath = folder.file("FavoritesDB.db");
    CDBManager db;
};
