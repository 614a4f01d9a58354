// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/commands/categorycommands.h"

#include "session/cataloguesession.h"
#include "ui/common/deletequestion.h"
#include "ui/common/dialogseam.h"
#include "ui/common/qtext.h"
#include "ui/dialogs/tnewcategoryform.h"
#include "ui/dialogs/ttmessageprocform.h"
#include "ui/views/catalogueview.h"
#include "ui/views/categorytreeview.h"
#include "ui/views/itemlistview.h"
#include "undo/catalogueundocommands.h"

namespace {

const char* const confirmCaption = "Confirm";
const char* const deleteCategoryQuestion = "Do you want to delete all sub-categories and items in this category?";
const char* const deleteCategoryCaption = "Delete category";
const char* const deletingLabel = "Deleting the category...";

}  // namespace

CategoryCommands::CategoryCommands(CatalogueSession& catalogueSession, CatalogueView& catalogueView, QWidget* owner,
                                   std::function<void(const CCategory&)> beforeDeleting)
    : QObject(owner), session(catalogueSession), view(catalogueView), window(owner),
      beforeDelete(std::move(beforeDeleting))
{
}

void CategoryCommands::addCategory()
{
    add(session.root(), nullptr);
}

void CategoryCommands::addSubcategory()
{
    if (CCategory* parent = view.selectedCategory())
        add(*parent, parent);
}

void CategoryCommands::add(CCategory& parent, const CCategory* parentShown)
{
    TNewCategoryForm form(window, 0, session.icons(), [this] { session.saveIcons(); });
    if (seam::exec(&form) != QDialog::Accepted)
        return;
    if (auto* add = session.run<AddCategoryCommand>(parent, fromQ(form.name()), form.GetIconIndex()))
        view.addBranch(*add->added(), parentShown);
}

void CategoryCommands::editSelected()
{
    CCategory* category = view.selectedCategory();
    if (!category)
        return;
    TNewCategoryForm form(window, category->GetIconIndex(), session.icons(), [this] { session.saveIcons(); });
    form.setWindowTitle(toQ(category->GetName()));
    form.setName(toQ(category->GetName()));
    if (seam::exec(&form) != QDialog::Accepted)
        return;
    const std::string name = keptOrEdited(form.name(), category->GetName());
    if (session.run<EditCategoryCommand>(*category, name, form.GetIconIndex()))
        view.tree()->refreshNode(view.tree()->nodeOf(category));
}

void CategoryCommands::deleteSelected()
{
    QTreeWidgetItem* node = view.selectedNode();
    CCategory* category = view.tree()->categoryOf(node);
    if (!category)
        return;
    const CDBManager::SubtreeSize size = session.database().MeasureSubtree(*category);
    const QString question = deleteQuestion(QString::fromLatin1(deleteCategoryQuestion),
                                            categoryGoing(toQ(category->GetName()), size.categories, size.items));
    if (seam::message(window, QMessageBox::Question, QString::fromLatin1(confirmCaption), question,
                      QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;
    beforeDelete(*category);
    TTMessageProcForm progress(window);
    progress.setWindowTitle(QString::fromLatin1(deleteCategoryCaption));
    progress.showPainted();

    CCategory* parent = node->parent() ? view.tree()->categoryOf(node->parent()) : &session.root();
    const auto deleting = seam::progress(window, QString::fromLatin1(deletingLabel), false);
    std::unique_ptr<CCategory> detached;
    session.run<DeleteCategoryCommand>(*parent, *category, *deleting, detached);
    // The node goes first: the list may still show rows of the detached category's items.
    delete node;
    if (!view.selectedNode())
        view.list()->clear();
    progress.close();
}
