// SPDX-License-Identifier: GPL-3.0-or-later
// The window's live side: what other connections commit to the catalogue shows without losing the
// user's place, an item edited meanwhile is not overwritten unasked, and web addresses come in from
// a browser's "send to Varnelo" and from the clipboard.
#include "ui/window/tsdiappform.h"

#include "model/treeassembly.h"
#include "shell/cataloguewatcher.h"
#include "ui/common/dialogseam.h"
#include "ui/common/errorbox.h"
#include "ui/common/qtext.h"
#include "ui/dialogs/titemform.h"
#include "ui/views/categorytreeview.h"
#include "ui/views/itemlistview.h"
#include "ui/views/viewplace.h"
#include "undo/catalogueundocommands.h"

#include <QApplication>
#include <QClipboard>
#include <QScopedValueRollback>
#include <QTimer>

namespace {

// How often work that waits for the window to be idle looks again.
constexpr int idleRetryMs = 200;

const char* const changedCaption = "Item changed";
const char* const changedText =
    "Another program changed this item while you edited it. It now reads:\n\n%1\n%2\n\n"
    "Yes: keep both, saving yours as a new item.\nNo: replace it with yours.\nCancel: back to your text.";
const char* const deletedText = "Another program deleted this item while you edited it.\n\n"
                                "Yes: save your text as a new item.\nCancel: back to your text.";
const char* const categoryGoneText =
    "Another program deleted this item's category while you edited it, so your text cannot be stored "
    "there. It stays in the dialog for you to copy.";

bool sameTexts(const CLinkItem& a, const CLinkItem& b)
{
    return a.GetName() == b.GetName() && a.GetTarget() == b.GetTarget() && a.GetComment() == b.GetComment();
}

}  // namespace

void TSDIAppForm::startWatching()
{
    watcher = new CatalogueWatcher([this] { return db.DataVersion(); }, this);
    watcher->pauseWhile([] { return runningCommands() > 0; });
    watcher->setFile(QString::fromStdString(db.GetPath()));
    watcher->rebase();
    connect(watcher, &CatalogueWatcher::catalogueChanged, this, &TSDIAppForm::reloadCatalogue);
    watcher->watchWhileVisible(this);
}

// A command starts on what is stored now, not on what the window showed before another program's
// commit that the next look would have found.
void TSDIAppForm::catchUp()
{
    if (watcher && watcher->isWatching() && !busy())
        watcher->check();
}

// Adding saves the whole category, items held in memory included: those another program changed or
// deleted meanwhile (while a dialog was open) are read afresh first, or the save would write them back.
void TSDIAppForm::refreshStaleItems(CCategory& category)
{
    if (!watcher || !watcher->isWatching() || !watcher->changedSinceSeen())
        return;
    if (GetSelectedCategory() != &category) {
        db.LoadItems(category);
        return;
    }
    const ViewPlace place = ViewPlace::of(*treeCategory, *listContent);
    ShowCategoryItems(&category);
    place.restoreList(*listContent);
}

// A command, a dialog, a menu, an edit in place or a drag may hold objects of the catalogue.
bool TSDIAppForm::busy() const
{
    return runningCommands() > 0 || QApplication::activeModalWidget() || QApplication::activePopupWidget()
           || listContent->interacting() || treeCategory->interacting() || db.InTransaction();
}

void TSDIAppForm::whenIdle(std::function<void()> work)
{
    idleWork.push_back(std::move(work));
    if (idleWork.size() == 1)
        QTimer::singleShot(busy() ? idleRetryMs : 0, this, &TSDIAppForm::runIdleWork);
}

void TSDIAppForm::runIdleWork()
{
    if (busy()) {
        QTimer::singleShot(idleRetryMs, this, &TSDIAppForm::runIdleWork);
        return;
    }
    const std::vector<std::function<void()>> work = std::exchange(idleWork, {});
    for (const auto& each : work)
        each();
}

