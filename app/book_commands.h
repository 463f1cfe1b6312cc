#pragma once

#include "book/account_book.h"

#include <QObject>

#include <functional>

class TBookFolder;
class TCategoryTree;
class TItemEditor;
class TMessageService;

// The decisions of the commands that store the shown item or move an item:
// the save question for unsaved typing, the book's answer (its rules, the
// title rule among them, live in the book alone) and what follows from it.
// A move from the pop-up menu and a drop in the tree take the same path.
class TBookCommands : public QObject
{
    Q_OBJECT
public:
    struct TParts
    {
        TBookFolder *folder = nullptr;
        TCategoryTree *tree = nullptr;
        TItemEditor *editor = nullptr;
        TMessageService *messages = nullptr;
        // Writes items.dat and tells a failed write (throwing, so the
        // command goes no further).
        std::function<void()> saveItems;
        // Selects and shows a node of the book.
        std::function<void(const QModelIndex &)> select;
    };
    TBookCommands(TParts parts, QObject *parent);

    // The save question before the selection leaves `from` with unsaved
    // typing in the editor: Yes stores it, No lets it go, Cancel (or a
    // store the book refuses) keeps it. True when the selection may move.
    bool AskAboutTyping(const QModelIndex &from);
    // The same before a command that leaves the shown item; the typing is
    // gone afterwards unless the user kept it (false).
    bool SettleTyping();
    // Stores the editor's fields into the selected item and saves; false
    // when the book refused, which is told.
    bool StoreItem();
    // Moves `item` into `category` (a category node, or an item node for
    // its category) once the typing is settled; selects it and saves, with
    // the book kept in a backup first.
    void MoveItem(const QModelIndex &item, const QModelIndex &category);
    // F2 on an item: once the typing is settled, asks (through `ask`, which
    // starts from the item's title) for a new title and stores it in the
    // item's record under the title rule; a taken title is told and asked
    // again. Saves and shows the item on success.
    void RenameItem(const std::function<bool(QByteArray *title)> &ask);
    // The message for a refusal of the book; nothing for one the user need
    // not hear of.
    void TellRefusal(TBookOutcome outcome);

private:
    TParts m_parts;
};
