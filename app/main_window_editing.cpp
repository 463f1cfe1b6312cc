// What keeps typing in the item editor from being lost: every change the user
// makes counts as unsaved typing, closing asks about it like a selection move,
// and fields that could not store typing do not take it.
#include "main_window.h"

#include "book/category_tree.h"
#include "util/error_reporter.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

void TfrmMain::ConnectEditingHandlers()
{
    // A key press alone misses a paste with the mouse or the context menu, a
    // drop and an undo. textEdited comes with every change the user makes and
    // never with setText; the memo has no such signal, but filling the editor
    // from the book clears the flag after it has filled the fields.
    for (QWidget *field : ItemFields()) {
        if (auto *edit = qobject_cast<QLineEdit *>(field))
            connect(edit, &QLineEdit::textEdited, this, [this] { ItemFieldEdited(); });
    }
    connect(memDesc, &QPlainTextEdit::textChanged, this, [this] { ItemFieldEdited(); });
    connect(tvwMain, &TCategoryTree::currentNodeChanged, this, [this] { UpdateItemFieldsReadOnly(); });
    UpdateItemFieldsReadOnly();
}

void TfrmMain::ItemFieldEdited()
{
    ItemModified = true;
}

void TfrmMain::UpdateItemFieldsReadOnly()
{
    const bool readOnly = !TCategoryTree::IsItemNode(tvwMain->Selected());
    for (QWidget *field : ItemFields()) {
        if (auto *edit = qobject_cast<QLineEdit *>(field))
            edit->setReadOnly(readOnly);
        else if (auto *memo = qobject_cast<QPlainTextEdit *>(field))
            memo->setReadOnly(readOnly);
    }
}

bool TfrmMain::FormCloseQuery()
{
    bool allow = true;
    tvwMainChanging(tvwMain->Selected(), QModelIndex(), allow);
    return allow;
}
