// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/cfavoriteengine.h"

#include "importtestutil.h"

#include <sys/stat.h>

#include <map>
#include <optional>
#include <vector>

namespace {

struct Seen {
    std::string name, url;
    bool operator==(const Seen&) const = default;
};

std::vector<Seen> folders(const FavoriteNode* head)
{
    std::vector<Seen> seen;
    for (const FavoriteNode* node = head ? head->nextFolder.get() : nullptr; node; node = node->nextFolder.get())
        seen.push_back({node->name, node->url});
    return seen;
}

std::vector<Seen> links(const FavoriteNode* head)
{
    std::vector<Seen> seen;
    for (const FavoriteNode* node = head ? head->nextLink.get() : nullptr; node; node = node->nextLink.get())
        seen.push_back({node->name, node->url});
    return seen;
}

const FavoriteNode* folderNamed(const FavoriteNode* head, const std::string& name)
{
    for (const FavoriteNode* node = head->nextFolder.get(); node; node = node->nextFolder.get())
        if (node->name == name)
            return node;
    return nullptr;
}

// Sets the variables that pick the user's language for one test and puts the old values back.
class LanguageEnvironment {
public:
    LanguageEnvironment()
    {
        for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
            const char* value = std::getenv(name);
            saved[name] = value ? std::optional<std::string>(value) : std::nullopt;
            ::unsetenv(name);
        }
    }
    ~LanguageEnvironment()
    {
        for (const auto& [name, value] : saved) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }
    void set(const char* name, const char* value) { ::setenv(name, value, 1); }
    void unset(const char* name) { ::unsetenv(name); }

private:
    std::map<std::string, std::optional<std::string>> saved;
};

}  // namespace

TEST(CFavoriteEngine, MissingFolderGivesNoTree)
{
    TempFolder temp;
    CFavoriteEngine engine(temp.path("Favorites"));
    EXPECT_EQ(engine.ReadFavorites(), nullptr);
}

TEST(CFavoriteEngine, EmptyFolderGivesLoneHead)
{
    TempFolder temp;
    std::filesystem::create_directory(temp.path("Favorites"));
    CFavoriteEngine engine(temp.path("Favorites"));
    const FavoriteNode* root = engine.ReadFavorites();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->kind, FavoriteNode::kindHead);
    EXPECT_EQ(root->nextFolder, nullptr);
    EXPECT_EQ(root->nextLink, nullptr);
}

TEST(CFavoriteEngine, DefaultEngineReadsFavoritesInHome)
{
    TempFolder temp;
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome ? oldHome : "";
    ::setenv("HOME", temp.path().c_str(), 1);
    writeText(temp.path("Favorites/home.url"), shortcut("https://home.example/"));

    CFavoriteEngine engine;
    const std::vector<Seen> seen = links(engine.ReadFavorites());

    if (oldHome)
        ::setenv("HOME", savedHome.c_str(), 1);
    else
        ::unsetenv("HOME");
    EXPECT_EQ(seen, (std::vector<Seen>{{"home", "https://home.example/"}}));
}

TEST(CFavoriteEngine, ReadsFoldersAndLinksSortedWithKindsAndChildren)
{
    TempFolder temp;
    const std::string fav = temp.path("Favorites");
    writeText(fav + "/News/Daily.url", shortcut("https://daily.example/"));
    writeText(fav + "/News/Agency.URL", shortcut("https://agency.example/"));
    writeText(fav + "/News/Local/Town.url", shortcut("https://town.example/"));
    writeText(fav + "/beta.url", shortcut("https://beta.example/"));
    writeText(fav + "/Alpha.url", shortcut("https://alpha.example/"));
    writeText(fav + "/Zeta/Deep.desktop", "[Desktop Entry]\nType=Link\nName=Other\nURL=https://deep.example/a\\sb\n");
    writeText(fav + "/archive/.keep", "");

    CFavoriteEngine engine(fav);
    const FavoriteNode* root = engine.ReadFavorites();
    ASSERT_NE(root, nullptr);

    EXPECT_EQ(folders(root), (std::vector<Seen>{{"archive", ""}, {"News", ""}, {"Zeta", ""}}));
    EXPECT_EQ(links(root), (std::vector<Seen>{{"Alpha", "https://alpha.example/"}, {"beta", "https://beta.example/"}}));
    const FavoriteNode* news = folderNamed(root, "News");
    ASSERT_NE(news, nullptr);
    EXPECT_EQ(news->kind, FavoriteNode::kindFolder);
    EXPECT_EQ(root->nextLink->kind, FavoriteNode::kindLink);
    ASSERT_NE(news->child, nullptr);
    EXPECT_EQ(news->child->kind, FavoriteNode::kindHead);
    EXPECT_EQ(links(news->child.get()),
              (std::vector<Seen>{{"Agency", "https://agency.example/"}, {"Daily", "https://daily.example/"}}));
    EXPECT_EQ(folders(news->child.get()), (std::vector<Seen>{{"Local", ""}}));
    EXPECT_EQ(links(news->child->nextFolder->child.get()), (std::vector<Seen>{{"Town", "https://town.example/"}}));
    EXPECT_EQ(links(folderNamed(root, "Zeta")->child.get()),
              (std::vector<Seen>{{"Other", "https://deep.example/a b"}}));
    EXPECT_TRUE(links(folderNamed(root, "archive")->child.get()).empty()) << "hidden entries must be skipped";
}

