// SPDX-License-Identifier: GPL-3.0-or-later
#include "check/checkstore.h"
#include "contenttestutil.h"
#include "documents.h"

#include <QCoreApplication>

#include <filesystem>

#include <sys/stat.h>
#include <utime.h>

namespace {

const std::string sentence = "Le Résumé de l'Été. Ελληνικά κείμενα. Кириллица.";

// Catches a reader broken for its format, a PDF hit on the wrong page, text in a legacy encoding
// read as garbage, and case or accents not folded in any script.
TEST_F(ContentTest, EachFormatIsFoundByAWordOnlyItsBodyHolds)
{
    struct Case {
        std::string name;
        std::string word;
        int page;
        std::string guid;
    };
    std::vector<Case> cases = {{"report.odt", "marigold", 0, {}}, {"report.docx", "tangerine", 0, {}},
                               {"slides.pptx", "quokka", 0, {}},  {"book.epub", "xylophone", 0, {}},
                               {"page.html", "zeppelin", 0, {}},  {"notes.md", "kumquat", 0, {}},
                               {"legacy.txt", "gazpacho", 0, {}}, {"manual.pdf", "aardvark", 2, {}}};
    std::vector<std::string> withSentence;
    for (Case& each : cases) {
        const std::string path = file(each.name);
        const std::string body = "# Heading\n\n" + sentence + " The " + each.word + " is here.\n";
        if (each.name.ends_with(".pdf"))
            documents::pdf({"The first page", "The " + each.word + " on the second page", "A third"}, path);
        else if (each.name.ends_with(".md"))
            documents::write(path, body);
        else if (each.name.ends_with(".txt"))
            documents::write(path, "L'\xC9t\xE9 \xE0 Paris, le " + each.word + " froid.\n");
        else
            documents::pandoc(body, path);
        each.guid = catalogue.add(path, 0, each.name);
        if (!each.name.ends_with(".pdf") && !each.name.ends_with(".txt"))
            withSentence.push_back(each.guid);
    }
    content::ContentIndexer indexer(setup());
    indexer.updateFromCatalogue();
    const content::IndexReport report = indexer.refresh();
    EXPECT_EQ(report.read, int(cases.size()));
    EXPECT_EQ(report.failed, 0);

    for (const Case& each : cases) {
        SCOPED_TRACE(each.name);
        const auto hits = indexer.index().search(each.word, 10);
        ASSERT_EQ(hits.size(), 1u);
        EXPECT_EQ(hits[0].guid, each.guid);
        EXPECT_EQ(hits[0].page, each.page);
        EXPECT_NE(hits[0].snippet.find("**" + each.word + "**"), std::string::npos) << hits[0].snippet;
    }
    content::ContentIndex& index = indexer.index();
    EXPECT_EQ(found(index, "resume"), sorted(withSentence));
    EXPECT_EQ(found(index, "RÉSUMÉ"), sorted(withSentence));
    EXPECT_EQ(found(index, "ΚΕΙΜΕΝΑ"), sorted(withSentence));
    EXPECT_EQ(found(index, "кириллица"), sorted(withSentence));
    EXPECT_EQ(found(index, "\"resume de l ete\""), sorted(withSentence));
    EXPECT_EQ(found(index, "xylo*"), std::vector<std::string>{cases[3].guid});
    std::vector<std::string> summer = withSentence;
    summer.push_back(cases[6].guid);
    EXPECT_EQ(found(index, "été"), sorted(summer));
}

// Catches an SQL error shown to the user for a query FTS5 cannot read.
TEST_F(ContentTest, AMalformedQueryIsAMessageInWords)
{
    content::ContentIndex index(setup().indexPath);
    const std::pair<std::string, std::string> cases[] = {
        {"contract AND", "The search \"contract AND\" cannot be read: it ends too early (after an AND, OR, NOT or an "
                         "open bracket)."},
        {"\"open quote", "The search \"\"open quote\" cannot be read: a double quote is not closed."},
        {"title:deed", "The search \"title:deed\" cannot be read: \"title:\" names no field; put words with a colon "
                       "in double quotes."},
        {"(contract", "The search \"(contract\" cannot be read: it ends too early (after an AND, OR, NOT or an open "
                      "bracket)."},
    };
    for (const auto& [query, message] : cases) {
        try {
            index.search(query, 10);
            ADD_FAILURE() << query << " was taken";
        } catch (const content::ContentQueryError& error) {
            EXPECT_EQ(std::string(error.what()), message);
        }
    }
}

void setTime(const std::string& path, time_t when)
{
    const utimbuf times{when, when};
    ASSERT_EQ(::utime(path.c_str(), &times), 0);
}

// Catches every file read again on every run, a changed file keeping its old words, deleted items
// still found, and a vanished file losing its text before the check has found it missing.
TEST_F(ContentTest, ReadsAgainOnlyWhatChangedAndFollowsTheCatalogue)
{
    documents::write(file("a.md"), "alpha words\n");
    documents::write(file("b.md"), "beta words\n");
    const std::string a = catalogue.add(file("a.md"), 0);
    const std::string b = catalogue.add(file("b.md"), 0);
    catalogue.add("https://example.org/not-kept", 1);
    content::ContentIndexer indexer(setup());
    EXPECT_TRUE(indexer.updateFromCatalogue());
    EXPECT_EQ(indexer.refresh().read, 2);

    EXPECT_FALSE(indexer.updateFromCatalogue());
    content::IndexReport again = indexer.refresh();
    EXPECT_EQ(again.read + again.unchanged + again.withoutText, 0);

    setTime(file("a.md"), 1700000000);
    again = indexer.refresh();
    EXPECT_EQ(again.unchanged, 1);
    EXPECT_EQ(again.read, 0);

    documents::write(file("b.md"), "gamma words, and more of them\n");
    EXPECT_EQ(indexer.refresh().read, 1);
    EXPECT_EQ(found(indexer.index(), "beta"), std::vector<std::string>{});
    EXPECT_EQ(found(indexer.index(), "gamma"), std::vector<std::string>{b});

    documents::write(file("c.md"), "delta words\n");
    const std::string c = catalogue.add(file("c.md"), 0);
    const std::string twin = catalogue.add("file://" + file("c.md"), 0);
    CLinkItem gone;
    gone.SetGuid(a);
    ASSERT_TRUE(catalogue.db.DeleteItem(gone));
    EXPECT_TRUE(indexer.updateFromCatalogue());
    EXPECT_EQ(indexer.refresh().read, 1);
    EXPECT_EQ(found(indexer.index(), "alpha"), std::vector<std::string>{});
    EXPECT_EQ(found(indexer.index(), "delta"), sorted({c, twin}));

    std::filesystem::remove(file("c.md"));
    indexer.refresh();
    EXPECT_EQ(found(indexer.index(), "delta"), sorted({c, twin}));
    EXPECT_TRUE(indexer.index().documentOf(c)->gone);

    check::CheckStore store(catalogue.db);
    store.ensureTable();
    check::Finding missing;
    missing.guid = c;
    missing.kind = check::Kind::Missing;
    missing.target = file("c.md");
    store.record(missing, 1);
    indexer.updateFromCatalogue();
    indexer.refresh();
    EXPECT_EQ(found(indexer.index(), "delta"), std::vector<std::string>{});
    EXPECT_EQ(content::describe(*indexer.index().documentOf(twin)), "no text: No such file or directory");
    EXPECT_EQ(content::describe(*indexer.index().documentOf(b)), "");

    // Text files switched off lose their text, and switched on again are read again.
    content::IndexerSetup withoutText = setup();
    withoutText.settings.kinds = content::kindsFromText("pdf,office,epub,html");
    content::ContentIndexer narrower(withoutText);
    narrower.updateFromCatalogue();
    narrower.refresh();
    EXPECT_EQ(found(narrower.index(), "gamma"), std::vector<std::string>{});
    EXPECT_EQ(content::describe(*narrower.index().documentOf(b)), "no text: text files are not read");
    indexer.refresh();
    EXPECT_EQ(found(indexer.index(), "gamma"), std::vector<std::string>{b});
}

// Catches an index file others can read, one written through a link planted in its place (moved aside), and a
// damaged file that stops the index for good.
TEST_F(ContentTest, TheIndexFileIsPrivateNeverALinkAndMadeAgainWhenDamaged)
{
    const std::string path = setup().indexPath;
    {
        content::ContentIndex made(path);
    }
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    std::filesystem::remove(path);
    documents::write(file("elsewhere.db"), "");
    std::filesystem::create_symlink(file("elsewhere.db"), path);
    {
        content::ContentIndex linked(path);
    }
    EXPECT_EQ(std::filesystem::file_size(file("elsewhere.db")), 0u);
    EXPECT_TRUE(std::filesystem::is_symlink(path + ".not-ours-1"));

    std::filesystem::remove(path);
    documents::write(path, std::string(8192, 'x'));
    content::ContentIndex remade(path);
    EXPECT_TRUE(remade.search("anything", 10).empty());
}

}  // namespace
