// The main window's category, item, search, backup, restore and import commands, and dropping
// files and addresses onto the window.
#include "ui/tsdiappform.h"

#include "backup/backupfile.h"
#include "import/cfavoriteengine.h"
#include "import/importfavorites.h"
#include "model/newguid.h"
#include "shell/paths.h"
#include "ui/dialogseam.h"
#include "ui/errorbox.h"
#include "ui/titemform.h"
#include "ui/tnewcategoryform.h"
#include "ui/tsearchitemform.h"
#include "ui/tselectcategorydialogform.h"
#include "ui/ttmessageprocform.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QCheckBox>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QUrl>

#include <memory>

namespace {

const char* const applicationTitle = "Varnelo";
const char* const confirmCaption = "Confirm";
const char* const deleteCategoryQuestion = "Do you want to delete all sub-categories and items in this category?";
const char* const deleteCategoryCaption = "Delete category";
const char* const backupCaption = "Choose a file for backup";
const char* const restoreCaption = "Choose backup file for restore";
const char* const backupFilter = "Backup Files(*.mbk) (*.mbk);;All Files (*.*) (*)";
const char* const backupSuffix = "mbk";

QString toQ(const std::string& text) { return QString::fromStdString(text); }
std::string fromQ(const QString& text) { return text.toStdString(); }

// The backup and restore outcomes are plain boxes: the application's title, OK, no icon.
void showPlainMessage(QWidget* owner, const std::string& text)
{
    if (!text.empty())
        seam::message(owner, QMessageBox::NoIcon, QString::fromLatin1(applicationTitle), toQ(text), QMessageBox::Ok);
}

std::unique_ptr<CLinkItem> makeItem(const QString& name, const QString& target, const QString& comment, int type,
                                    const std::string& parentGuid)
{
    auto item = std::make_unique<CLinkItem>();
    item->SetGuid(NewGuid());
    item->SetName(fromQ(name));
    item->SetTarget(fromQ(target));
    item->SetComment(fromQ(comment));
    item->SetType(type);
    item->SetStar(0);
    item->SetParentGuid(parentGuid);
    return item;
}

std::unique_ptr<CCategory> makeCategory(const QString& name, int level, int iconIndex)
{
    auto category = std::make_unique<CCategory>();
    category->SetGuid(NewGuid());
    category->SetName(fromQ(name));
    category->SetLevel(level);
    category->SetIconIndex(iconIndex);
    category->SetSystem(false);
    return category;
}

QTreeWidgetItem* nodeOf(QTreeWidget* tree, const CCategory* category)
{
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        if (TSDIAppForm::categoryOf(*it) == category)
            return *it;
    return nullptr;
}

// Loads the stored subtree below a category the catalogue holds without its children.
void loadSubtree(CDBManager& db, CCategory& category)
{
    db.LoadChildCategories(category);
    for (int i = 0; i < category.GetChildCount(); ++i)
        loadSubtree(db, *category.GetChild(i));
}

// Appends a new item to a category and stores the category's items; the row follows only when the
// list shows that category and the save succeeded.
void appendItem(TSDIAppForm& window, CCategory& category, std::unique_ptr<CLinkItem> item)
{
    CLinkItem* added = item.get();
    category.AddItem(std::move(item));
    if (window.db.SaveCategory(category, false) && window.GetSelectedCategory() == &category)
        window.AddItemRow(added);
}

// Files and addresses dropped onto the item list (the selected category) or onto a category node.
class DropTarget : public QObject {
public:
    DropTarget(TSDIAppForm& owner, QTreeWidget* view, bool onNodes)
        : QObject(view), window(owner), tree(view), nodes(onNodes)
    {
        view->setAcceptDrops(true);
        view->viewport()->setAcceptDrops(true);
        view->viewport()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (isOurs(drag) && targetAt(drag->position().toPoint()))
                drag->acceptProposedAction();
            else
                drag->ignore();
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            CCategory* category = isOurs(drop) ? targetAt(drop->position().toPoint()) : nullptr;
            if (!category) {
                drop->ignore();
                return true;
            }
            drop->acceptProposedAction();
            const QList<QUrl> urls = drop->mimeData()->urls();
            runCommand(&window, [&] { addDroppedUrls(window, *category, urls); });
            return true;
        }
        default:
            return false;
        }
    }

