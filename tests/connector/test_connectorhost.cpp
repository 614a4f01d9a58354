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
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
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

// A user's home with its own data, config, cache and runtime folders, and the host installed in it.
struct Home {
    Home()
    {
        std::filesystem::create_directories(folder.path("runtime"));
        std::filesystem::create_directories(folder.path("data/Varnelo"));
        std::filesystem::permissions(folder.path("runtime"), std::filesystem::perms::owner_all);
        environment.insert("HOME", QString::fromStdString(folder.path()));
        environment.insert("XDG_DATA_HOME", QString::fromStdString(folder.path("data")));
        environment.insert("XDG_CONFIG_HOME", QString::fromStdString(folder.path("config")));
        environment.insert("XDG_CACHE_HOME", QString::fromStdString(folder.path("cache")));
        environment.insert("XDG_RUNTIME_DIR", QString::fromStdString(folder.path("runtime")));
        environment.insert("DISPLAY", "connector-test");
        environment.remove("WAYLAND_DISPLAY");
        // The window this test plays runs in the same session as the host.
        for (const QString& name : environment.keys())
            qputenv(name.toLocal8Bit(), environment.value(name).toLocal8Bit());
        qunsetenv("WAYLAND_DISPLAY");
    }
    std::string catalogue() const { return folder.path("data/Varnelo/FavoritesDB.db"); }

    TempFolder folder;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
};

QProcess* startedCli(const Home& home, const QStringList& arguments)
{
    auto* cli = new QProcess;
    cli->setProcessEnvironment(home.environment);
    cli->start(QStringLiteral(VARNELO_CLI), arguments);
    return cli;
}

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
        EXPECT_EQ(host.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(host.exitCode(), 0) << host.readAllStandardError().toStdString();
    }

    // Events go on while waiting: the host may be talking to a window this test plays.
    QJsonObject ask(const QByteArray& payload)
    {
        const quint32 length = quint32(payload.size());
        host.write(reinterpret_cast<const char*>(&length), sizeof length);
        host.write(payload);
        QEventLoop loop;
        QTimer deadline;
        QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
        QObject::connect(&host, &QProcess::readyReadStandardOutput, &loop, [&] {
            received += host.readAllStandardOutput();
            if (frameArrived())
                loop.quit();
        });
        deadline.start(60000);
        if (!frameArrived())
            loop.exec();
        if (!frameArrived()) {
            ADD_FAILURE() << "no answer within 60 s";
            return {};
        }
        quint32 size = 0;
        std::memcpy(&size, received.constData(), sizeof size);
        EXPECT_LE(size, 1024u * 1024u) << "browsers take no larger answer";
        const QByteArray answer = received.mid(sizeof size, size);
        received.remove(0, qsizetype(sizeof size + size));
        return QJsonDocument::fromJson(answer).object();
    }

private:
    bool frameArrived() const
    {
        quint32 size = 0;
        if (received.size() < qsizetype(sizeof size))
            return false;
        std::memcpy(&size, received.constData(), sizeof size);
        return received.size() >= qsizetype(sizeof size + size);
    }

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

QStringList names(const QJsonValue& path)
{
    QStringList found;
    for (const QJsonValue& name : path.toArray())
        found << name.toString();
    return found;
}

