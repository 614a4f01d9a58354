// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/content/contentcontroller.h"

#include "content/contentindexer.h"
#include "content/keptpages.h"
#include "model/clinkitem.h"
#include "session/cataloguesession.h"
#include "shell/paths.h"
#include "ui/common/desktop.h"
#include "ui/common/dialogseam.h"
#include "ui/common/errorbox.h"
#include "ui/content/contentkeeper.h"
#include "ui/content/contentsettingsdialog.h"
#include "ui/views/catalogueview.h"

#include <QAction>
#include <QMainWindow>

#include <filesystem>

ContentController::ContentController(CatalogueSession& catalogueSession, CatalogueView& catalogueView,
                                     QMainWindow* owner)
    : QObject(owner), session(catalogueSession), view(catalogueView), window(owner),
      keeper(new ContentKeeper([this] { return session.path(); }, optionsFilePath(), this)),
      ContentSettings(new QAction(QStringLiteral("Con&tent Settings..."), owner)),
      OpenKeptCopy(new QAction(QStringLiteral("Open &Kept Copy"), owner))
{
    ContentSettings->setObjectName(QStringLiteral("ContentSettings"));
    ContentSettings->setStatusTip(QStringLiteral("What the index of the words inside documents and pages reads"));
    OpenKeptCopy->setObjectName(QStringLiteral("OpenKeptCopy"));
    OpenKeptCopy->setStatusTip(QStringLiteral("Open the copy of the page kept when it was last fetched"));
    // Until the popup is prepared for a selection, nothing has a kept copy to open.
    OpenKeptCopy->setVisible(false);
    view.runOnTrigger(ContentSettings, window, [this] { ContentSettingsClick(); });
    view.runOnTrigger(OpenKeptCopy, window, [this] { OpenKeptCopyClick(); });
    connect(&session, &CatalogueSession::changed, keeper, &ContentKeeper::lookSoon);
}

ContentController::~ContentController() = default;

void ContentController::userTyping()
{
    keeper->pause();
}

std::string ContentController::keptCopyOf(const std::string& address)
{
    const std::string folder = content::keptPagesFolder();
    if (folder.empty() || address.empty())
        return {};
    const std::string copy = content::keptCopyPath(folder, address);
    std::error_code absent;
    return std::filesystem::is_regular_file(copy, absent) ? copy : std::string();
}

void ContentController::prepareOpenKeptCopy()
{
    const CLinkItem* item = view.selectedItems().size() == 1 ? view.selectedItem() : nullptr;
    const bool kept = item && item->GetType() == CLinkItem::WebType && !keptCopyOf(item->GetTarget()).empty();
    OpenKeptCopy->setVisible(kept);
    OpenKeptCopy->setEnabled(kept);
}

void ContentController::openKeptCopy(const std::string& address)
{
    const std::string copy = keptCopyOf(address);
    if (copy.empty()) {
        seam::message(window, QMessageBox::Warning, QStringLiteral("Varnelo"),
                      QStringLiteral("No copy of this page was kept."), QMessageBox::Ok);
        return;
    }
    Desktop::instance().openTarget(copy, CLinkItem::FileType);
}

void ContentController::OpenKeptCopyClick()
{
    if (const CLinkItem* item = view.selectedItem())
        openKeptCopy(item->GetTarget());
}

void ContentController::ContentSettingsClick()
{
    const std::string path = optionsFilePath();
    ContentSettingsDialog dialog(window, content::loadContentSettings(path));
    if (seam::exec(&dialog) != QDialog::Accepted)
        return;
    content::saveContentSettings(dialog.settings(), path);
    keeper->lookSoon();
}

QString ContentController::contentNote(const CLinkItem& item) const
{
    const std::string cache = cacheFolderPath();
    if (cache.empty())
        return {};
    const std::string indexPath = content::ContentIndex::pathFor(session.path(), cache);
    std::error_code absent;
    if (!std::filesystem::exists(indexPath, absent))
        return {};
    try {
        content::ContentIndex index(indexPath);
        const std::optional<content::Document> document = index.documentOf(item.GetGuid());
        const std::string said = document ? content::describe(*document) : std::string();
        return said.empty() ? QString() : QStringLiteral("Content: %1").arg(QString::fromStdString(said));
    } catch (const std::exception&) {
        return {};
    }
}
