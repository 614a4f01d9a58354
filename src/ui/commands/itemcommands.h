// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "commands/cataloguecommands.h"
#include "shell/sendrequest.h"

#include <QList>
#include <QObject>
#include <QUrl>

#include <functional>
#include <optional>
#include <vector>

class CatalogueSession;
class CatalogueView;
class QTreeWidgetItem;
class SendRequestQueue;
class QWidget;

// The commands of the item list and of a category's menu that add, open, edit, rename and delete
// items, with the item dialog and the questions they ask. Items come in from the dialog, from drops,
// from the clipboard and from a browser's "send to Varnelo"; every change goes through the session's
// history.
class ItemCommands : public QObject {
    Q_OBJECT
public:
    ItemCommands(CatalogueSession& session, CatalogueView& view, QWidget* window);

    // "Add File(s)...": the item dialog, then its files added to the selected category.
    void addFiles();
    // "Add Web Address (URL)...": the item dialog, offered the address on the clipboard.
    void addWebAddress();
    // "Property" of a row: the item dialog on the item; note tells when it was last checked.
    void editProperties(const std::function<QString(const CLinkItem&)>& note);
    // A row's caption edited in place.
    void rename(QTreeWidgetItem* row, const QString& text);
    void deleteSelected();
    void open();
    void openWith();
    void showInFolder();
    // A "varnelo:add?url=...&title=..." request (a browser's "send to Varnelo"): the item dialog
    // opens prefilled for the selected category once the window is idle; a refused request says why.
    // Requests that come meanwhile wait in turn (see SendRequestQueue).
    void handleSendRequest(const QByteArray& request);

private:
    void addItems(CCategory& category, const std::vector<ItemFields>& items);
    void addDroppedUrls(CCategory& category, const QList<QUrl>& urls);
    void addWebAddressTo(CCategory& category, const std::optional<AddressOffer>& offer);
    void addSentAddress(CCategory& category, const AddressOffer& offer);
    bool storeEditedItem(CLinkItem& item, const ItemFields& typed);
    void showSendRequest(const QByteArray& request);

    CatalogueSession& session;
    CatalogueView& view;
    QWidget* window;
    SendRequestQueue* sendRequests;
};