private:
    // Drags that start in our own views move nodes or rows, which the window does not offer.
    static bool isOurs(const QDropEvent* event)
    {
        return event->mimeData()->hasUrls() && !qobject_cast<QTreeWidget*>(event->source());
    }

    CCategory* targetAt(const QPoint& position) const
    {
        if (!nodes)
            return window.GetSelectedCategory();
        return TSDIAppForm::categoryOf(tree->itemAt(position));
    }

    static void addDroppedUrls(TSDIAppForm& window, CCategory& category, const QList<QUrl>& urls)
    {
        // A category that is not shown may hold items read long ago; take the stored state first.
        if (window.GetSelectedCategory() != &category)
            window.db.LoadItems(category);
        for (const QUrl& url : urls) {
            if (url.isLocalFile()) {
                const QString path = url.toLocalFile();
                appendItem(window, category, makeItem(fileNamePart(path), path, QString(), CLinkItem::FileType,
                                                      category.GetGuid()));
            } else if (url.isValid() && !url.isEmpty()) {
                const QString address = url.toString();
                appendItem(window, category,
                           makeItem(address, address, QString(), CLinkItem::WebType, category.GetGuid()));
            }
        }
    }

    TSDIAppForm& window;
    QTreeWidget* tree;
    bool nodes;
};

} // namespace

// ---- category commands -------------------------------------------------------------------------

void TSDIAppForm::AddCategoryItemClick()
{
    TNewCategoryForm form(this, 0, ImageList2, [this] { SaveIconList(); });
    if (seam::exec(&form) != QDialog::Accepted)
        return;
    auto created = makeCategory(form.Edit1->text(), 0, form.GetIconIndex());
    CCategory* category = created.get();
    db.GetRootCategory().AddChild(std::move(created));
    if (db.SaveCategory(*category, true))
        addCategoryNode(category, nullptr);
}

void TSDIAppForm::AddSubCategoryItemClick()
{
    QTreeWidgetItem* parentNode = GetSelectedNode();
    CCategory* parent = categoryOf(parentNode);
    if (!parent)
        return;
    TNewCategoryForm form(this, 0, ImageList2, [this] { SaveIconList(); });
    if (seam::exec(&form) != QDialog::Accepted)
        return;
    auto created = makeCategory(form.Edit1->text(), parent->GetLevel() + 1, form.GetIconIndex());
    CCategory* category = created.get();
    parent->AddChild(std::move(created));
    // The parent keeps its expanded or collapsed state.
    if (db.SaveCategory(*category, true))
        addCategoryNode(category, parentNode);
}

void TSDIAppForm::Property2Click()
{
    EditCategory(GetSelectedCategory());
}

void TSDIAppForm::EditCategory(CCategory* category)
{
    if (!category)
        return;
    TNewCategoryForm form(this, category->GetIconIndex(), ImageList2, [this] { SaveIconList(); });
    form.setWindowTitle(toQ(category->GetName()));
    form.Edit1->setText(toQ(category->GetName()));
    if (seam::exec(&form) != QDialog::Accepted)
        return;
    const std::string name = fromQ(form.Edit1->text());
    const int iconIndex = form.GetIconIndex();
    if (name == category->GetName() && iconIndex == category->GetIconIndex())
        return;
    category->SetName(name);
    category->SetIconIndex(iconIndex);
    if (!db.SaveCategory(*category, true))
        return;
    if (QTreeWidgetItem* node = nodeOf(treeCategory, category)) {
        node->setText(0, toQ(name));
        node->setIcon(0, ImageList2.icon(iconIndex));
    }
}

