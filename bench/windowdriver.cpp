// SPDX-License-Identifier: GPL-3.0-or-later
#include "windowdriver.h"

#include "testseam.h"

#include "session/cataloguesession.h"
#include "ui/window/tsdiappform.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

namespace {

constexpr int fillDeadlineMs = 60000;

QAbstractItemView* view(const QObject* owner, const char* name)
{
    return owner->findChild<QAbstractItemView*>(QString::fromLatin1(name));
}

QModelIndex findByText(const QAbstractItemView* tree, const QString& text)
{
    const QAbstractItemModel* model = tree->model();
    if (model->rowCount() == 0)
        return {};
    const QModelIndexList found =
        model->match(model->index(0, 0), Qt::DisplayRole, text, 1, Qt::MatchExactly | Qt::MatchRecursive);
    return found.value(0);
}

int countRows(const QAbstractItemModel* model, const QModelIndex& parent)
{
    const int rows = model->rowCount(parent);
    int total = rows;
    for (int row = 0; row < rows; ++row)
        total += countRows(model, model->index(row, 0, parent));
    return total;
}

// Runs a prompt handler on one kind of dialog; a control it cannot find is noted and the dialog
// cancelled, so a changed dialog shows up as a problem instead of a figure for doing nothing.
void answerDialog(std::shared_ptr<QStringList> missing, std::function<bool(QDialog*, QStringList&)> fill)
{
    seam::pushDialogHandler([missing, fill](QDialog* dialog) {
        if (!fill(dialog, *missing))
            return int(QDialog::Rejected);
        return dialog->result();
    });
}

template <class Control>
Control* control(QDialog* dialog, const char* name, QStringList& missing)
{
    auto* found = dialog->findChild<Control*>(QString::fromLatin1(name));
    if (!found)
        missing.append(QStringLiteral("%1 in %2").arg(QLatin1String(name), dialog->objectName()));
    return found;
}

// Answers "Select Category" by choosing the named category and OK.
std::function<bool(QDialog*, QStringList&)> chooseCategory(const QString& name)
{
    return [name](QDialog* dialog, QStringList& notFound) {
        QAbstractItemView* tree = view(dialog, "treeCategory");
        auto* ok = control<QAbstractButton>(dialog, "OKBtn", notFound);
        const QModelIndex node = tree ? findByText(tree, name) : QModelIndex();
        if (!node.isValid())
            notFound.append(QStringLiteral("category \"%1\" in %2").arg(name, dialog->objectName()));
        if (!ok || !node.isValid())
            return false;
        tree->setCurrentIndex(node);
        ok->click();
        return true;
    };
}

}  // namespace

void WindowDriver::answerPromptsFromQueues()
{
    seam::enableTestMode();
}

WindowDriver::WindowDriver(bool settleIndex) : missing(std::make_shared<QStringList>())
{
    seam::clearTestState();
    window = std::make_unique<TSDIAppForm>();
    window->show();
    QCoreApplication::processEvents();
    // The search index is built or brought up to date once when a window opens; the rows time
    // commands of a settled window, not that one-time work beside them.
    if (!settleIndex)
        return;
    if (const auto* session = window->findChild<CatalogueSession*>()) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        while (!session->indexSettled() && std::chrono::steady_clock::now() < deadline) {
            QCoreApplication::processEvents();
            QThread::msleep(10);
        }
    }
}

WindowDriver::~WindowDriver()
{
    window.reset();
    QCoreApplication::processEvents();
}

void WindowDriver::trigger(const char* action)
{
    if (auto* found = window->findChild<QAction*>(QString::fromLatin1(action)))
        found->trigger();
    else
        missing->append(QStringLiteral("action %1").arg(QLatin1String(action)));
}

bool WindowDriver::selectCategory(const QString& name, int rows)
{
    QAbstractItemView* tree = view(window.get(), "treeCategory");
    const QModelIndex node = tree ? findByText(tree, name) : QModelIndex();
    if (!node.isValid())
        return false;
    tree->setCurrentIndex(node);
    QElapsedTimer clock;
    clock.start();
    while (rows >= 0 && listRowCount() < rows) {
        if (clock.elapsed() > fillDeadlineMs)
            return false;
        QCoreApplication::processEvents();
    }
    return true;
}

bool WindowDriver::reloadAfterOutsideChange(int rows)
{
    if (QObject* view = window->findChild<QObject*>(QStringLiteral("Splitter1")))
        QMetaObject::invokeMethod(view, "reloadFromStore", Qt::DirectConnection);
    return listRowCount() == rows;
}

int WindowDriver::listRowCount() const
{
    const QAbstractItemView* list = view(window.get(), "listContent");
    return list ? list->model()->rowCount() : -1;
}