void TSDIAppForm::reloadCatalogue()
{
    if (busy()) {
        if (!std::exchange(reloadWaiting, true))
            whenIdle([this] {
                reloadWaiting = false;
                reloadCatalogue();
            });
        return;
    }
    const ViewPlace place = ViewPlace::of(*treeCategory, *listContent);
    runCommand(this, [&] {
        // Nodes and rows stay as they are where nothing they show changed: no flicker, and nothing
        // that points at them is lost. A replaced file is opened afresh.
        auto stored = std::make_unique<CCategory>();
        if (!watcher->fileWasReplaced()) {
            db.ReadCategoryTree(*stored);
            if (sameCategoryTree(*stored, db.GetRootCategory())) {
                CCategory* category = GetSelectedCategory();
                if (category && !sameItems(*category, db.ReadItems(*category))) {
                    ShowCategoryItems(category);
                    place.restoreList(*listContent);
                }
                // A check elsewhere (the command line, the check's worker) may have marked rows.
                markCheckedRows();
                return;
            }
        }
        if (watcher->fileWasReplaced() || treeDepth(*stored) > maxCategoryLevels) {
            LoadCatalogue();
        } else {
            // The tree just read takes the place of the one held: the file needs no second read.
            const QScopedValueRollback<bool> guard(reloading, true);
            closeCatalogueViews();
            CCategory& root = db.GetRootCategory();
            root.ClearChildren();
            while (CCategory* child = stored->GetChild(0))
                root.AddChild(stored->RemoveChild(child));
            FillCategoryTree();
        }
        {
            const QScopedValueRollback<bool> guard(reloading, true);
            place.restoreTree(*treeCategory);
        }
        if (CCategory* category = GetSelectedCategory()) {
            ShowCategoryItems(category);
            place.restoreList(*listContent);
        }
    });
}

// ---- items edited meanwhile --------------------------------------------------------------------

// Stores the typed texts over the item, unless another program changed or deleted its row since
// the dialog opened: then the user chooses, and neither side's text is lost unasked. False sends
// the user back to the dialog.
bool TSDIAppForm::storeEditedItem(CLinkItem& item, const ItemFields& typed)
{
    const std::optional<CLinkItem> stored = db.ReadItem(item.GetGuid());
    const auto storeTyped = [&] {
        history.record(std::make_unique<EditItemCommand>(commands, item, typed));
        listContent->refreshRow(listContent->rowOf(&item));
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
        seam::message(this, QMessageBox::Warning, QString::fromLatin1(changedCaption), question, buttons);
    if (answer == QMessageBox::No) {
        storeTyped();
        return true;
    }
    if (answer != QMessageBox::Yes)
        return false;
    CCategory* category = GetSelectedCategory();
    if (!category || !db.HasCategory(category->GetGuid())) {
        seam::message(this, QMessageBox::Warning, QString::fromLatin1(changedCaption),
                      QString::fromLatin1(categoryGoneText), QMessageBox::Ok);
        return false;
    }
    // The other program's version is read in before the save, which would otherwise write ours back.
    ShowCategoryItems(category);
    addItems(*category, {typed});
    return true;
}

// ---- web addresses from a browser and the clipboard --------------------------------------------

void TSDIAppForm::handleSendRequest(const QByteArray& request)
{
    wakeFromSecondInstance();
    whenIdle([this, request] {
        const auto parsed = parseSendRequest(request);
        if (const QString* refusal = std::get_if<QString>(&parsed)) {
            seam::message(this, QMessageBox::Warning, QStringLiteral("Varnelo"), *refusal, QMessageBox::Ok);
            return;
        }
        runCommand(this, [&] {
            CCategory* category = GetSelectedCategory();
            if (!category)
                category = chooseTargetCategory();
            if (category)
                addWebAddress(*category, std::get<AddressOffer>(parsed));
        });
    });
}

// The item dialog for a new web address, filled with what was offered; nothing is added without OK.
void TSDIAppForm::addWebAddress(CCategory& category, const std::optional<AddressOffer>& offer)
{
    TitemForm form(this, true);
    if (offer)
        form.fill(offer->title, offer->url, QString());
    if (seam::exec(&form) != QDialog::Accepted)
        return;
    addItems(category, {{fromQ(form.title()), fromQ(form.target()), fromQ(form.description()), CLinkItem::WebType}});
}