// Every request and refusal, in one conversation with one host process, as a popup and a shortcut
// would hold it; each row names the fault a wrong answer would reveal.
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

    std::unique_ptr<QProcess> install(startedCli(home, {"connector", "--install"}));
    ASSERT_TRUE(install->waitForFinished(60000));
    ASSERT_EQ(install->exitCode(), 0) << install->readAllStandardError().toStdString();
    const std::string chromium = home.folder.path("config/chromium/NativeMessagingHosts/app.varnelo.connector.json");
    const std::string firefox = home.folder.path(".mozilla/native-messaging-hosts/app.varnelo.connector.json");
    for (const char* other : {"google-chrome", "BraveSoftware/Brave-Browser", "vivaldi"})
        EXPECT_EQ(jsonFile(home.folder.path("config/") + other + "/NativeMessagingHosts/app.varnelo.connector.json"),
                  jsonFile(chromium))
            << other;
    EXPECT_EQ(jsonFile(chromium)["allowed_origins"].toArray().at(0).toString(),
              QStringLiteral("chrome-extension://%1/").arg(connector::chromiumExtensionId));
    EXPECT_EQ(jsonFile(firefox)["allowed_extensions"].toArray().at(0).toString(), connector::firefoxExtensionId);

    {
        // Firefox passes the manifest's path and the extension's id.
        BrowserSide fromFirefox(home, firefox, {QString::fromStdString(firefox), connector::firefoxExtensionId});
        EXPECT_TRUE(fromFirefox.ask(message({{"command", "categories"}}))["ok"].toBool());
    }

    BrowserSide browser(home, chromium, {QStringLiteral("chrome-extension://%1/").arg(connector::chromiumExtensionId)});
    std::string filed;
    std::string fileItem;
    QByteArray windowGot;
    SingleInstance window;
    QObject::connect(&window, &SingleInstance::requestReceived,
                     [&](const QByteArray& request) { windowGot = request; });
    auto refused = [](const std::string& reason) {
        return [reason](const QJsonObject& answer) {
            EXPECT_FALSE(answer["ok"].toBool());
            EXPECT_EQ(answer["error"].toString().toStdString(), reason);
        };
    };
    const std::string page = "<html><head><title>Tides</title><script>steal()</script></head>"
                             "<body><p>The quillwort grows below the tide line.</p></body></html>";

    struct Exchange {
        const char* fault;
        std::function<QByteArray()> message;
        std::function<void(const QJsonObject&)> check;
    };
    const std::vector<Exchange> conversation = {
        {"the tree is cut, unordered or loses its parents",
         [] {
             return message({{"command", "categories"}});
         },
         [&](const QJsonObject& first) {
             ASSERT_TRUE(first["ok"].toBool());
             ASSERT_TRUE(first.contains("next"));
             const QJsonObject rest = browser.ask(message({{"command", "categories"}, {"from", first["next"]}}));
             EXPECT_FALSE(rest.contains("next"));
             QJsonArray all = first["categories"].toArray();
             for (const QJsonValue& each : rest["categories"].toArray())
                 all.append(each);
             EXPECT_EQ(all.size(), 6 + 2 + 1 + 3000);
             const std::vector<std::string> guids = guidsOf(all);
             for (const QJsonValue& each : all) {
                 const std::string parent = each.toObject()["parent"].toString().toStdString();
                 const auto self = std::find(guids.begin(), guids.end(), guidsOf({each}).front());
                 EXPECT_TRUE(parent.empty() || std::find(guids.begin(), self, parent) != self) << "parent first";
             }
             EXPECT_TRUE(first["recent"].toArray().isEmpty());
         }},
        {"a chosen category, a title made one line, the description dropped",
         [&] {
             return message({{"command", "add"},
                             {"url", "http://tides.example/b/~sea"},
                             {"title", "Tide\ntables"},
                             {"description", "High water at noon"},
                             {"category", QString::fromStdString(tides)}});
         },
         [&](const QJsonObject& answer) {
             ASSERT_TRUE(answer["ok"].toBool()) << answer["error"].toString().toStdString();
             filed = answer["guid"].toString().toStdString();
             EXPECT_EQ(names(answer["path"]), QStringList({"Reading", "Tides"}));
         }},
        {"the same address written otherwise is not found, or found without its place",
         [] {
             return message({{"command", "lookup"}, {"url", "HTTP://Tides.Example:80/a/../b/%7Esea"}});
         },
         [&](const QJsonObject& answer) {
             const QJsonArray items = answer["items"].toArray();
             ASSERT_EQ(items.size(), 1);
             EXPECT_EQ(guidsOf(items).front(), filed);
             EXPECT_EQ(items[0].toObject()["title"].toString(), "Tide tables");
             EXPECT_EQ(names(items[0].toObject()["path"]), QStringList({"Reading", "Tides"}));
             EXPECT_FALSE(items[0].toObject()["kept"].toBool());
         }},
        {"a second category chosen is not remembered",
         [&] {
             return message({{"command", "add"},
                             {"url", "https://tides.example/reading"},
                             {"category", QString::fromStdString(reading)}});
         },
         [&](const QJsonObject& answer) { EXPECT_EQ(names(answer["path"]), QStringList({"Reading"})); }},
        {"the shortcut's add does not go to the category used last",
         [] {
             return message({{"command", "add"}, {"url", "https://tides.example/vigo"}, {"title", "Vigo"}});
         },
         [&](const QJsonObject& answer) { EXPECT_EQ(answer["category"].toString().toStdString(), reading); }},
        {"a local page is not filed as the file it is",
         [] {
             return message({{"command", "add"}, {"url", "file:///tmp/notes%20on%20tides.html"}, {"title", "Notes"}});
         },
         [&](const QJsonObject& answer) {
             fileItem = answer["guid"].toString().toStdString();
             const QJsonObject found =
                 browser.ask(message({{"command", "lookup"}, {"url", "file:///tmp/notes%20on%20tides.html"}}));
             EXPECT_EQ(guidsOf(found["items"].toArray()), std::vector<std::string>{fileItem});
         }},
        {"the picker does not offer the category used last first",
         [] {
             return message({{"command", "categories"}});
         },
         [&](const QJsonObject& answer) {
             EXPECT_EQ(guidsOf(answer["recent"].toArray()), std::vector<std::string>({reading, tides}));
         }},
        {"a kept copy keeps its scripts, or is not found by its words",
         [&] {
             return message({{"command", "keep"},
                             {"guid", QString::fromStdString(filed)},
                             {"html", QString::fromStdString(page)}});
         },
         [&](const QJsonObject& answer) {
             ASSERT_TRUE(answer["ok"].toBool()) << answer["error"].toString().toStdString();
             EXPECT_TRUE(answer["indexed"].toBool()) << answer["detail"].toString().toStdString();
             std::ifstream copy(answer["file"].toString().toStdString());
             const std::string kept((std::istreambuf_iterator<char>(copy)), std::istreambuf_iterator<char>());
             EXPECT_NE(kept.find("quillwort"), std::string::npos);
             EXPECT_EQ(kept.find("steal()"), std::string::npos);
             std::unique_ptr<QProcess> search(startedCli(home, {"search", "--content", "quillwort"}));
             search->waitForFinished(60000);
             EXPECT_EQ(search->readAllStandardOutput().left(qsizetype(filed.size())).toStdString(), filed);
         }},
        {"a page over 20 MB is taken",
         [&] {
             return message({{"command", "keep"},
                             {"guid", QString::fromStdString(filed)},
                             {"html", QString(20 * 1024 * 1024 + 1, QLatin1Char('a'))}});
         },
         refused("The page is larger than 20 MB; no copy was kept.")},
        {"a file item gets a kept page",
         [&] {
             return message({{"command", "keep"}, {"guid", QString::fromStdString(fileItem)}, {"html", "<p>x</p>"}});
         },
         refused("The item \"Notes\" is a file, not a web address; no copy was kept.")},
        {"a message over the 1 MB a request needs is carried out",
         [] {
             return message({{"command", "add"},
                             {"url", "https://tides.example/big"},
                             {"description", QString(1024 * 1024, 'd')}});
         },
         refused("The message is larger than 1 MB; nothing was done.")},
        {"a frame longer than any browser sends throws the stream out of step",
         [] { return QByteArray(64 * 1024 * 1024 + 1, ' '); },
         refused("The message is larger than 64 MB; nothing was done.")},
        {"a script address is filed",
         [] {
             return message({{"command", "add"}, {"url", " jav\tascript:alert(1)"}});
         },
         refused(
             "\" jav\tascript:alert(1)\" runs a script or holds inline data (javascript:, vbscript:, data:); nothing "
             "was added.")},
        {"a data address is filed",
         [] {
             return message({{"command", "add"}, {"url", "DATA:text/html,<b>x</b>"}});
         },
         refused("\"DATA:text/html,<b>x</b>\" runs a script or holds inline data (javascript:, vbscript:, data:); "
                 "nothing was added.")},
        {"a vanished category takes the page anyway",
         [] {
             return message({{"command", "add"}, {"url", "https://tides.example/x"}, {"category", "gone"}});
         },
         refused("The category chosen is no longer in the catalogue; choose another. Nothing was added.")},
        {"an unknown command is ignored silently",
         [] {
             return message({{"command", "run"}, {"program", "xterm"}});
         },
         refused("Unknown command \"run\": the connector takes categories, lookup, add, keep and locate.")},
        {"what is no JSON object breaks the host", [] { return QByteArray("[\"categories\""); },
         refused("The message is not a JSON object.")},
        {"locating an unknown item bothers the window",
         [] {
             return message({{"command", "locate"}, {"guid", "nope"}});
         },
         refused("There is no item nope in the catalogue.")},
        {"locating without a window claims success",
         [&] {
             return message({{"command", "locate"}, {"guid", QString::fromStdString(filed)}});
         },
         refused("Varnelo is not running: start it, then choose \"Open in Varnelo\" again.")},
        {"the window is not handed the item",
         [&] {
             EXPECT_TRUE(window.claim());
             return message({{"command", "locate"}, {"guid", QString::fromStdString(filed)}});
         },
         [&](const QJsonObject& answer) {
             EXPECT_TRUE(answer["ok"].toBool()) << answer["error"].toString().toStdString();
             EXPECT_EQ(locatedGuid(windowGot), filed);
         }},
        {"the catalogue is not read afresh, or a refusal to open it is not said",
         [&] {
             std::filesystem::rename(home.catalogue(), home.catalogue() + ".aside");
             std::filesystem::create_directory(home.catalogue());
             return message({{"command", "categories"}});
         },
         refused("Cannot open the catalogue \"" + home.catalogue()
                 + "\": SQLITE_CANTOPEN[14]: unable to open database file")},
    };
    for (const Exchange& exchange : conversation) {
        SCOPED_TRACE(exchange.fault);
        exchange.check(browser.ask(exchange.message()));
    }
    // Only the four adds that were meant to add did.
    std::filesystem::remove(home.catalogue());
    std::filesystem::rename(home.catalogue() + ".aside", home.catalogue());
    CDBManager db;
    db.Open(home.catalogue());
    EXPECT_EQ(db.ExecuteScalar("select count(*) from link_table;"), 4);
    EXPECT_EQ(db.ReadItem(filed)->GetComment(), "High water at noon");
}

}  // namespace
