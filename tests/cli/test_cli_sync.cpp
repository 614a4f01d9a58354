// SPDX-License-Identifier: GPL-3.0-or-later
// varnelo-cli sync between two catalogues through a folder: what it prints, what it keeps, how it fails.
#include "clirunner.h"
#include "tempfolder.h"

#include "storage/cppsqlite3.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

TEST(CliSync, TwoCataloguesSyncThroughAFolderAndThePlaceIsKept)
{
    TempFolder folder;
    const std::string a = folder.path("a.db"), b = folder.path("b.db"), place = folder.path("place");
    std::filesystem::create_directory(place);
    ASSERT_EQ(runCli({"--db", a, "ls"}).status, 0);
    {
        CppSQLite3DB db;
        db.Open(a.c_str());
        db.ExecuteStatement("insert into link_table (guid,name,target,category,star,comment,type) values"
                            "('i1','shared','https://example.org','5EE0962C-217D-411a-BB72-6261B1B4F5BF',0,'',1);");
    }
    std::ofstream(folder.path("password")) << "unused\n";
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string outHas, errHas;
    };
    const std::vector<Case> cases = {
        {{"--db", a, "sync"}, 1, "", "varnelo-cli: No sync place is set"},
        {{"--db", a, "sync", "--place", place, "--password-file", folder.path("password")}, 0, "0\t7\tno", ""},
        {{"--db", b, "--json", "sync", "--place", place}, 0, "{\"received\":7,\"sent\":0,\"changed\":\"yes\"}", ""},
        // the place was kept with each catalogue
        {{"--db", b, "sync"}, 0, "0\t0\tno", ""},
        {{"--db", b, "ls", "General files"}, 0, "shared", ""},
        {{"--db", a, "sync", "--place", folder.path("missing")}, 1, "", "The sync folder is not there"},
        {{"--db", a, "sync", "--password-file", folder.path("none")}, 1, "", "cannot read the password file"},
    };
    for (const Case& c : cases) {
        const CliResult result = runCli(c.args);
        EXPECT_EQ(result.status, c.status) << c.args.back() << result.err;
        EXPECT_NE(result.out.find(c.outHas), std::string::npos) << result.out;
        if (c.errHas.empty())
            EXPECT_EQ(result.err, "");
        else
            EXPECT_NE(result.err.find(c.errHas), std::string::npos) << result.err;
    }
}
