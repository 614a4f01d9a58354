// SPDX-License-Identifier: GPL-3.0-or-later
// The connector's host as a browser meets it: installed by `varnelo-cli connector --install`, started
// from the path its manifest names with the browser's arguments, spoken to in native messaging frames.
#include "commands/cataloguecommands.h"
#include "commands/catalogueopening.h"
#include "connector/hostmanifests.h"
#include "shell/sendrequest.h"
#include "shell/singleinstance.h"

#include "tempfolder.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

QJsonObject jsonFile(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    file.open(QIODevice::ReadOnly);
    return QJsonDocument::fromJson(file.readAll()).object();
}

QByteArray message(const QJsonObject& request)
{
    return QJsonDocument(request).toJson(QJsonDocument::Compact);
}

// A user's home with its own data, config, cache and runtime folders; the window this test plays
// runs in the same session as the host.
struct Home {
    Home()
    {
        std::filesystem::create_directories(folder.path("data/Varnelo"));
        std::filesystem::create_directory(folder.path("runtime"));
        std::filesystem::permissions(folder.path("runtime"), std::filesystem::perms::owner_all);
        const std::pair<const char*, const char*> folders[] = {{"HOME", ""},
                                                               {"XDG_DATA_HOME", "data"},
                                                               {"XDG_CONFIG_HOME", "config"},
                                                               {"XDG_CACHE_HOME", "cache"},
                                                               {"XDG_RUNTIME_DIR", "runtime"}};
        for (const auto& [name, sub] : folders)
            environment.insert(name, QString::fromStdString(folder.path(sub)));
        environment.insert("DISPLAY", "connector-test");
        environment.remove("WAYLAND_DISPLAY");
        for (const QString& name : environment.keys())
            qputenv(name.toLocal8Bit(), environment.value(name).toLocal8Bit());
        qunsetenv("WAYLAND_DISPLAY");
    }
    std::string catalogue() const { return folder.path("data/Varnelo/FavoritesDB.db"); }

    // What varnelo-cli printed.
    std::string cli(const QStringList& arguments) const
    {
        QProcess run;
        run.setProcessEnvironment(environment);
        run.start(QStringLiteral(VARNELO_CLI), arguments);
        run.waitForFinished(60000);
        EXPECT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();
        return run.readAllStandardOutput().toStdString();
    }

    TempFolder folder;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
};

// The host started as a browser starts it, answering one frame per message.
class BrowserSide {
public:
    BrowserSide(const Home& home, const std::string& manifest, const QStringList& arguments)
    {
        host.setProcessEnvironment(home.environment);
        host.start(jsonFile(manifest)["path"].toString(), arguments);
        EXPECT_TRUE(host.waitForStarted(60000)) << manifest;
    }
    ~BrowserSide()
    {
        host.closeWriteChannel();
        host.waitForFinished(60000);
        EXPECT_EQ(host.exitCode(), 0) << host.readAllStandardError().toStdString();
    }

    QJsonObject ask(const QByteArray& payload)
    {
        const quint32 length = quint32(payload.size());
        host.write(reinterpret_cast<const char*>(&length), sizeof length);
        host.write(payload);
        for (QDeadlineTimer deadline(60000); !deadline.hasExpired();) {
            received += host.readAllStandardOutput();
            quint32 size = 0;
            std::memcpy(&size, received.constData(), std::min<std::size_t>(sizeof size, std::size_t(received.size())));
            if (received.size() >= qsizetype(sizeof size) && received.size() >= qsizetype(sizeof size + size)) {
                EXPECT_LE(size, 1024u * 1024u) << "browsers take no larger answer";
                const QByteArray answer = received.mid(sizeof size, size);
                received.remove(0, qsizetype(sizeof size + size));
                return QJsonDocument::fromJson(answer).object();
            }
            // Events go on while waiting: the host may be talking to the window this test plays.
            host.waitForReadyRead(20);
            QCoreApplication::processEvents();
        }
        ADD_FAILURE() << "no answer within 60 s";
        return {};
    }

private:
    QProcess host;
    QByteArray received;
};

// The GUIDs of a list of GUIDs, or of objects that carry one.
std::vector<std::string> guidsOf(const QJsonArray& list)
{
    std::vector<std::string> guids;
    for (const QJsonValue& each : list)
        guids.push_back((each.isString() ? each : each.toObject()["guid"]).toString().toStdString());
    return guids;
}

// A category path as the CLI writes one.
std::string names(const QJsonValue& path)
{
    return path.toVariant().toStringList().join('/').toStdString();
}

