// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/commands/itemcommands.h"

#include "session/cataloguesession.h"
#include "shell/targeturl.h"
#include "ui/commands/sendrequestqueue.h"
#include "ui/common/deletequestion.h"
#include "ui/common/desktop.h"
#include "ui/common/dialogseam.h"
#include "ui/common/errorbox.h"
#include "ui/common/openguard.h"
#include "ui/common/qtext.h"
#include "ui/dialogs/titemform.h"
#include "ui/dialogs/tselectcategorydialogform.h"
#include "ui/views/catalogueview.h"
#include "ui/views/itemlistview.h"
#include "undo/catalogueundocommands.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>

namespace {

const char* const addingItemsLabel = "Adding to the catalogue...";
const char* const changedCaption = "Item changed";
const char* const changedText =
    "Another program changed this item while you edited it. It now reads:\n\n%1\n%2\n\n"
    "Yes: keep both, saving yours as a new item.\nNo: replace it with yours.\nCancel: back to your text.";
const char* const deletedText = "Another program deleted this item while you edited it.\n\n"
                                "Yes: save your text as a new item.\nCancel: back to your text.";
const char* const categoryGoneText =
    "Another program deleted this item's category while you edited it, so your text cannot be stored "
    "there. It stays in the dialog for you to copy.";

ItemFields itemFields(const QString& name, const QString& target, const QString& comment, int type)
{
    return {fromQ(name), fromQ(target), fromQ(comment), type};
}

bool sameTexts(const CLinkItem& a, const CLinkItem& b)
{
    return a.GetName() == b.GetName() && a.GetTarget() == b.GetTarget() && a.GetComment() == b.GetComment();
}

}  // namespace

ItemCommands::ItemCommands(CatalogueSession& catalogueSession, CatalogueView& catalogueView, QWidget* owner)
    : QObject(owner), session(catalogueSession), view(catalogueView), window(owner),
      sendRequests(new SendRequestQueue(
          view, window, [this](const QByteArray& request) { showSendRequest(request); }, this))
{
    connect(&view, &CatalogueView::urlsDropped, this, [this](CCategory& category, const QList<QUrl>& urls) {
        runCommand(window, [&] { addDroppedUrls(category, urls); });
    });
}

// ---- adding ------------------------------------------------------------------------------------

// The rows follow each stored batch when the list shows that category, so every row shown is stored.
void ItemCommands::addItems(CCategory& category, const std::vector<ItemFields>& items)
{
    view.refreshStaleItems(category);
    const auto progress = seam::progress(window, QString::fromLatin1(addingItemsLabel), true);
    session.run<AddItemsCommand>(category, items, *progress, [&](const CLinkItems& stored) {
        if (view.selectedCategory() != &category)
            return;
        for (CLinkItem* item : stored)
            view.addItemRow(*item);
    });
}

void ItemCommands::addDroppedUrls(CCategory& category, const QList<QUrl>& urls)
{
    // A category that is not shown may hold items read long ago; take the stored state first.
    if (view.selectedCategory() != &category)
        session.loadItems(category);
    std::vector<ItemFields> items;
    for (const QUrl& url : urls) {
        if (url.isLocalFile()) {
            const std::string path = localPathBytes(url);
            items.push_back({path.substr(path.find_last_of('/') + 1), path, {}, CLinkItem::FileType});
        } else if (url.isValid() && !url.isEmpty()) {
            const QString address = url.toString();
            items.push_back(itemFields(address, address, QString(), CLinkItem::WebType));
        }
    }
    addItems(category, items);
}

void ItemCommands::addFiles()
{
    CCategory* category = view.selectedCategory();
    if (!category)
        return;
    TitemForm form(window);
    if (seam::exec(&form) != QDialog::Accepted)
        return;
    std::vector<ItemFields> items;
    for (const QString& target : form.targets())
        items.push_back(itemFields(form.nameFromFile() ? fileNamePart(target) : form.title(), target,
                                   form.description(), CLinkItem::FileType));
    addItems(*category, items);
}

void ItemCommands::addWebAddress()
{
    CCategory* category = view.selectedCategory();
    if (!category)
        return;
    const QMimeData* clipboard = QApplication::clipboard()->mimeData();
    addWebAddressTo(*category, clipboard ? clipboardAddress(*clipboard) : std::nullopt);
}

// The item dialog for a new web address, filled with what was offered; nothing is added without OK.
void ItemCommands::addWebAddressTo(CCategory& category, const std::optional<AddressOffer>& offer)
{
    TitemForm form(window, true);
    if (offer)
        form.fill(offer->title, offer->url, QString());
    if (seam::exec(&form) != QDialog::Accepted)
        return;
    addItems(category, {itemFields(form.title(), form.target(), form.description(), CLinkItem::WebType)});
}

// An address sent from the browser: the dialog says which category it goes into, since the user
// picked none for it, and lets the user choose another.
void ItemCommands::addSentAddress(CCategory& category, const AddressOffer& offer)
{
    CCategory* target = &category;
    TitemForm form(window, true);
    form.fill(offer.title, offer.url, QString());
    form.showCategoryChoice(toQ(target->GetName()), [this, &target]() -> std::optional<QString> {
        CCategory* chosen = chooseCategory(window, session.database(), {}, target);
        if (!chosen)
            return std::nullopt;
        target = chosen;
        return toQ(chosen->GetName());
    });
    if (seam::exec(&form) != QDialog::Accepted)
        return;
    addItems(*target, {itemFields(form.title(), form.target(), form.description(), CLinkItem::WebType)});
}

