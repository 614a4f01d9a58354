// SPDX-License-Identifier: GPL-3.0-or-later
#include "check/cataloguecheck.h"
#include "check/filecheck.h"

#include "checktestutil.h"

#include <QDateTime>

#include <filesystem>
#include <fstream>

using namespace check;
namespace fs = std::filesystem;

namespace {

void write(const std::string& path, const std::string& text)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << text;
}

}  // namespace

// Moved, renamed, linked and locked-away files each end with their reason; present ones are fine.
TEST(FileCheck, MissingFilesCarryTheirReason)
{
    TempFolder tree;
    const std::string kept = tree.path("kept.txt");
    write(kept, "kept");
    write(tree.path("moved/old.txt"), "moved");
    write(tree.path("renamed.txt"), "renamed");
    write(tree.path("locked/inside.txt"), "locked");
    fs::create_symlink(tree.path("nowhere.txt"), tree.path("dangling.txt"));
    fs::rename(tree.path("moved/old.txt"), tree.path("elsewhere.txt"));
    fs::rename(tree.path("renamed.txt"), tree.path("renamed-now.txt"));
    fs::permissions(tree.path("locked"), fs::perms::none);

    const std::vector<std::tuple<std::string, Kind, std::string>> table = {
        {kept, Kind::Ok, ""},
        {"file://" + kept, Kind::Ok, ""},
        {tree.path("moved/old.txt"), Kind::Missing, "The file does not exist"},
        {tree.path("renamed.txt"), Kind::Missing, "The file does not exist"},
        {tree.path("dangling.txt"), Kind::Missing, "symbolic link points at nothing"},
        {tree.path("locked/inside.txt"), Kind::Missing, "cannot be reached: Permission denied"},
        {"relative/path.txt", Kind::NotChecked, "Not a full path"},
        {"", Kind::NotChecked, "no file name"},
    };
    for (const auto& [target, kind, detail] : table) {
        if (::geteuid() == 0 && target == tree.path("locked/inside.txt"))
            continue;  // root reads every folder
        const FileState state = checkFile(target);
        EXPECT_EQ(kindName(state.kind), std::string(kindName(kind))) << target;
        EXPECT_NE(state.detail.find(detail), std::string::npos) << target << ": " << state.detail;
    }
    EXPECT_EQ(checkFile(kept).size, 4);
}

// The relink search offers every file of that name, the better match first, confirmed by size,
// and walks a folder loop and an unreadable folder without hanging.
TEST(FileCheck, RelinkSearchRanksCandidatesAndSurvivesLoopsAndLockedFolders)
{
    TempFolder tree;
    write(tree.path("new/Docs/report.pdf"), "12345");
    write(tree.path("other/report.pdf"), "12345");
    write(tree.path("deep/x/report.pdf"), "123");
    write(tree.path("locked/report.pdf"), "12345");
    fs::create_directory_symlink(tree.path(""), tree.path("new/loop"));
    fs::permissions(tree.path("locked"), fs::perms::none);

    const RelinkSearch search = findCandidates("/gone/Docs/report.pdf", {tree.path(), tree.path("new")}, 5);
    ASSERT_EQ(search.candidates.size(), ::geteuid() == 0 ? 4u : 3u);
    EXPECT_EQ(search.candidates[0].path, tree.path("new/Docs/report.pdf"));
    EXPECT_EQ(search.candidates[0].matchingComponents, 2);
    EXPECT_EQ(search.candidates.back().path, tree.path("deep/x/report.pdf"));
    EXPECT_EQ(search.candidates.back().sizeMatches, std::optional<bool>(false));
    EXPECT_GE(search.loopsSkipped, 1);
    EXPECT_EQ(search.unreadableFolders, ::geteuid() == 0 ? 0 : 1);
}

// Cancel keeps what was stored so far; the results of a branch leave other items alone.
TEST(FileCheck, CancelKeepsTheResultsSoFar)
{
    ensureApplication();
    TestCatalogue catalogue;
    for (int i = 0; i < 5; ++i)
        catalogue.add("/nowhere/file" + std::to_string(i) + ".txt", 0);
    CheckOptions options;
    options.links = options.duplicates = false;
    CatalogueCheck check(catalogue.path, options);
    bool cancelled = false;
    QObject::connect(&check, &CatalogueCheck::found, &check, [&cancelled](const StoredFinding&) { cancelled = true; });
    StopWhen cancel([&cancelled] { return cancelled; });
    const CheckSummary summary = check.run(cancel);
    EXPECT_TRUE(summary.cancelled);
    EXPECT_EQ(summary.error, "");
    const auto stored = CheckStore(catalogue.db).current();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].kind, Kind::Missing);
}

TEST(FileCheck, AFileThatIsNoCatalogueFailsTheCheck)
{
    ensureApplication();
    TempFolder folder;
    write(folder.path("not.db"), "this is not a database at all, only text that is long enough");
    const CheckSummary summary = CatalogueCheck(folder.path("not.db"), {}).run();
    EXPECT_NE(summary.error, "");
}

// A file that stays fine is not written again, yet its last check is the newest run over it.
TEST(FileCheck, AFineFileIsDatedByTheLastRunWithoutBeingRewritten)
{
    ensureApplication();
    TestCatalogue catalogue;
    TempFolder tree;
    write(tree.path("here.txt"), "here");
    const std::string guid = catalogue.add(tree.path("here.txt"), 0);
    CheckOptions options;
    options.links = options.duplicates = false;
    CatalogueCheck(catalogue.path, options).run();
    catalogue.db.ExecuteStatement("update health_table set checked = 1;");
    options.categoryGuid = catalogue.category->GetGuid();
    CatalogueCheck(catalogue.path, options).run();
    EXPECT_EQ(catalogue.db.ExecuteScalar("select checked from health_table;"), 1);
    const auto results = CheckStore(catalogue.db).forItem(guid);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].kind, Kind::Ok);
    EXPECT_GT(results[0].checked, QDateTime::currentSecsSinceEpoch() - 600);
    EXPECT_EQ(results[0].size, 4);
}