void TSDIAppForm::DeleteCategoryClick()
{
    QTreeWidgetItem* node = GetSelectedNode();
    CCategory* category = categoryOf(node);
    if (!category)
        return;
    if (seam::message(this, QMessageBox::Question, QString::fromLatin1(confirmCaption),
                      QString::fromLatin1(deleteCategoryQuestion), QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;
    TTMessageProcForm progress(this);
    progress.setWindowTitle(QString::fromLatin1(deleteCategoryCaption));
    progress.show();
    // Paint the window without letting the user act while the delete runs.
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    db.DeleteCategory(*category);
    CCategory* parent = node->parent() ? categoryOf(node->parent()) : &db.GetRootCategory();
    std::unique_ptr<CCategory> detached = parent->RemoveChild(category);
    // The node goes first: the list may still show rows of the detached category's items.
    delete node;
    if (!GetSelectedNode())
        listContent->clear();
    progress.close();
}

// ---- item commands -----------------------------------------------------------------------------

void TSDIAppForm::AddFiles()
{
    CCategory* category = GetSelectedCategory();
    if (!category)
        return;
    TitemForm form(this);
    if (seam::exec(&form) != QDialog::Accepted)
        return;
    const QString title = form.txtTitle->text();
    const QString comment = form.memoDescription->toPlainText();
    const bool nameFromFile = form.ckTitle->isChecked();
    const QStringList targets = form.IsMultiple() ? splitTargets(form.txtTarget->text())
                                                  : QStringList{form.txtTarget->text()};
    for (const QString& target : targets) {
        const QString name = nameFromFile ? fileNamePart(target) : title;
        appendItem(*this, *category, makeItem(name, target, comment, CLinkItem::FileType, category->GetGuid()));
    }
}

void TSDIAppForm::AddNewItem1Click() { AddFiles(); }
void TSDIAppForm::AddNewItem2Click() { AddFiles(); }

void TSDIAppForm::AddWebAddressURL1Click()
{
    CCategory* category = GetSelectedCategory();
    if (!category)
        return;
    TitemForm form(this, true);
    if (seam::exec(&form) != QDialog::Accepted)
        return;
    appendItem(*this, *category, makeItem(form.txtTitle->text(), form.txtTarget->text(),
                                          form.memoDescription->toPlainText(), CLinkItem::WebType,
                                          category->GetGuid()));
}

void TSDIAppForm::AddWebAddressURL2Click() { AddWebAddressURL1Click(); }

void TSDIAppForm::Property3Click()
{
    QTreeWidgetItem* row = GetSelectedListItem();
    CLinkItem* item = itemOf(row);
    if (!item)
        return;
    TitemForm form(this, item->GetType() == CLinkItem::WebType);
    form.setWindowTitle(toQ(item->GetName()));
    form.txtTitle->setText(toQ(item->GetName()));
    form.txtTarget->setText(toQ(item->GetTarget()));
    form.memoDescription->setPlainText(toQ(item->GetComment()));
    if (seam::exec(&form) != QDialog::Accepted)
        return;
    item->SetName(fromQ(form.txtTitle->text()));
    item->SetTarget(fromQ(form.txtTarget->text()));
    item->SetComment(fromQ(form.memoDescription->toPlainText()));
    if (db.SaveItem(*item))
        fillItemRow(row, item);
}

// ---- search ------------------------------------------------------------------------------------

void TSDIAppForm::OnEditSearchExecute()
{
    auto* form = qobject_cast<TSearchItemForm*>(searchForm.data());
    if (!form) {
        form = new TSearchItemForm(this, settingsFilePath());
        form->setLocator([this](const std::string& categoryGuid, const std::string& itemGuid) {
            runCommand(this, [&] { LocateItem(categoryGuid, itemGuid); });
        });
        searchForm = form;
    }
    form->setDatabase(&db);
    form->show();
    form->raise();
    form->activateWindow();
}

// ---- backup and restore ------------------------------------------------------------------------

void TSDIAppForm::OnFileBackupExecute()
{
    const QString chosen = seam::saveFileName(this, QString::fromLatin1(backupCaption),
                                              QString::fromLatin1(backupFilter),
                                              QString::fromLatin1(backupSuffix), lastBackupFile);
    if (chosen.isEmpty())
        return;
    lastBackupFile = chosen;
    const BackupOutcome outcome = writeBackup(GetDatabasePath(), fromQ(chosen));
    showPlainMessage(this, outcome.message);
}

void TSDIAppForm::OnFileRestoreExecute()
{
    const QString chosen = seam::openFileName(this, QString::fromLatin1(restoreCaption),
                                              QString::fromLatin1(backupFilter), lastRestoreFile);
    if (chosen.isEmpty())
        return;
    lastRestoreFile = chosen;
    const std::string databasePath = GetDatabasePath();
    if (databasePath.empty())
        return;
    const auto closeCatalogue = [this] {
        // Rows and nodes point into the catalogue that is about to go.
        listContent->clear();
        {
            const QSignalBlocker blocker(treeCategory);
            treeCategory->clear();
        }
        db.Close();
    };
    const BackupOutcome outcome =
        restoreBackup(fromQ(chosen), databasePath, closeCatalogue, [this] { LoadCatalogue(); });
    showPlainMessage(this, outcome.message);
}

// ---- Favorites import --------------------------------------------------------------------------

void TSDIAppForm::ToolsImportIEFavoritesClick()
{
    TSelectCategoryDialogForm chooser(this);
    chooser.LoadCategories(&db);
    if (seam::exec(&chooser) != QDialog::Accepted)
        return;
    CCategory* chosen = chooser.GetSelectedCategory();
    if (!chosen)
        return;
    CFavoriteEngine engine;
    const FavoriteNode* favorites = engine.ReadFavorites();
    if (!favorites)
        return;
    // The catalogue held in memory gets the imported branch whole, not only its first level; also
    // when the import stops part-way, since what was stored until then stays stored.
    const auto showImported = [this, chosen, heldBefore = chosen->GetChildCount()] {
        db.LoadChildCategories(*chosen);
        QTreeWidgetItem* node = nodeOf(treeCategory, chosen);
        for (int i = heldBefore; i < chosen->GetChildCount(); ++i) {
            CCategory* imported = chosen->GetChild(i);
            loadSubtree(db, *imported);
            if (node)
                AddChildNodes(imported, addCategoryNode(imported, node));
        }
    };
    try {
        ImportFavoriteLevel(favorites, chosen->GetLevel(), chosen->GetGuid(), db);
    } catch (...) {
        showImported();
        throw;
    }
    showImported();
}

// ---- drops -------------------------------------------------------------------------------------

void TSDIAppForm::setupDrops()
{
    new DropTarget(*this, listContent, false);
    new DropTarget(*this, treeCategory, true);
}
