// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/foldertree.h"

#include "importtestutil.h"

#include <sys/socket.h>
#include <sys/un.h>

namespace {

// Without its progress, as the tests call it.
ImportTree readFolder(const std::string& folder)
{
    return readFolderTree(folder);
}

}  // namespace

TEST(FolderTree, FilesAndFoldersAreSortedAsAFileManagerDoes)
{
    TempFolder temp;
    const std::string docs = temp.path("Docs");
    for (const char* name : {"file10.txt", "file2.txt", "file1.txt", ".hidden.txt", "b.pdf"})
        writeText(docs + "/" + name, "x");
    writeText(docs + "/Sub 10/z.txt", "z");
    writeText(docs + "/Sub 9/a.txt", "a");
    writeText(docs + "/.git/config", "hidden");
    std::filesystem::create_directories(docs + "/Empty");

    const ImportTree tree = readFolderTree(docs + "/");
    EXPECT_EQ(outline(tree.root), "+ Empty\n"
                                  "+ Sub 9\n"
                                  "  - a.txt | "
                                      + docs
                                      + "/Sub 9/a.txt |  | 0\n"
                                        "+ Sub 10\n"
                                        "  - z.txt | "
                                      + docs
                                      + "/Sub 10/z.txt |  | 0\n"
                                        "- b.pdf | "
                                      + docs
                                      + "/b.pdf |  | 0\n"
                                        "- file1.txt | "
                                      + docs
                                      + "/file1.txt |  | 0\n"
                                        "- file2.txt | "
                                      + docs
                                      + "/file2.txt |  | 0\n"
                                        "- file10.txt | "
                                      + docs + "/file10.txt |  | 0\n");
    EXPECT_EQ(tree.skipped, 0);
}

TEST(FolderTree, LinksToFilesAreFilesAndNothingElseButFilesIsAdded)
{
    TempFolder temp;
    const std::string docs = temp.path("Docs");
    writeText(docs + "/real.txt", "x");
    writeText(temp.path("Elsewhere/far.txt"), "far");
    std::filesystem::create_symlink(temp.path("Elsewhere/far.txt"), docs + "/linked.txt");
    std::filesystem::create_directory_symlink(temp.path("Elsewhere"), docs + "/linked folder");
    std::filesystem::create_directory_symlink(docs, docs + "/loop");
    std::filesystem::create_symlink(temp.path("gone"), docs + "/dangling");
    ASSERT_EQ(::mkfifo((docs + "/pipe").c_str(), 0600), 0);
    const int unixSocket = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = docs + "/socket";
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    socketPath.copy(address.sun_path, socketPath.size());
    ASSERT_EQ(::bind(unixSocket, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    const ImportTree tree = readFolderTree(docs);
    ::close(unixSocket);
    EXPECT_EQ(outline(tree.root), "- linked.txt | " + docs
                                      + "/linked.txt |  | 0\n"
                                        "- real.txt | "
                                      + docs + "/real.txt |  | 0\n");
    EXPECT_EQ(tree.skipped, 0);
}

TEST(FolderTree, NamesThatAreNotUtf8KeepTheirExactBytes)
{
    TempFolder temp;
    const std::string docs = temp.path("Docs");
    writeText(docs + "/caf\xE9 \xFF.txt", "latin-1");
    writeText(docs + "/Gr\xFC\xDF/inner.txt", "x");
    const ImportTree tree = readFolderTree(docs);
    ASSERT_EQ(tree.root.entries.size(), 1u);
    EXPECT_EQ(tree.root.entries[0].name, "caf\xE9 \xFF.txt");
    EXPECT_EQ(readText(tree.root.entries[0].target), "latin-1");
    ASSERT_EQ(tree.root.folders.size(), 1u);
    EXPECT_EQ(tree.root.folders[0].name, "Gr\xFC\xDF");
    EXPECT_EQ(readText(tree.root.folders[0].entries.at(0).target), "x");
}

TEST(FolderTree, SubfolderThatCannotBeListedIsLeftOutAndCounted)
{
    TempFolder temp;
    const std::string docs = temp.path("Docs");
    writeText(docs + "/open/a.txt", "a");
    writeText(docs + "/closed/secret.txt", "s");
    writeText(docs + "/top.txt", "t");
    for (const std::string& path : {temp.path(), docs, docs + "/open"})
        openToEveryone(path);
    ::chmod((docs + "/closed").c_str(), 0);
    const std::string seen = asOrdinaryUser([&] {
        const ImportTree tree = readFolderTree(docs);
        return outline(tree.root) + "skipped " + std::to_string(tree.skipped);
    });
    ::chmod((docs + "/closed").c_str(), 0700);
    EXPECT_EQ(seen, "+ open\n  - a.txt | " + docs + "/open/a.txt |  | 0\n- top.txt | " + docs
                        + "/top.txt |  | 0\n"
                          "skipped 1");
}

TEST(FolderTree, ChosenFolderMissingOrUnreadableIsRefusedByName)
{
    TempFolder temp;
    const auto refusal = [](const std::string& folder) { return "The folder \"" + folder + "\" cannot be read."; };
    EXPECT_EQ(errorOf(readFolder, temp.path("missing")), refusal(temp.path("missing")));
    writeText(temp.path("plain.txt"), "x");
    EXPECT_EQ(errorOf(readFolder, temp.path("plain.txt")), refusal(temp.path("plain.txt")));
    const std::string closed = temp.path("closed");
    std::filesystem::create_directories(closed);
    openToEveryone(temp.path());
    ::chmod(closed.c_str(), 0);
    EXPECT_EQ(asOrdinaryUser([&] { return errorOf(readFolder, closed); }), refusal(closed));
    ::chmod(closed.c_str(), 0700);
}

TEST(FolderTree, FoldersBelowTheDepthLimitAreCountedAsSkipped)
{
    TempFolder temp;
    std::string path = temp.path("Docs");
    const std::string docs = path;
    for (int level = 1; level <= maxImportDepth + 3; ++level) {
        path += "/d";
        std::filesystem::create_directories(path);
    }
    writeText(path + "/bottom.txt", "b");
    const ImportTree tree = readFolderTree(docs);
    EXPECT_EQ(countFolders(tree.root), maxImportDepth);
    EXPECT_EQ(countEntries(tree.root), 0);
    EXPECT_EQ(tree.skipped, 3 + 1);
}