TEST(CFavoriteEngine, SkipsEverythingThatIsNoLinkWithAddress)
{
    TempFolder temp;
    const std::string fav = temp.path("Favorites");
    writeText(fav + "/no section.url", "URL=https://lost.example/\n");
    writeText(fav + "/empty url.url", "[InternetShortcut]\nURL=\n");
    writeText(fav + "/other section.url", "[DEFAULT]\nBASEURL=https://base.example/\nURL=https://wrong.example/\n");
    writeText(fav + "/plain.txt", "https://text.example/\n");
    writeText(fav + "/app.desktop", "[Desktop Entry]\nType=Application\nExec=true\nURL=https://app.example/\n");
    writeText(fav + "/.hidden.url", shortcut("https://hidden.example/"));
    writeText(fav + "/.hiddenfolder/x.url", shortcut("https://hidden.example/"));
    ::mkfifo((fav + "/pipe.url").c_str(), 0600);
    writeText(fav + "/kept.url", shortcut("https://kept.example/"));

    CFavoriteEngine engine(fav);
    const FavoriteNode* root = engine.ReadFavorites();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(links(root), (std::vector<Seen>{{"kept", "https://kept.example/"}}));
    EXPECT_TRUE(folders(root).empty());
}

TEST(CFavoriteEngine, ShortcutFormatsAreReadTolerantly)
{
    TempFolder temp;
    const std::string fav = temp.path("Favorites");
    writeText(fav + "/crlf.url", "[InternetShortcut]\r\nURL=https://crlf.example/\r\nIconIndex=0\r\n");
    writeText(fav + "/bom.url", "\xEF\xBB\xBF[InternetShortcut]\nURL=https://bom.example/\n");
    writeText(fav + "/case.url", "[internetshortcut]\nurl = https://case.example/ \n");
    writeText(fav + "/twice.url", "[InternetShortcut]\nURL=https://first.example/\nURL=https://second.example/\n");
    writeText(fav + "/noeol.url", "[InternetShortcut]\nURL=https://noeol.example/");

    CFavoriteEngine engine(fav);
    EXPECT_EQ(links(engine.ReadFavorites()), (std::vector<Seen>{{"bom", "https://bom.example/"},
                                                                {"case", "https://case.example/"},
                                                                {"crlf", "https://crlf.example/"},
                                                                {"noeol", "https://noeol.example/"},
                                                                {"twice", "https://first.example/"}}));
}

TEST(CFavoriteEngine, DesktopLinksAreNamedAsTheDesktopShowsThemInTheUserLanguage)
{
    TempFolder temp;
    const std::string fav = temp.path("Favorites");
    const auto link = [](const std::string& names) {
        return "[Desktop Entry]\nType=Link\n" + names + "URL=https://x.example/\n";
    };
    writeText(fav + "/a.desktop", link("Name=Plain\nName[de]=Deutsch\nName[fr]=Fran\xC3\xA7"
                                       "ais\n"));
    writeText(fav + "/b.desktop", link(""));
    writeText(fav + "/c.desktop", link("Name=Only plain\n"));
    writeText(fav + "/d.desktop", link("Name[de]=Nur deutsch\n"));
    writeText(fav + "/e.desktop", link("Name=  \n"));
    writeText(fav + "/f.url", "[InternetShortcut]\nURL=https://x.example/\nName=Ignored\n");
    const auto names = [&fav] {
        CFavoriteEngine engine(fav);
        std::string seen;
        for (const Seen& link : links(engine.ReadFavorites()))
            seen += link.name + "; ";
        return seen;
    };

    LanguageEnvironment language;
    language.set("LANG", "C");
    language.set("LC_MESSAGES", "de_DE.UTF-8");
    EXPECT_EQ(names(), "Deutsch; b; Only plain; Nur deutsch; e; f; ");
    language.unset("LC_MESSAGES");
    language.set("LANG", "fr_FR.UTF-8");
    EXPECT_EQ(names(), "Fran\xC3\xA7"
                       "ais; b; Only plain; d; e; f; ");
    language.set("LC_ALL", "C");
    EXPECT_EQ(names(), "Plain; b; Only plain; d; e; f; ");
}

TEST(CFavoriteEngine, DesktopLinksAreReadByTheDesktopEntryRules)
{
    TempFolder temp;
    const std::string fav = temp.path("Favorites");
    writeText(fav + "/escapes.desktop", "# a link\r\n[Desktop Entry]\r\nType = "
                                        "Link\r\nName=Caf\\s\xC3\xA9\r\nURL=https://x.example/a\\qb\\\\c\\sd \r\n");
    writeText(fav + "/later.desktop",
              "[Desktop Entry]\nType=Link\nURL=https://first.example/\nURL=https://later.example/\n");
    writeText(fav + "/other group.desktop", "[Desktop Entry]\nType=Link\n[Other]\nURL=https://other.example/\n");
    writeText(fav + "/not an entry.desktop",
              "[Desktop Entry]\nType=Link\nno equals sign\nURL=https://broken.example/\n");
    writeText(fav + "/bytes.desktop", "[Desktop Entry]\nType=Link\nURL=https://x.example/caf\xE9\n");

    CFavoriteEngine engine(fav);
    EXPECT_EQ(links(engine.ReadFavorites()), (std::vector<Seen>{{"Caf \xC3\xA9", "https://x.example/a\\qb\\c d"},
                                                                {"later", "https://later.example/"}}));
}

