#include "category_tree.h"

#include "account_book.h"
#include "book_filter.h"
#include "util/guarded_selection.h"

#include <QMouseEvent>

TCategoryTree::TCategoryTree(QWidget *parent) : QTreeView(parent)
{
    setHeaderHidden(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setUniformRowHeights(true);
    m_filter = new TBookFilter(this);
    connect(m_filter, &TBookFilter::moveRequested, this, &TCategoryTree::itemMoveRequested);
}

void TCategoryTree::SetBook(TAccountBook *book)
{
    m_book = book;
    m_openBefore.clear();
    m_selectedBefore = QPersistentModelIndex();
    QItemSelectionModel *old = selectionModel();
    m_filter->SetBook(book);
    setModel(m_filter);
    // setModel made a plain selection model; the guarded one takes its place.
    QItemSelectionModel *plain = selectionModel();
    m_guard = new TGuardedSelectionModel(m_filter, this);
    setSelectionModel(m_guard);
    delete plain;
    delete old;
    SetChangingGate(m_gate);
    // A book loaded again under a search shows its matches open as well;
    // connected after the view's own handler, which closes everything.
    disconnect(m_reopen);
    m_reopen = connect(m_filter, &QAbstractItemModel::modelReset, this, [this] {
        if (m_filter->IsFiltering())
            expandAll();
    });
    connect(m_guard, &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current, const QModelIndex &previous) {
                const QModelIndex node = NodeIndex(current);
                // The node the user moves to stays in view while the search
                // goes on, whatever is typed in the editor next.
                m_filter->Keep(node);
                if (m_filter->IsFiltering())
                    m_selectionMovedInSearch = true;
                emit currentNodeChanged(node, NodeIndex(previous));
            });
}

void TCategoryTree::SetChangingGate(ChangingGate gate)
{
    m_gate = std::move(gate);
    if (!m_guard)
        return;
    if (!m_gate) {
        m_guard->SetGate({});
        return;
    }
    m_guard->SetGate([this](const QModelIndex &from, const QModelIndex &to) {
        return m_gate(NodeIndex(from), NodeIndex(to));
    });
}

QByteArray TCategoryTree::NodeName(const QModelIndex &node)
{
    return node.data(TAccountBook::NameRole).toByteArray();
}

QModelIndex TCategoryTree::ViewIndex(const QModelIndex &node) const
{
    return m_filter->ShownIndex(node);
}

QModelIndex TCategoryTree::NodeIndex(const QModelIndex &viewIndex) const
{
    if (!viewIndex.isValid() || viewIndex.model() != m_filter)
        return {};
    return m_filter->mapToSource(viewIndex);
}

QModelIndex TCategoryTree::Selected() const
{
    return NodeIndex(currentIndex());
}

bool TCategoryTree::SetCurrent(const QModelIndex &node)
{
    if (node.isValid() && node.model() != m_book)
        return false;
    if (node.isValid() && !ViewIndex(node).isValid())
        m_filter->Keep(node);
    setCurrentIndex(ViewIndex(node));
    return Selected() == node;
}

void TCategoryTree::Reveal(const QModelIndex &node)
{
    const QModelIndex at = ViewIndex(node);
    if (!at.isValid())
        return;
    if (at.parent().isValid())
        expand(at.parent());
    scrollTo(at);
}

void TCategoryTree::SetSearchText(const QString &text)
{
    if (text.trimmed() == m_filter->Text().trimmed()) {
        m_filter->SetText(text, Selected()); // blanks around the text change nothing
        return;
    }
    const bool wasFiltering = m_filter->IsFiltering();
    if (!wasFiltering && !text.trimmed().isEmpty())
        SaveTreeState();
    m_filter->SetText(text, Selected());
    if (m_filter->IsFiltering()) {
        expandAll();
        if (currentIndex().isValid())
            scrollTo(currentIndex());
    } else if (wasFiltering) {
        RestoreTreeState();
    }
}

void TCategoryTree::SaveTreeState()
{
    m_openBefore.clear();
    if (m_book) {
        for (int c = 0; c < m_book->CategoryCount(); ++c) {
            const QModelIndex category = m_book->CategoryIndex(c);
            if (isExpanded(ViewIndex(category)))
                m_openBefore.append(category);
        }
    }
    m_selectedBefore = Selected();
    m_selectionMovedInSearch = false;
}

void TCategoryTree::RestoreTreeState()
{
    collapseAll();
    // One layout for all of them, not one per category opened.
    scheduleDelayedItemsLayout();
    for (const QPersistentModelIndex &category : std::as_const(m_openBefore))
        if (category.isValid())
            expand(ViewIndex(category));
    m_openBefore.clear();
    const QModelIndex current = Selected();
    // A node the user chose while searching stays chosen, and is shown.
    if (m_selectionMovedInSearch && current != QModelIndex(m_selectedBefore)) {
        Reveal(current);
    } else if (currentIndex().isValid()) {
        // scrollTo would open a category that was closed over its item.
        const QModelIndex parent = currentIndex().parent();
        if (!parent.isValid() || isExpanded(parent))
            scrollTo(currentIndex());
    }
    m_selectedBefore = QPersistentModelIndex();
    m_selectionMovedInSearch = false;
}

void TCategoryTree::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() != Qt::NoButton) {
        event->accept();
        return;
    }
    QTreeView::mouseMoveEvent(event);
}
