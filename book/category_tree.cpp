#include "category_tree.h"

#include "account_book.h"
#include "book_filter.h"
#include "util/guarded_selection.h"

#include <QLabel>
#include <QMouseEvent>
#include <QStyledItemDelegate>

namespace {

// A row the search keeps only for the selection is set apart from the results.
class TKeptRowDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.data(TBookFilter::ShownKeptRole).toBool())
            option->font.setItalic(true);
    }
};

} // namespace

TCategoryTree::TCategoryTree(QWidget *parent) : QTreeView(parent)
{
    setHeaderHidden(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setUniformRowHeights(true);
    setItemDelegate(new TKeptRowDelegate(this));
    m_filter = new TBookFilter(this);
    connect(m_filter, &TBookFilter::moveRequested, this, &TCategoryTree::itemMoveRequested);
    connect(m_filter, &TBookFilter::textAboutToApply, this, &TCategoryTree::LetGoOfHidden);
    // Not an item: the tree's rows stay the book's, and clicks go through.
    m_emptyLine = new QLabel(viewport());
    m_emptyLine->setObjectName(QStringLiteral("lblSearchEmpty"));
    m_emptyLine->setTextFormat(Qt::PlainText);
    m_emptyLine->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_emptyLine->setEnabled(false);
    m_emptyLine->hide();
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(m_filter, signal, this, &TCategoryTree::UpdateEmptyLine);
    connect(m_filter, &QAbstractItemModel::modelReset, this, &TCategoryTree::UpdateEmptyLine);
    connect(this, &QTreeView::expanded, this, &TCategoryTree::UpdateEmptyLine);
    connect(this, &QTreeView::collapsed, this, &TCategoryTree::UpdateEmptyLine);
}

void TCategoryTree::SetBook(TAccountBook *book)
{
    m_book = book;
    m_openBefore.clear();
    m_selectedBefore = QPersistentModelIndex();
    m_hidden = QPersistentModelIndex();
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
                if (!m_quiet) {
                    // The node the user moves to stays in view while the
                    // search text stays, whatever is typed in the editor next.
                    m_filter->Keep(node);
                    if (m_filter->IsFiltering())
                        m_selectionMovedInSearch = true;
                    if (node.isValid())
                        m_hidden = QPersistentModelIndex();
                }
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
    // Unsaved typing is never hidden; a node merely selected is, when the
    // text does not match it.
    const QModelIndex keep = m_typing && m_typing() ? Selected() : QModelIndex();
    if (text.trimmed() == m_filter->Text().trimmed()) {
        m_filter->SetText(text, keep); // blanks around the text change nothing
        return;
    }
    const bool wasFiltering = m_filter->IsFiltering();
    if (!wasFiltering && !text.trimmed().isEmpty())
        SaveTreeState();
    m_filter->SetText(text, keep);
    TakeBackHidden();
    if (m_filter->IsFiltering()) {
        expandAll();
        if (currentIndex().isValid())
            scrollTo(currentIndex());
    } else if (wasFiltering) {
        RestoreTreeState();
    }
    UpdateEmptyLine();
}

void TCategoryTree::LetGoOfHidden()
{
    const QModelIndex selected = Selected();
    if (!selected.isValid() || m_filter->Accepts(selected))
        return;
    // Through the gate, which lets a move to nothing pass: the row the
    // selection model would pick by itself would load another item.
    m_quiet = true;
    setCurrentIndex(QModelIndex());
    m_quiet = false;
    if (!currentIndex().isValid())
        m_hidden = selected;
}

void TCategoryTree::TakeBackHidden()
{
    if (!m_hidden.isValid() || currentIndex().isValid() || !ViewIndex(m_hidden).isValid())
        return;
    const QModelIndex node = m_hidden;
    m_quiet = true;
    setCurrentIndex(ViewIndex(node));
    m_quiet = false;
    if (Selected() == node)
        m_hidden = QPersistentModelIndex();
}

bool TCategoryTree::SelectFirstResult()
{
    QModelIndex target = Selected();
    if (!target.isValid() || !m_filter->IsMatch(target) || !ViewIndex(target).isValid()) {
        target = QModelIndex();
        QModelIndex namedCategory;
        for (int c = 0; c < m_filter->rowCount() && !target.isValid(); ++c) {
            const QModelIndex row = m_filter->index(c, 0);
            for (int i = 0; i < m_filter->rowCount(row) && !target.isValid(); ++i)
                if (m_filter->IsMatch(NodeIndex(m_filter->index(i, 0, row))))
                    target = NodeIndex(m_filter->index(i, 0, row));
            if (!namedCategory.isValid() && m_filter->IsMatch(NodeIndex(row)))
                namedCategory = NodeIndex(row);
        }
        if (!target.isValid())
            target = namedCategory;
        if (!target.isValid() || !SetCurrent(target))
            return false;
    }
    Reveal(target);
    return true;
}

QList<QModelIndex> TCategoryTree::OpenCategoriesBesideSearch() const
{
    QList<QModelIndex> open;
    if (!m_book)
        return open;
    if (m_filter->IsFiltering()) {
        for (const QPersistentModelIndex &category : m_openBefore)
            if (category.isValid())
                open.append(category);
        // Clearing the search shows the node the user chose in it.
        const QModelIndex chosen = Selected();
        if (m_selectionMovedInSearch && chosen.parent().isValid() && !open.contains(chosen.parent()))
            open.append(chosen.parent());
        return open;
    }
    for (int c = 0; c < m_book->CategoryCount(); ++c)
        if (isExpanded(ViewIndex(m_book->CategoryIndex(c))))
            open.append(m_book->CategoryIndex(c));
    return open;
}

QModelIndex TCategoryTree::SelectedBesideSearch() const
{
    const QModelIndex selected = Selected();
    return selected.isValid() ? selected : QModelIndex(m_hidden);
}

void TCategoryTree::UpdateEmptyLine()
{
    if (!m_filter->IsFiltering() || m_filter->HasMatches()) {
        m_emptyLine->hide();
        return;
    }
    m_emptyLine->setText(QStringLiteral("No item matches \"%1\"").arg(m_filter->Text().trimmed()));
    // Below the rows still shown (the node kept for its typing).
    int top = 0;
    if (const int rows = m_filter->rowCount(); rows > 0) {
        QModelIndex last = m_filter->index(rows - 1, 0);
        if (isExpanded(last) && m_filter->rowCount(last) > 0)
            last = m_filter->index(m_filter->rowCount(last) - 1, 0, last);
        top = std::max(0, visualRect(last).bottom() + 1);
    }
    const int margin = 4;
    m_emptyLine->setGeometry(margin, top + margin, std::max(0, viewport()->width() - 2 * margin),
                             m_emptyLine->sizeHint().height());
    m_emptyLine->show();
}

void TCategoryTree::resizeEvent(QResizeEvent *event)
{
    QTreeView::resizeEvent(event);
    if (m_emptyLine->isVisible())
        UpdateEmptyLine();
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