TEST(CFavoriteEngine, SubfolderThatCanBeEnteredButNotListedIsAnEmptyFolder)
{
    TempFolder temp;
    const std::string fav = temp.path("Favorites");
    writeText(fav + "/Locked/inner.url", shortcut("https://inner.example/"));
    writeText(fav + "/Open/open.url", shortcut("https://open.example/"));
    writeText(fav + "/Sealed/sealed.url", shortcut("https://sealed.example/"));
    openToEveryone(temp.path());
    for (const char* folder : {"", "/Open"})
        ::chmod((fav + folder).c_str(), 0755);
    ::chmod((fav + "/Locked").c_str(), 0311);
    ::chmod((fav + "/Sealed").c_str(), 0);

    const std::string seen = asOrdinaryUser([&fav] {
        CFavoriteEngine engine(fav);
        const FavoriteNode* root = engine.ReadFavorites();
        std::string text;
        for (const FavoriteNode* folder = root->nextFolder.get(); folder; folder = folder->nextFolder.get()) {
            text += folder->name + " [";
            for (const Seen& link : links(folder->child.get()))
                text += link.name;
            text += std::string(folder->child ? "" : "no head") + "] ";
        }
        return text;
    });
    for (const char* folder : {"/Locked", "/Sealed"})
        ::chmod((fav + folder).c_str(), 0700);
    EXPECT_EQ(seen, "Locked [] Open [open] ");
}

TEST(CFavoriteEngine, NonUtf8NamesAndAddressesBecomeValidUtf8)
{
    TempFolder temp;
    const std::string fav = temp.path("Favorites");
    writeText(fav + "/Caf\xE9.url", shortcut("https://example.com/\x93quoted\x94"));
    writeText(fav + "/Gr\xC3\xBC\xC3\x9F.url", shortcut("https://example.com/gr\xC3\xBC\xC3\x9F"));

    CFavoriteEngine engine(fav);
    EXPECT_EQ(links(engine.ReadFavorites()),
              (std::vector<Seen>{{"Caf\xC3\xA9", "https://example.com/\xE2\x80\x9Cquoted\xE2\x80\x9D"},
                                 {"Gr\xC3\xBC\xC3\x9F", "https://example.com/gr\xC3\xBC\xC3\x9F"}}));
}

TEST(CFavoriteEngine, SymbolicLinkLoopsEndAndOtherLinkedFoldersAreRead)
{
    TempFolder temp;
    const std::string fav = temp.path("Favorites");
    writeText(fav + "/A/inner.url", shortcut("https://inner.example/"));
    writeText(temp.path("Shared/outside.url"), shortcut("https://outside.example/"));
    std::filesystem::create_directory_symlink(fav + "/A", fav + "/A/again");
    std::filesystem::create_directory_symlink(fav, fav + "/A/up");
    std::filesystem::create_directory_symlink(temp.path("Shared"), fav + "/Shared");

    CFavoriteEngine engine(fav);
    const FavoriteNode* root = engine.ReadFavorites();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(folders(root), (std::vector<Seen>{{"A", ""}, {"Shared", ""}}));
    const FavoriteNode* a = folderNamed(root, "A");
    EXPECT_TRUE(folders(a->child.get()).empty()) << "a loop back up the chain was followed";
    EXPECT_EQ(links(a->child.get()), (std::vector<Seen>{{"inner", "https://inner.example/"}}));
    EXPECT_EQ(links(folderNamed(root, "Shared")->child.get()),
              (std::vector<Seen>{{"outside", "https://outside.example/"}}));
}

TEST(CFavoriteEngine, RereadingReplacesTheEarlierTree)
{
    TempFolder temp;
    const std::string fav = temp.path("Favorites");
    writeText(fav + "/one.url", shortcut("https://one.example/"));
    CFavoriteEngine engine(fav);
    ASSERT_EQ(links(engine.ReadFavorites()).size(), 1u);
    writeText(fav + "/two.url", shortcut("https://two.example/"));
    EXPECT_EQ(links(engine.ReadFavorites()).size(), 2u);
}

TEST(FavoriteNode, VeryLongChainIsFreedWithoutExhaustingTheStack)
{
    EXPECT_EXIT(
        {
            auto head = std::make_unique<FavoriteNode>();
            std::unique_ptr<FavoriteNode>* tail = &head->nextLink;
            for (int i = 0; i < 1000000; ++i) {
                *tail = std::make_unique<FavoriteNode>(FavoriteNode::kindLink, "n", "u");
                tail = &(*tail)->nextLink;
            }
            head.reset();
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}
