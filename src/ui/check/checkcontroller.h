// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <map>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

class CatalogueSession;
class CatalogueView;
class CCategory;
class CLinkItem;
class QAction;
class QWidget;

// The catalogue check as the window offers it: Tools > "Check Catalogue...", its results window,
// the greyed rows of items found broken, and the note in an item's "Property" dialog. What the
// results window mends (Relink..., Use New Address, Delete) is a change of the history like any
// other, so it can be taken back.
class CheckController : public QObject {
    Q_OBJECT
public:
    CheckController(CatalogueSession& session, CatalogueView& view, QWidget* window);

    QAction* checkAction() const { return ToolsCheckCatalogue; }
    // How the results reach the kept copies of pages: whether one was kept for an address, and
    // opening it.
    void setKeptCopies(std::function<bool(const std::string&)> has, std::function<void(const std::string&)> open)
    {
        hasKeptCopy = std::move(has);
        openKeptCopy = std::move(open);
    }
    // When the item was last checked and what was found, one line per check; empty when never.
    QString lastCheckedNote(const CLinkItem& item);

private:
    std::function<bool(const std::string&)> hasKeptCopy;
    std::function<void(const std::string&)> openKeptCopy;
    void ToolsCheckCatalogueClick();
    std::unordered_map<std::string, QString> brokenRows(const CCategory& category);
    void setTargets(const std::vector<std::pair<std::string, std::string>>& guidsAndTargets);
    void deleteItems(const std::vector<std::string>& itemGuids);
    std::map<CCategory*, std::vector<CLinkItem*>> loadedItems(const std::vector<std::string>& itemGuids);
    QString commandText(const char* verb, const std::vector<std::string>& itemGuids);

    CatalogueSession& session;
    CatalogueView& view;
    QWidget* window;
    QAction* ToolsCheckCatalogue;
    QPointer<QWidget> checkWindow;
};
