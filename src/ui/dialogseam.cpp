#include "ui/dialogseam.h"

#include "model/progress.h"
#include "ui/progressreporter.h"

#include <QDialog>
#include <QFileDialog>
#include <QQueue>
#include <QtGlobal>

namespace seam {
namespace {

struct TestState {
    bool enabled = false;
    QQueue<QMessageBox::StandardButton> messageAnswers;
    QQueue<QStringList> fileAnswers;
    QQueue<std::function<int(QDialog*)>> dialogHandlers;
    QQueue<std::function<bool(std::size_t, std::size_t)>> progressHandlers;
    QStringList progress;
    QList<ShownMessage> messages;
    QList<ShownFileDialog> fileDialogs;
    QStringList dialogs;
    QStringList unexpected;
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

QMessageBox::StandardButton testMessage(QMessageBox::Icon icon, const QString& caption,
                                        const QString& text, QMessageBox::StandardButtons buttons)
{
    TestState& s = state();
    s.messages.append({caption, text, icon, buttons});
    // A box with one button offers no choice; it must not eat an answer meant for a later question.
    if (buttonCount(buttons) == 1)
        return QMessageBox::StandardButton(buttons.toInt());
    if (!s.messageAnswers.isEmpty())
        return s.messageAnswers.dequeue();
    recordUnexpected(QStringLiteral("message \"%1\": %2").arg(caption, text));
    return refusal(buttons);
}

QStringList testFileNames(const QString& caption, const QString& filter, const QString& suffix,
                          bool save, const QString& selectedFile = {})
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

}  // namespace

std::unique_ptr<Progress> progress(QWidget* owner, const QString& label, bool cancellable)
{
    TestState& s = state();
    if (!s.enabled)
        return std::make_unique<ProgressReporter>(owner, label, cancellable);
    s.progress.append(cancellable ? label + QStringLiteral(" (Cancel)") : label);
    return std::make_unique<AnsweredProgress>(s.progressHandlers.isEmpty() ? nullptr : s.progressHandlers.dequeue());
}

QMessageBox::StandardButton message(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                                    const QString& text, QMessageBox::StandardButtons buttons)
{
    if (state().enabled)
        return testMessage(icon, caption, text, buttons);
    QMessageBox box(icon, caption, text, buttons, parent);
    box.setAccessibleName(caption);
    return QMessageBox::StandardButton(box.exec());
}

QStringList openFileNames(QWidget* parent, const QString& caption, const QString& filter)
{
    if (state().enabled)
        return testFileNames(caption, filter, {}, false);
    return QFileDialog::getOpenFileNames(parent, caption, {}, filter);
}

QString openFileName(QWidget* parent, const QString& caption, const QString& filter,
                     const QString& selectedFile)
{
    if (state().enabled)
        return testFileNames(caption, filter, {}, false, selectedFile).value(0);
    return QFileDialog::getOpenFileName(parent, caption, selectedFile, filter);
}

QString saveFileName(QWidget* parent, const QString& caption, const QString& filter,
                     const QString& defaultSuffix, const QString& selectedFile)
{
    if (state().enabled)
        return testFileNames(caption, filter, defaultSuffix, true, selectedFile).value(0);
    // The static helper cannot take a default suffix, so the dialog is built by hand.
    QFileDialog dialog(parent, caption, selectedFile, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles().value(0);
}

int exec(QDialog* dialog)
{
    TestState& s = state();
    if (!s.enabled)
        return dialog->exec();
    s.dialogs.append(QString::fromLatin1(dialog->metaObject()->className()));
    if (!s.dialogHandlers.isEmpty())
        return s.dialogHandlers.dequeue()(dialog);
    recordUnexpected(QStringLiteral("dialog %1 \"%2\"").arg(s.dialogs.last(), dialog->windowTitle()));
    return QDialog::Rejected;
}

void enableTestMode()
{
    state().enabled = true;
}

bool testMode()
{
    return state().enabled;
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

const QStringList& shownProgress()
{
    return state().progress;
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
    const bool enabled = state().enabled;
    state() = TestState{};
    state().enabled = enabled;
}

}  // namespace seam