void ItemCommands::handleSendRequest(const QByteArray& request)
{
    sendRequests->receive(request);
}

void ItemCommands::showSendRequest(const QByteArray& request)
{
    const auto parsed = parseSendRequest(request);
    if (const QString* refusal = std::get_if<QString>(&parsed)) {
        seam::message(window, QMessageBox::Warning, QStringLiteral("Varnelo"), *refusal, QMessageBox::Ok);
        return;
    }
    runCommand(window, [&] {
        CCategory* category = view.selectedCategory();
        if (!category)
            category = chooseCategory(window, session.database());
        if (category)
            addSentAddress(*category, std::get<AddressOffer>(parsed));
    });
}

// ---- editing -----------------------------------------------------------------------------------

void ItemCommands::editProperties(const std::function<QString(const CLinkItem&)>& note)
{
    CLinkItem* item = view.selectedItem();
    if (!item)
        return;
    TitemForm form(window, item->GetType() == CLinkItem::WebType);
    form.setWindowTitle(toQ(item->GetName()));
    form.fill(toQ(item->GetName()), toQ(item->GetTarget()), toQ(item->GetComment()));
    form.setCheckNote(note(*item));
    // The row is refreshed by the store: saving as a new item reads the list afresh.
    do {
        if (seam::exec(&form) != QDialog::Accepted)
            return;
    } while (!storeEditedItem(*item, {keptOrEdited(form.title(), item->GetName()),
                                      keptOrEdited(form.target(), item->GetTarget()),
                                      keptOrEdited(form.description(), item->GetComment()), item->GetType()}));
}

// Stores the typed texts over the item, unless another program changed or deleted its row since
// the dialog opened: then the user chooses, and neither side's text is lost unasked. False sends
// the user back to the dialog.
bool ItemCommands::storeEditedItem(CLinkItem& item, const ItemFields& typed)
{
    const std::optional<CLinkItem> stored = session.database().ReadItem(item.GetGuid());
    const auto storeTyped = [&] {
        session.run<EditItemCommand>(item, typed);
        view.list()->refreshRow(view.list()->rowOf(&item));
    };
    if (stored && sameTexts(*stored, item)) {
        storeTyped();
        return true;
    }
    const QString question =
        stored ? QString::fromLatin1(changedText).arg(toQ(stored->GetName()), toQ(stored->GetTarget()))
               : QString::fromLatin1(deletedText);
    const auto buttons =
        stored ? QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel : QMessageBox::Yes | QMessageBox::Cancel;
    const auto answer =
        seam::message(window, QMessageBox::Warning, QString::fromLatin1(changedCaption), question, buttons);
    if (answer == QMessageBox::No) {
        storeTyped();
        return true;
    }
    if (answer != QMessageBox::Yes)
        return false;
    CCategory* category = view.selectedCategory();
    if (!category || !session.database().HasCategory(category->GetGuid())) {
        seam::message(window, QMessageBox::Warning, QString::fromLatin1(changedCaption),
                      QString::fromLatin1(categoryGoneText), QMessageBox::Ok);
        return false;
    }
    // The other program's version is read in before the save, which would otherwise write ours back.
    view.showItems(*category);
    addItems(*category, {typed});
    return true;
}

void ItemCommands::rename(QTreeWidgetItem* row, const QString& text)
{
    CLinkItem* item = view.list()->itemOf(row);
    if (!item)
        return;
    // The row shows the new name once it is stored; a refused rename keeps the old one everywhere.
    const std::string name = keptOrEdited(text, item->GetName());
    if (name == item->GetName())
        return;
    session.run<RenameItemCommand>(*item, name);
    row->setText(0, text);
}

void ItemCommands::deleteSelected()
{
    const CLinkItems items = view.selectedItems();
    if (items.empty())
        return;
    const QString question = items.size() == 1 ? QStringLiteral("Do you want to delete selected item?")
                                               : QStringLiteral("Do you want to delete selected items");
    if (seam::message(window, QMessageBox::Question, QStringLiteral("Confirm"),
                      deleteQuestion(question, itemsGoing(items)), QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;
    CCategory* category = view.selectedCategory();
    if (!category)
        return;
    const auto progress = seam::progress(window, QStringLiteral("Deleting items..."), false);
    session.run<DeleteItemsCommand>(*category, items, *progress, view.rowRemover());
}

// ---- opening -----------------------------------------------------------------------------------

void ItemCommands::open()
{
    if (const CLinkItem* item = view.selectedItem()) {
        refuseUnsafeTarget(*item);
        if (confirmRunningProgram(window, *item))
            Desktop::instance().openTarget(item->GetTarget(), item->GetType());
    }
}

void ItemCommands::openWith()
{
    if (const CLinkItem* item = view.selectedItem()) {
        refuseUnsafeTarget(*item);
        Desktop::instance().openWith(item->GetTarget(), item->GetType(), window);
    }
}

void ItemCommands::showInFolder()
{
    const CLinkItem* item = view.selectedItem();
    if (item && item->GetType() != CLinkItem::WebType)
        Desktop::instance().showInFolder(item->GetTarget());
}
