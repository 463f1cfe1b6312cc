#include "tree_memory.h"

#include "book/account_book.h"
#include "book/book_folder.h"
#include "book/category_tree.h"
#include "settings/window_settings.h"

#include <QEvent>
#include <QWidget>

TTreeMemory::TTreeMemory(QWidget *window, TCategoryTree *tree, TBookFolder *folder, const QString &appFolder)
    : QObject(window), m_tree(tree), m_folder(folder), m_appFolder(appFolder)
{
    setObjectName(QStringLiteral("TreeMemory"));
    window->installEventFilter(this);
}

bool TTreeMemory::Protected() const
{
    return m_folder->IsProtected() || m_folder->Book().Text() != TBookText::Ansi;
}

void TTreeMemory::Restore()
{
    TAccountBook *book = m_tree->Book();
    if (!book || Protected())
        return;
    const TTreeState state = TWindowSettings(m_appFolder).LoadTree();
    // Names the book no longer has are passed over.
    for (int c = 0; c < book->CategoryCount(); ++c)
        if (state.open.contains(book->CategoryName(c)))
            m_tree->expand(m_tree->ViewIndex(book->CategoryIndex(c)));
    if (state.category.isEmpty())
        return;
    QModelIndex node;
    if (state.title.isEmpty()) {
        for (int c = 0; c < book->CategoryCount() && !node.isValid(); ++c)
            if (book->CategoryName(c) == state.category)
                node = book->CategoryIndex(c);
    } else {
        node = book->IndexOfRecord(book->FindItem(state.category, state.title));
    }
    if (!node.isValid() || !m_tree->SetCurrent(node))
        return;
    // Shown where its category is open; a closed one stays closed.
    const QModelIndex row = m_tree->ViewIndex(node);
    if (!row.parent().isValid() || m_tree->isExpanded(row.parent()))
        m_tree->scrollTo(row);
}

void TTreeMemory::Keep()
{
    TTreeState state;
    if (!Protected()) {
        for (const QModelIndex &category : m_tree->OpenCategoriesBesideSearch())
            state.open.append(TCategoryTree::NodeName(category));
        const QModelIndex selected = m_tree->SelectedBesideSearch();
        if (selected.isValid()) {
            state.category = TCategoryTree::NodeName(selected.parent().isValid() ? selected.parent() : selected);
            if (selected.parent().isValid())
                state.title = TCategoryTree::NodeName(selected);
        }
    }
    // A folder that cannot be written only forgets the tree, like the layout.
    const TWindowSettings settings(m_appFolder);
    if (state != settings.LoadTree())
        settings.SaveTree(state);
}

bool TTreeMemory::eventFilter(QObject *watched, QEvent *event)
{
    // Shown for the first time the book is loaded; hidden when closing, after
    // the save question has stored or dropped any typing.
    if (event->type() == QEvent::Show && !event->spontaneous() && !m_restored) {
        m_restored = true;
        Restore();
    } else if (event->type() == QEvent::Hide && !event->spontaneous()) {
        Keep();
    }
    return QObject::eventFilter(watched, event);
}
