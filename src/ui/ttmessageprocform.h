#pragma once

#include <QDialog>

class QLabel;

// A small stay-on-top window without buttons, shown while a long command runs.
class TTMessageProcForm : public QDialog {
    Q_OBJECT

public:
    explicit TTMessageProcForm(QWidget* parent = nullptr);

    // Over-long text is cut at a word and ends with an ellipsis.
    void setMessage(const QString& text);

private:
    void FormCreate();

    QLabel* msgLabel = nullptr;
};
