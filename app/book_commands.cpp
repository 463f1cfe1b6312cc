#include "book_commands.h"

#include "app/item_editor.h"
#include "book/book_folder.h"
#include "book/category_tree.h"
#include "util/message_service.h"

namespace {

const QString kSaveQuestion = QStringLiteral("Do you want save the changes you made in this item?");

} // namespace

TBookCommands::TBookCommands(TParts parts, QObject *parent) : QObject(parent), m_parts(std::move(parts))
{
    setObjectName(QStringLiteral("BookCommands"));
}

bool TBookCommands::AskAboutTyping(const QModelIndex &from)
{
    if (!from.isValid() || !m_parts.editor->IsModified())
        return true;
    const TModalResult answer = m_parts.messages->MessageDlg(kSaveQuestion, TMsgDlgType::mtWarning,
                                                             TMsgDlgButtons(mbYes) | mbNo | mbCancel);
    if (answer == TModalResult::mrNo)
        return true;
    if (answer != TModalResult::mrYes)
        return false;
    return StoreItem();
}

bool TBookCommands::SettleTyping()
{
    if (!AskAboutTyping(m_parts.tree->Selected()))
        return false;
    m_parts.editor->SetModified(false);
    return true;
}

bool TBookCommands::StoreItem()
{
    const QModelIndex node = m_parts.tree->Selected();
    if (!TCategoryTree::IsItemNode(node))
        return true;
    const TBookOutcome outcome = m_parts.folder->Book().StoreItem(node, m_parts.editor->Collect());
    if (outcome == TBookOutcome::TitleTaken) {
        TellRefusal(outcome);
        return false;
    }
    // A node without a record stores nothing; the file is written all the same.
    m_parts.editor->SetModified(false);
    m_parts.saveItems();
    return true;
}

void TBookCommands::MoveItem(const QModelIndex &item, const QModelIndex &category)
{
    // The save question may store the shown item first: its node stays, and
    // so does the target's.
    const QPersistentModelIndex from = item;
    const QPersistentModelIndex to = category;
    if (!TAccountBook::IsItemNode(from) || !SettleTyping())
        return;
    if (!from.isValid() || !to.isValid())
        return;
    QModelIndex moved;
    const TBookOutcome outcome = m_parts.folder->Book().MoveItem(from, to, &moved);
    if (outcome != TBookOutcome::Done)
        return TellRefusal(outcome);
    m_parts.select(moved);
    m_parts.folder->BackupBeforeNextSave();
    m_parts.saveItems();
}

void TBookCommands::RenameItem(const std::function<bool(QByteArray *title)> &ask)
{
    const QPersistentModelIndex node = m_parts.tree->Selected();
    if (!TAccountBook::IsItemNode(node) || !SettleTyping())
        return;
    TAccountBook &book = m_parts.folder->Book();
    QByteArray title = node.data(TAccountBook::NameRole).toByteArray();
    for (;;) {
        // The save question or the dialog may have let the item go.
        if (!ask(&title) || !node.isValid())
            return;
        const qsizetype record = book.RecordAt(node);
        if (record < 0)
            return;
        // The record's other fields as stored, not as the editor shows them.
        TItemRecord item = book.ReadItem(record);
        item.Title() = title;
        const TBookOutcome outcome = book.StoreItem(node, item);
        if (outcome == TBookOutcome::Done)
            break;
        TellRefusal(outcome);
        if (outcome != TBookOutcome::TitleTaken)
            return;
    }
    m_parts.editor->SetModified(false);
    m_parts.select(node);
    m_parts.saveItems();
}

void TBookCommands::TellRefusal(TBookOutcome outcome)
{
    QString text;
    switch (outcome) {
    case TBookOutcome::CategoryExists:
        text = QStringLiteral("This category already exists.");
        break;
    case TBookOutcome::ItemExists:
        text = QStringLiteral("This item already exists in this category.");
        break;
    case TBookOutcome::NoCategory:
        text = QStringLiteral("Select a category first.");
        break;
    case TBookOutcome::TitleTaken:
        text = QStringLiteral("Sorry there is an item with this title in this category. Use other name and try again");
        break;
    default:
        return; // nothing to tell: the command just does nothing
    }
    m_parts.messages->MessageDlg(text, TMsgDlgType::mtWarning, mbOK);
}
