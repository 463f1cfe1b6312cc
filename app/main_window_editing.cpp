// What keeps typing in the item editor from being lost: closing asks about
// it like a selection move, and fields that could not store typing do not
// take it. The editor itself counts every change the user makes.
#include "main_window.h"

#include "book_commands.h"
#include "item_editor.h"

#include "book/category_tree.h"

void TfrmMain::ConnectEditingHandlers()
{
    connect(tvwMain, &TCategoryTree::currentNodeChanged, this, [this] { UpdateItemFieldsReadOnly(); });
    UpdateItemFieldsReadOnly();
}

void TfrmMain::UpdateItemFieldsReadOnly()
{
    m_editor->SetReadOnly(!TCategoryTree::IsItemNode(tvwMain->Selected()));
}

bool TfrmMain::FormCloseQuery()
{
    bool allow = true;
    tvwMainChanging(tvwMain->Selected(), QModelIndex(), allow);
    return allow;
}
