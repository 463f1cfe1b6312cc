#pragma once

#include "book/item_record.h"

#include <QByteArray>
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class TMessageService;

// The single-value input dialog of the book commands. Enter presses Ok (a
// blank value keeps it open) and Esc cancels.
class TfrmAddElement : public QDialog
{
    Q_OBJECT
public:
    // `text`: how the book the name goes into spells its text.
    TfrmAddElement(TMessageService &messages, QWidget *parent = nullptr, TBookText text = TBookText::Ansi);

    // Shows the dialog modally with a caption and a label, the field holding
    // `*value` (empty for a new name); true with the typed name (exactly as
    // typed, spelt as the book spells its text) when OK closed it.
    bool Ask(const QString &caption, const QString &label, QByteArray *value);

    void btnOkClick();
    void btnCancelClick();

    QLabel *lblLabel = nullptr;
    QLineEdit *edtElement = nullptr;
    QPushButton *btnOk = nullptr;
    QPushButton *btnCancel = nullptr;

private:
    TMessageService &m_messages;
    TBookText m_text = TBookText::Ansi;
};
