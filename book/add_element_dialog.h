#pragma once

#include "book/item_record.h"

#include <QByteArray>
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class TMessageService;

// The single-value input dialog of the book commands. Neither button is a
// default or cancel button: Enter and Esc mean nothing here.
class TfrmAddElement : public QDialog
{
    Q_OBJECT
public:
    // `text`: how the book the name goes into spells its text.
    TfrmAddElement(TMessageService &messages, QWidget *parent = nullptr, TBookText text = TBookText::Ansi);

    // Shows the dialog modally with a caption and a label; true with the typed
    // name (exactly as typed, spelt as the book spells its text) when OK
    // closed it.
    bool Ask(const QString &caption, const QString &label, QByteArray *value);

    void btnOkClick();
    void btnCancelClick();

    QLabel *lblLabel = nullptr;
    QLineEdit *edtElement = nullptr;
    QPushButton *btnOk = nullptr;
    QPushButton *btnCancel = nullptr;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    TMessageService &m_messages;
    TBookText m_text = TBookText::Ansi;
};
