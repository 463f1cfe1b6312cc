#pragma once

#include "book/delete_history.h"

#include <QObject>

#include <functional>

class QAction;
class QWidget;
class TBookCommands;
class TBookFolder;
class TCategoryTree;
class TMessageService;

// Undo Delete (Ctrl+Z on the tree, in its pop-up and in the window's menu):
// the book's deletes go through here, and an undo brings back the latest,
// saved at once after the backup step as the delete itself was.
class TUndoDelete : public QObject
{
    Q_OBJECT
public:
    struct TParts
    {
        TBookFolder *folder = nullptr;
        TCategoryTree *tree = nullptr;
        TBookCommands *commands = nullptr; // tells the book's refusals
        TMessageService *messages = nullptr;
        // Writes items.dat, or both files; as the window's deletes save.
        std::function<void()> saveItems;
        std::function<bool()> saveBook;
    };
    // Puts its action into the window's tree pop-up and Menu.
    TUndoDelete(TParts parts, QWidget &window);

    TBookOutcome DeleteItem(const QModelIndex &item);
    TBookOutcome DeleteCategory(const QModelIndex &category);
    void Undo();

private:
    void UpdateAction();
    TParts m_parts;
    TDeleteHistory m_history;
    QAction *m_action = nullptr;
};
