// SPDX-License-Identifier: GPL-3.0-or-later
#include "testseam.h"

#include "model/progress.h"
#include "ui/common/dialogseam.h"

#include <QDialog>
#include <QQueue>
#include <QtGlobal>

#include <memory>

namespace seam {
namespace {

struct TestState {
    QQueue<QMessageBox::StandardButton> messageAnswers;
    QQueue<QStringList> fileAnswers;
    QQueue<std::function<int(QDialog*)>> dialogHandlers;
    QQueue<std::function<bool(std::size_t, std::size_t)>> progressHandlers;
    QList<ShownMessage> messages;
    QList<ShownFileDialog> fileDialogs;
    QStringList dialogs;
    QStringList progress;
    QStringList unexpected;
    bool trayAvailable = true;
};

TestState& state()
{
    static TestState s;
    return s;
}

void recordUnexpected(const QString& what)
{
    state().unexpected.append(what);
    qWarning("seam: unexpected prompt with no queued answer: %s", qPrintable(what));
}

int buttonCount(QMessageBox::StandardButtons buttons)
{
    int count = 0;
    for (unsigned bit = QMessageBox::FirstButton; bit <= QMessageBox::LastButton; bit <<= 1)
        if (buttons.testFlag(QMessageBox::StandardButton(bit)))
            ++count;
    return count;
}

QMessageBox::StandardButton refusal(QMessageBox::StandardButtons buttons)
{
    if (buttons.testFlag(QMessageBox::Cancel))
        return QMessageBox::Cancel;
    if (buttons.testFlag(QMessageBox::No))
        return QMessageBox::No;
    return QMessageBox::NoButton;
}

QStringList fileNames(const QString& caption, const QString& filter, const QString& suffix, bool save,
                      const QString& selectedFile = {})
{
    TestState& s = state();
    s.fileDialogs.append({caption, filter, suffix, save, selectedFile});
    if (!s.fileAnswers.isEmpty())
        return s.fileAnswers.dequeue();
    recordUnexpected(QStringLiteral("file dialog \"%1\"").arg(caption));
    return {};
}

class AnsweredProgress final : public Progress {
public:
    explicit AnsweredProgress(std::function<bool(std::size_t, std::size_t)> answer) : handler(std::move(answer)) {}
    bool advance(std::size_t done, std::size_t total) override { return !handler || handler(done, total); }

private:
    std::function<bool(std::size_t, std::size_t)> handler;
};

class RecordingSeam final : public Seam {
public:
    QMessageBox::StandardButton message(QWidget*, QMessageBox::Icon icon, const QString& caption, const QString& text,
                                        QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton defaultButton) override
    {
        TestState& s = state();
        s.messages.append({caption, text, icon, buttons, defaultButton});
        // A box with one button offers no choice; it must not eat an answer meant for a later question.
        if (buttonCount(buttons) == 1)
            return QMessageBox::StandardButton(buttons.toInt());
        if (!s.messageAnswers.isEmpty())
            return s.messageAnswers.dequeue();
        recordUnexpected(QStringLiteral("message \"%1\": %2").arg(caption, text));
        return refusal(buttons);
    }

    QStringList openFileNames(QWidget*, const QString& caption, const QString& filter) override
    {
        return fileNames(caption, filter, {}, false);
    }

    QString openFileName(QWidget*, const QString& caption, const QString& filter, const QString& selectedFile,
                         bool mustExist) override
    {
        const QString chosen = fileNames(caption, filter, {}, false, selectedFile).value(0);
        state().fileDialogs.last().mustExist = mustExist;
        return chosen;
    }

    QString saveFileName(QWidget*, const QString& caption, const QString& filter, const QString& defaultSuffix,
                         const QString& selectedFile) override
    {
        return fileNames(caption, filter, defaultSuffix, true, selectedFile).value(0);
    }

    QString existingFolder(QWidget*, const QString& caption) override
    {
        return fileNames(caption, {}, {}, false).value(0);
    }

    int exec(QDialog* dialog) override
    {
        TestState& s = state();
        s.dialogs.append(QString::fromLatin1(dialog->metaObject()->className()));
        if (!s.dialogHandlers.isEmpty())
            return s.dialogHandlers.dequeue()(dialog);
        recordUnexpected(QStringLiteral("dialog %1 \"%2\"").arg(s.dialogs.last(), dialog->windowTitle()));
        return QDialog::Rejected;
    }

    std::unique_ptr<Progress> progress(QWidget*, const QString& label, bool cancellable) override
    {
        TestState& s = state();
        s.progress.append(cancellable ? label + QStringLiteral(" (Cancel)") : label);
        return std::make_unique<AnsweredProgress>(s.progressHandlers.isEmpty() ? nullptr
                                                                               : s.progressHandlers.dequeue());
    }

    bool trayAvailable() override { return state().trayAvailable; }
};

RecordingSeam& recorder()
{
    static RecordingSeam installed;
    return installed;
}

}  // namespace

void enableTestMode()
{
    Seam::install(&recorder());
}

bool testMode()
{
    return &Seam::instance() == &recorder();
}

void pushMessageAnswer(QMessageBox::StandardButton answer)
{
    state().messageAnswers.enqueue(answer);
}

void pushFileAnswer(const QStringList& names)
{
    state().fileAnswers.enqueue(names);
}

void pushDialogHandler(std::function<int(QDialog*)> handler)
{
    state().dialogHandlers.enqueue(std::move(handler));
}

void pushProgressHandler(std::function<bool(std::size_t, std::size_t)> handler)
{
    state().progressHandlers.enqueue(std::move(handler));
}

void setTrayAvailable(bool available)
{
    state().trayAvailable = available;
}

const QList<ShownMessage>& shownMessages()
{
    return state().messages;
}

const QList<ShownFileDialog>& shownFileDialogs()
{
    return state().fileDialogs;
}

const QStringList& shownDialogs()
{
    return state().dialogs;
}

const QStringList& shownProgress()
{
    return state().progress;
}

int unexpectedPromptCount()
{
    return int(state().unexpected.size());
}

const QStringList& unexpectedPrompts()
{
    return state().unexpected;
}

int pendingAnswerCount()
{
    const TestState& s = state();
    return int(s.messageAnswers.size() + s.fileAnswers.size() + s.dialogHandlers.size() + s.progressHandlers.size());
}

void clearTestState()
{
    const bool tray = state().trayAvailable;
    state() = TestState{};
    state().trayAvailable = tray;
}

}  // namespace seam