int WindowDriver::categoryNodeCount() const
{
    const QAbstractItemView* tree = view(window.get(), "treeCategory");
    return tree ? countRows(tree->model(), QModelIndex()) : -1;
}

void WindowDriver::addFiles(const QStringList& files)
{
    answerDialog(missing, [files](QDialog* dialog, QStringList& notFound) {
        auto* browse = control<QAbstractButton>(dialog, "BitBtn1", notFound);
        auto* nameFromFile = control<QCheckBox>(dialog, "ckTitle", notFound);
        auto* ok = control<QAbstractButton>(dialog, "btnOk", notFound);
        if (!browse || !nameFromFile || !ok)
            return false;
        seam::pushFileAnswer(files);
        browse->click();
        nameFromFile->setChecked(true);
        ok->click();
        return true;
    });
    trigger("AddNewItem2");
}

void WindowDriver::deleteSelectedCategory()
{
    seam::pushMessageAnswer(QMessageBox::Yes);
    trigger("DeleteCategory");
}

void WindowDriver::importFavorites(const QString& intoCategory)
{
    answerDialog(missing, chooseCategory(intoCategory));
    trigger("ToolsImportIEFavorites");
}

void WindowDriver::importBookmarks(const QString& file, const QString& intoCategory)
{
    seam::pushFileAnswer({file});
    answerDialog(missing, chooseCategory(intoCategory));
    trigger("ToolsImportBookmarks");
}

void WindowDriver::moveSelectedCategory(const QString& toCategory)
{
    answerDialog(missing, chooseCategory(toCategory));
    trigger("MoveCategoryTo");
}

void WindowDriver::undo()
{
    trigger("EditUndo");
}

void WindowDriver::backup(const QString& file)
{
    seam::pushFileAnswer({file});
    trigger("OnFileBackup");
}

void WindowDriver::restore(const QString& file)
{
    seam::pushFileAnswer({file});
    trigger("OnFileRestore");
}

WindowDriver::Typing WindowDriver::typeQuickFind(const QString& text, int keyGapMs)
{
    Typing typing;
    auto* field = window->findChild<QLineEdit*>(QStringLiteral("QuickFind"));
    const QAbstractItemView* results = view(window.get(), "listQuickFind");
    const QLabel* status = window->findChild<QLabel*>(QStringLiteral("QuickFindCount"));
    if (!field || !results || !status) {
        missing->append(QStringLiteral("the quick find field, its results or its count"));
        return typing;
    }
    field->clear();
    field->setFocus();
    QElapsedTimer clock;
    // Runs the event loop for a while, noting its longest single stretch of work.
    const auto idle = [&](int ms, const std::function<bool()>& done) {
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < ms && !(done && done())) {
            clock.start();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
            typing.longestBusyMs = std::max(typing.longestBusyMs, clock.nsecsElapsed() / 1e6);
        }
    };
    // What the window still had to do after opening is not the typing's.
    idle(500, {});
    typing.longestBusyMs = 0;
    std::vector<double> keys;
    for (const QChar character : text) {
        const int key = character.isLetter() ? Qt::Key_A + (character.toUpper().unicode() - 'A') : character.unicode();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(character));
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(character));
        clock.start();
        QCoreApplication::sendEvent(field, &press);
        QCoreApplication::sendEvent(field, &release);
        keys.push_back(clock.nsecsElapsed() / 1e6);
        idle(keyGapMs, {});
    }
    QElapsedTimer sinceLastKey;
    sinceLastKey.start();
    const auto shown = [&] {
        return field->text() == text && results->isVisible() && !status->text().isEmpty()
               && !status->text().contains(QLatin1String("counting"));
    };
    idle(fillDeadlineMs, shown);
    if (shown()) {
        typing.lastKeyToHitsMs = double(keyGapMs + sinceLastKey.elapsed());
        typing.rows = results->model()->rowCount();
        typing.status = status->text();
    }
    std::sort(keys.begin(), keys.end());
    typing.medianKeyMs = keys.empty() ? 0 : keys[keys.size() / 2];
    typing.slowestKeyMs = keys.empty() ? 0 : keys.back();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(field, &escape);
    return typing;
}

QStringList WindowDriver::messages() const
{
    QStringList texts;
    for (const seam::ShownMessage& shown : seam::shownMessages())
        texts.append(shown.text);
    return texts;
}

QString WindowDriver::problems() const
{
    QStringList found = *missing;
    for (const seam::ShownMessage& shown : seam::shownMessages())
        if (shown.icon == QMessageBox::Critical)
            found.append(QStringLiteral("error box: ") + shown.text);
    found.append(seam::unexpectedPrompts());
    if (seam::pendingAnswerCount() > 0)
        found.append(QStringLiteral("%1 answers never asked for").arg(seam::pendingAnswerCount()));
    return found.join(QStringLiteral("; "));
}