// Every request and refusal in one conversation with one host process, as a popup and a shortcut
// would hold it.
TEST(ConnectorHost, AnswersEveryRequestAndRefusalThroughTheBrowsersFraming)
{
    static int argc = 1;
    static char name[] = "test_connector";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    Home home;

    // A catalogue whose categories take more than one answer: 3,000 names of 400 characters.
    std::string reading;
    std::string tides;
    {
        CDBManager db;
        openCatalogue(db, home.catalogue());
        CatalogueCommands commands(db);
        CCategory& readingCategory = commands.addCategory(db.GetRootCategory(), "Reading", 0);
        reading = readingCategory.GetGuid();
        tides = commands.addCategory(readingCategory, "Tides", 0).GetGuid();
        CCategory& bulk = commands.addCategory(db.GetRootCategory(), "Bulk", 0);
        db.ExecuteStatement("begin transaction;");
        for (int i = 0; i < 3000; ++i)
            commands.addCategory(bulk, std::to_string(i) + std::string(400, 'x'), 0);
        db.ExecuteStatement("commit transaction;");
    }

    home.cli({"connector", "--install"});
    const std::string chromium = home.folder.path("config/chromium/NativeMessagingHosts/app.varnelo.connector.json");
    const std::string firefox = home.folder.path(".mozilla/native-messaging-hosts/app.varnelo.connector.json");
    for (const char* other : {"google-chrome", "BraveSoftware/Brave-Browser", "vivaldi"})
        EXPECT_EQ(jsonFile(home.folder.path("config/") + other + "/NativeMessagingHosts/app.varnelo.connector.json"),
                  jsonFile(chromium));
    const QString origin = QStringLiteral("chrome-extension://%1/").arg(connector::chromiumExtensionId);
    EXPECT_EQ(jsonFile(chromium)["allowed_origins"].toArray().at(0).toString(), origin);
    EXPECT_EQ(jsonFile(firefox)["allowed_extensions"].toArray().at(0).toString(), connector::firefoxExtensionId);
    {
        // Firefox passes the manifest's path and the extension's id.
        BrowserSide fromFirefox(home, firefox, {QString::fromStdString(firefox), connector::firefoxExtensionId});
        EXPECT_TRUE(fromFirefox.ask(message({{"command", "categories"}}))["ok"].toBool());
    }
    BrowserSide browser(home, chromium, {origin});

    // The tree in parts, each parent before its children.
    const QJsonObject first = browser.ask(message({{"command", "categories"}}));
    ASSERT_TRUE(first.contains("next"));
    const QJsonObject rest = browser.ask(message({{"command", "categories"}, {"from", first["next"]}}));
    EXPECT_FALSE(rest.contains("next"));
    const std::vector<std::string> before = guidsOf(first["categories"].toArray());
    std::vector<std::string> guids = before;
    for (const std::string& guid : guidsOf(rest["categories"].toArray()))
        guids.push_back(guid);
    EXPECT_EQ(guids.size(), 6u + 3u + 3000u);
    for (const QJsonArray& part : {first["categories"].toArray(), rest["categories"].toArray()})
        for (const QJsonValue& each : part) {
            const std::string parent = each.toObject()["parent"].toString().toStdString();
            const auto self = std::find(guids.begin(), guids.end(), each.toObject()["guid"].toString().toStdString());
            EXPECT_TRUE(parent.empty() || std::find(guids.begin(), self, parent) != self);
        }

    // A chosen category; the title made one line; the same address written otherwise found with its place.
    const QJsonObject added = browser.ask(message({{"command", "add"},
                                                   {"url", "http://tides.example/b/~sea"},
                                                   {"title", "Tide\ntables"},
                                                   {"description", "High water at noon"},
                                                   {"category", QString::fromStdString(tides)}}));
    const std::string filed = added["guid"].toString().toStdString();
    const QJsonArray found =
        browser.ask(message({{"command", "lookup"}, {"url", "HTTP://Tides.Example:80/a/../b/%7Esea"}}))["items"]
            .toArray();
    ASSERT_EQ(guidsOf(found), std::vector<std::string>{filed});
    EXPECT_EQ(found[0].toObject()["title"].toString(), "Tide tables");
    EXPECT_EQ(names(found[0].toObject()["path"]), "Reading/Tides");

    // The shortcut files to the category used last, and the picker offers it first.
    browser.ask(
        message({{"command", "add"}, {"url", "https://x.example/"}, {"category", QString::fromStdString(reading)}}));
    EXPECT_EQ(names(browser.ask(message({{"command", "add"}, {"url", "https://x.example/vigo"}}))["path"]), "Reading");
    EXPECT_EQ(guidsOf(browser.ask(message({{"command", "categories"}}))["recent"].toArray()),
              std::vector<std::string>({reading, tides}));

    // A local page is filed as the file it is.
    const QByteArray local = message({{"command", "add"}, {"url", "file:///tmp/a%20b.html"}, {"title", "Notes"}});
    const std::string fileItem = browser.ask(local)["guid"].toString().toStdString();
    EXPECT_EQ(
        guidsOf(browser.ask(message({{"command", "lookup"}, {"url", "file:///tmp/a%20b.html"}}))["items"].toArray()),
        std::vector<std::string>{fileItem});

    // A kept copy without its scripts, found by its words.
    const QJsonObject kept = browser.ask(message({{"command", "keep"},
                                                  {"guid", QString::fromStdString(filed)},
                                                  {"html", "<html><head><script>steal()</script></head>"
                                                           "<body><p>Quillwort grows below the tide line.</p>"}}));
    ASSERT_TRUE(kept["indexed"].toBool())
        << kept["error"].toString().toStdString() << kept["detail"].toString().toStdString();
    std::ifstream copy(kept["file"].toString().toStdString());
    const std::string page((std::istreambuf_iterator<char>(copy)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(page.find("Quillwort") != std::string::npos && page.find("steal()") == std::string::npos) << page;
    EXPECT_EQ(home.cli({"search", "--content", "quillwort"}).substr(0, filed.size()), filed);

    const QString guid = QString::fromStdString(filed);
    const std::string scripted =
        "runs a script or holds inline data (javascript:, vbscript:, data:); nothing was added.";
    const struct {
        const char* fault;
        QByteArray message;
        std::string reason;
    } refusals[] = {
        {"a page over 20 MB is kept",
         message({{"command", "keep"}, {"guid", guid}, {"html", QString(20 << 20, 'a') + "a"}}),
         "The page is larger than 20 MB; no copy was kept."},
        {"a file gets a kept page",
         message({{"command", "keep"}, {"guid", QString::fromStdString(fileItem)}, {"html", "<p>"}}),
         "The item \"Notes\" is a file, not a web address; no copy was kept."},
        {"a message over 1 MB is carried out",
         message({{"command", "add"}, {"url", "https://x.example/"}, {"description", QString(1 << 20, 'd')}}),
         "The message is larger than 1 MB; nothing was done."},
        {"a frame longer than any browser sends throws the stream out of step", QByteArray((64 << 20) + 1, ' '),
         "The message is larger than 64 MB; nothing was done."},
        {"a script address is filed", message({{"command", "add"}, {"url", " jav\tascript:alert(1)"}}),
         "\" jav\tascript:alert(1)\" " + scripted},
        {"a data address is filed", message({{"command", "add"}, {"url", "DATA:text/html,<b>"}}),
         "\"DATA:text/html,<b>\" " + scripted},
        {"a vanished category takes the page",
         message({{"command", "add"}, {"url", "https://x.example/"}, {"category", "gone"}}),
         "The category chosen is no longer in the catalogue; choose another. Nothing was added."},
        {"an unknown command passes unsaid", message({{"command", "run"}, {"program", "xterm"}}),
         "Unknown command \"run\": the connector takes categories, lookup, add, keep and locate."},
        {"what is no JSON object breaks the host", "[\"categories\"", "The message is not a JSON object."},
        {"an unknown item is located", message({{"command", "locate"}, {"guid", "nope"}}),
         "There is no item nope in the catalogue."},
        {"locating without a window claims success", message({{"command", "locate"}, {"guid", guid}}),
         "Varnelo is not running: start it, then choose \"Open in Varnelo\" again."},
    };
    for (const auto& refusal : refusals) {
        SCOPED_TRACE(refusal.fault);
        const QJsonObject answer = browser.ask(refusal.message);
        EXPECT_FALSE(answer["ok"].toBool());
        EXPECT_EQ(answer["error"].toString().toStdString(), refusal.reason);
    }

    // The running window is handed the item.
    QByteArray handed;
    SingleInstance window;
    QObject::connect(&window, &SingleInstance::requestReceived, [&](const QByteArray& request) { handed = request; });
    ASSERT_TRUE(window.claim());
    EXPECT_TRUE(browser.ask(message({{"command", "locate"}, {"guid", guid}}))["ok"].toBool());
    EXPECT_EQ(locatedGuid(handed), filed);

    // The catalogue is opened afresh for each message, and a refusal to open it is said.
    std::filesystem::rename(home.catalogue(), home.catalogue() + ".aside");
    std::filesystem::create_directory(home.catalogue());
    EXPECT_EQ(browser.ask(message({{"command", "categories"}}))["error"].toString().toStdString(),
              "Cannot open the catalogue \"" + home.catalogue()
                  + "\": SQLITE_CANTOPEN[14]: unable to open database file");
    std::filesystem::remove(home.catalogue());
    std::filesystem::rename(home.catalogue() + ".aside", home.catalogue());
    CDBManager db;
    db.Open(home.catalogue());
    EXPECT_EQ(db.ExecuteScalar("select count(*) from link_table;"), 4) << "only the adds meant to add did";
    EXPECT_EQ(db.ReadItem(filed)->GetComment(), "High water at noon");
}

}  // namespace
