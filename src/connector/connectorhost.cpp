// SPDX-License-Identifier: GPL-3.0-or-later
#include "connector/connectorhost.h"

#include "base/address.h"
#include "check/urlnormal.h"
#include "commands/cataloguecommands.h"
#include "commands/catalogueopening.h"
#include "content/indexlock.h"
#include "content/keptpage.h"
#include "content/keptpages.h"
#include "import/bookmarkaddress.h"
#include "shell/sendrequest.h"
#include "shell/singleinstance.h"
#include "storage/builtincategories.h"
#include "storage/statement.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <filesystem>
#include <stdexcept>
#include <unordered_map>

namespace connector {

namespace {

// A request the host does not carry out; the text is the answer's "error".
struct Refusal : std::runtime_error {
    using std::runtime_error::runtime_error;
};

constexpr const char* recentTable = "connector_recent";
constexpr int recentKept = 10;
constexpr int mostItemsFound = 100;
// Room in an answer for what follows the list of categories.
constexpr std::size_t answerMargin = 64 * 1024;

QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}

std::string json(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

// The request's text under `key`; "" when an optional one is missing.
std::string textOf(const QJsonObject& request, const char* key, bool required)
{
    const QJsonValue value = request.value(QLatin1String(key));
    if (value.isUndefined() && !required)
        return {};
    if (!value.isString())
        throw Refusal(std::string("The request needs \"") + key + "\" as a text.");
    return value.toString().toStdString();
}

// The loaded category tree by GUID, in the order the window shows it.
class CategoryTree {
public:
    explicit CategoryTree(CCategory& root) { collect(root); }

    const std::vector<CCategory*>& all() const { return order; }
    CCategory* byGuid(const std::string& guid) const
    {
        const auto place = guids.find(guid);
        return place == guids.end() ? nullptr : place->second;
    }
    // The names from the top down to the category.
    QJsonArray path(const CCategory& category) const
    {
        QJsonArray names;
        for (const CCategory* at = &category; at; at = byGuid(at->GetParentGuid()))
            names.prepend(qs(at->GetName()));
        return names;
    }

private:
    void collect(CCategory& parent)
    {
        for (CCategory* child : parent.GetChildren()) {
            order.push_back(child);
            guids.emplace(child->GetGuid(), child);
            collect(*child);
        }
    }

    std::vector<CCategory*> order;
    std::unordered_map<std::string, CCategory*> guids;
};

// The categories filed to lately that still exist, newest first.
std::vector<CCategory*> recentCategories(CDBManager& db, const CategoryTree& tree)
{
    std::vector<CCategory*> recent;
    if (!db.TableExists(recentTable))
        return recent;
    Statement rows(db, "select category from connector_recent order by used desc;");
    while (rows.step() && recent.size() < std::size_t(recentKept))
        if (CCategory* category = tree.byGuid(rows.text(0)))
            recent.push_back(category);
    return recent;
}

void rememberFiledTo(CDBManager& db, const CCategory& category)
{
    db.ExecuteStatement("create table if not exists connector_recent (category text primary key, used int not null);");
    Statement(db, "insert or replace into connector_recent (category, used) "
                            "values (?1, (select coalesce(max(used), 0) + 1 from connector_recent));")
        .bind(1, category.GetGuid())
        .execute();
    Statement(db, "delete from connector_recent where category not in "
                            "(select category from connector_recent order by used desc limit ?1);")
        .bind(1, recentKept)
        .execute();
}

// Without a choice: the category filed to last, else the built-in one for web addresses, else the first.
CCategory& defaultCategory(CDBManager& db, const CategoryTree& tree)
{
    if (const std::vector<CCategory*> recent = recentCategories(db, tree); !recent.empty())
        return *recent.front();
    if (CCategory* websites = tree.byGuid(builtInCategories[3].guid))
        return *websites;
    if (tree.all().empty())
        throw Refusal("The catalogue has no category to file the page in.");
    return *tree.all().front();
}

// Addresses compare as the catalogue check's "same address"; a local page by its file's path.
struct SameAddress {
    explicit SameAddress(const std::string& url)
        : web(check::normaliseUrl(webAddressOf(url, CLinkItem::WebType))),
          file(addressScheme(url) == "file" ? pathFromFileUrl(url).value_or(std::string()) : std::string())
    {
    }
    bool matches(int type, const std::string& target) const
    {
        if (type == CLinkItem::FileType)
            return !file.empty() && target == file;
        return !web.empty() && check::normaliseUrl(webAddressOf(target, type)) == web;
    }
    std::string web;
    std::string file;
};

}  // namespace

ConnectorHost::ConnectorHost(HostSetup hostSetup) : setup(std::move(hostSetup))
{
}

void ConnectorHost::serve(NativeMessaging& channel)
{
    while (const auto incoming = channel.read(largestMessage)) {
        const std::string answered =
            incoming->skipped ? json({{"ok", false},
                                      {"error", QStringLiteral("The message is larger than %1 MB; nothing was done.")
                                                    .arg(largestMessage / (1024 * 1024))}})
                              : answer(incoming->message);
        if (!channel.write(answered))
            return;
    }
}

std::string ConnectorHost::answer(const std::string& message)
{
    const QJsonDocument request = QJsonDocument::fromJson(QByteArray::fromStdString(message));
    QJsonObject answered = respond(request, message.size());
    if (request.isObject() && request.object().contains(QLatin1String("id")))
        answered.insert(QStringLiteral("id"), request.object().value(QLatin1String("id")));
    std::string text = json(answered);
    if (text.size() > NativeMessaging::largestAnswer)
        text = json({{"ok", false}, {"error", QStringLiteral("The answer is larger than the 1 MB a browser takes.")}});
    return text;
}

QJsonObject ConnectorHost::respond(const QJsonDocument& document, std::size_t size)
{
    try {
        if (!document.isObject())
            throw Refusal("The message is not a JSON object.");
        const QJsonObject request = document.object();
        const QString command = request.value(QLatin1String("command")).toString();
        if (command != QLatin1String("keep") && size > largestRequest)
            throw Refusal("The message is larger than 1 MB; nothing was done.");
        if (command == QLatin1String("categories"))
            return categories(request);
        if (command == QLatin1String("lookup"))
            return lookup(request);
        if (command == QLatin1String("add"))
            return add(request);
        if (command == QLatin1String("keep"))
            return keep(request);
        if (command == QLatin1String("locate"))
            return locate(request);
        throw Refusal("Unknown command \"" + command.left(100).toStdString()
                      + "\": the connector takes categories, lookup, add, keep and locate.");
    } catch (const Refusal& refusal) {
        return {{"ok", false}, {"error", QString::fromUtf8(refusal.what())}};
    } catch (const CppSQLite3Exception& error) {
        return {{"ok", false}, {"error", QStringLiteral("The catalogue refused: %1").arg(qs(error.ErrorMessage()))}};
    } catch (const std::exception& error) {
        return {{"ok", false}, {"error", QString::fromUtf8(error.what())}};
    }
}

void ConnectorHost::open(CDBManager& db, bool forWriting) const
{
    try {
        openCatalogue(db, setup.cataloguePath, [&] {
            if (forWriting)
                db.ExecuteStatement("begin immediate transaction;");
        });
    } catch (const CppSQLite3Exception& error) {
        throw Refusal("Cannot open the catalogue \"" + setup.cataloguePath + "\": " + error.ErrorMessage());
    } catch (const std::runtime_error& error) {
        throw Refusal(error.what());
    }
}

QJsonObject ConnectorHost::categories(const QJsonObject& request)
{
    CDBManager db;
    open(db, false);
    const CategoryTree tree(db.GetRootCategory());
    QJsonArray recent;
    for (const CCategory* category : recentCategories(db, tree))
        recent.append(qs(category->GetGuid()));
    QJsonArray list;
    const std::size_t from = std::size_t(std::max(0, request.value(QLatin1String("from")).toInt()));
    std::size_t size = 0;
    std::size_t at = from;
    for (; at < tree.all().size(); ++at) {
        const CCategory& category = *tree.all()[at];
        const QJsonObject entry{{"guid", qs(category.GetGuid())},
                                {"name", qs(category.GetName())},
                                {"parent", qs(category.GetParentGuid())}};
        size += json(entry).size() + 1;
        // Each answer holds at least one, so asking for the next part always gets on.
        if (size > NativeMessaging::largestAnswer - answerMargin && !list.isEmpty())
            break;
        list.append(entry);
    }
    QJsonObject answered{{"ok", true}, {"categories", list}, {"recent", recent}};
    if (at < tree.all().size())
        answered.insert(QStringLiteral("next"), qint64(at));
    return answered;
}

QJsonObject ConnectorHost::lookup(const QJsonObject& request)
{
    const SameAddress wanted(textOf(request, "url", true));
    CDBManager db;
    open(db, false);
    const CategoryTree tree(db.GetRootCategory());
    QJsonArray items;
    Statement rows(db, "select guid, name, target, type, category from link_table order by itemorder;");
    while (rows.step() && items.size() < mostItemsFound) {
        const int type = int(rows.integer(3));
        const std::string target = rows.text(2);
        const CCategory* category = tree.byGuid(rows.text(4));
        if (!category || !wanted.matches(type, target))
            continue;
        std::error_code ignored;
        const bool kept = type == CLinkItem::WebType && !setup.content.pagesFolder.empty()
                          && std::filesystem::exists(content::keptCopyPath(setup.content.pagesFolder, target), ignored);
        items.append(QJsonObject{{"guid", qs(rows.text(0))},
                                 {"title", qs(rows.text(1))},
                                 {"category", qs(category->GetGuid())},
                                 {"path", tree.path(*category)},
                                 {"kept", kept}});
    }
    return {{"ok", true}, {"items", items}};
}

QJsonObject ConnectorHost::add(const QJsonObject& request)
{
    const std::string url = textOf(request, "url", true);
    const std::string title = textOf(request, "title", false);
    const std::string description = textOf(request, "description", false);
    const std::string chosen = textOf(request, "category", false);
    if (isScriptAddress(url))
        throw Refusal("\"" + url.substr(0, 200)
                      + "\" runs a script or holds inline data (javascript:, vbscript:, data:); nothing was added.");
    ImportFolder read;
    int skipped = 0;
    const ImportEntry* entry = appendBookmark(read, skipped, title, url);
    if (!entry)
        throw Refusal(
            "\"" + url.substr(0, 200)
            + "\" is no address to file (empty, longer than 64 KB, or the browser's own); nothing was added.");

    CDBManager db;
    open(db, true);
    const CategoryTree tree(db.GetRootCategory());
    CCategory* category = chosen.empty() ? &defaultCategory(db, tree) : tree.byGuid(chosen);
    if (!category)
        throw Refusal("The category chosen is no longer in the catalogue; choose another. Nothing was added.");
    db.LoadItems(*category);
    std::string guid;
    CatalogueCommands(db).appendItems(
        *category, {{entry->name, entry->target, importedDescription(description), entry->type}}, Progress::none(),
        [&](const CLinkItems& stored) { guid = stored.front()->GetGuid(); });
    rememberFiledTo(db, *category);
    db.ExecuteStatement("commit transaction;");
    return {{"ok", true}, {"guid", qs(guid)}, {"category", qs(category->GetGuid())}, {"path", tree.path(*category)}};
}

QJsonObject ConnectorHost::keep(const QJsonObject& request)
{
    const std::string guid = textOf(request, "guid", true);
    const std::string html = textOf(request, "html", true);
    if (html.size() > largestKeptPage)
        throw Refusal("The page is larger than 20 MB; no copy was kept.");
    if (setup.content.pagesFolder.empty())
        throw Refusal("Cannot find the folder for the user's data (set HOME or XDG_DATA_HOME); no copy was kept.");
    std::optional<CLinkItem> item;
    {
        CDBManager db;
        open(db, false);
        item = db.ReadItem(guid);
    }
    if (!item)
        throw Refusal("There is no item " + guid.substr(0, 100) + " in the catalogue; no copy was kept.");
    if (item->GetType() != CLinkItem::WebType)
        throw Refusal("The item \"" + item->GetName() + "\" is a file, not a web address; no copy was kept.");
    const std::string address = item->GetTarget();
    const std::string page = content::keptPage(html, webAddressOf(address, CLinkItem::WebType), {});
    if (page.empty())
        throw Refusal("The page cannot be read as HTML; no copy was kept.");
    if (!content::writeKeptCopy(setup.content.pagesFolder, address, page))
        throw Refusal("The copy cannot be written to " + setup.content.pagesFolder + ".");
    const std::string notIndexed = indexKeptCopy(address);
    QJsonObject answered{{"ok", true},
                         {"file", qs(content::keptCopyPath(setup.content.pagesFolder, address))},
                         {"indexed", notIndexed.empty()}};
    if (!notIndexed.empty())
        answered.insert(QStringLiteral("detail"), qs(notIndexed));
    return answered;
}

std::string ConnectorHost::indexKeptCopy(const std::string& address)
{
    if (setup.content.indexPath.empty())
        return "there is no cache folder for the content index";
    try {
        // The window's indexer reads the new copy at its next round when it holds the index now.
        content::IndexLock lock(setup.content.indexPath);
        if (!lock.tryLock())
            return "another program is updating the content index; it reads the copy next";
        content::ContentIndexer indexer(setup.content);
        indexer.updateFromCatalogue();
        indexer.refresh(Progress::none(), {address});
        return {};
    } catch (const std::exception& error) {
        return error.what();
    }
}

QJsonObject ConnectorHost::locate(const QJsonObject& request)
{
    const std::string guid = textOf(request, "guid", true);
    {
        CDBManager db;
        open(db, false);
        if (!db.ReadItem(guid))
            throw Refusal("There is no item " + guid.substr(0, 100) + " in the catalogue.");
    }
    if (!SingleInstance::sendToRunningInstance(locateRequest(guid), setup.windowServerName))
        throw Refusal("Varnelo is not running: start it, then choose \"Open in Varnelo\" again.");
    return {{"ok", true}};
}

}  // namespace connector
