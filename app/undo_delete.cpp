#include "undo_delete.h"

#include "book_commands.h"

#include "book/book_folder.h"
#include "book/category_tree.h"
#include "util/error_reporter.h"
#include "util/message_service.h"

#include <QAction>
#include <QMenu>
#include <QWidget>

TUndoDelete::TUndoDelete(TParts parts, QWidget &window) : QObject(&window), m_parts(std::move(parts))
{
    setObjectName(QStringLiteral("UndoDelete"));
    m_action = new QAction(this);
    m_action->setObjectName(QStringLiteral("UndoDelete1"));
    m_action->setShortcut(QKeySequence(QKeySequence::Undo));
    // On the tree only, where the deletes are: in a field the key undoes
    // typing.
    m_action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    m_action->setShortcutVisibleInContextMenu(true);
    m_parts.tree->addAction(m_action);
    for (const char *name : {"bsSkinPopupMenu1", "mnuMain"})
        if (auto *menu = window.findChild<QMenu *>(QString::fromLatin1(name)))
            menu->addAction(m_action);
    connect(m_action, &QAction::triggered, this, Guarded(this, &TUndoDelete::Undo));
    // A book read again from its files (a restore, a failed save) has other
    // places for its records than those kept.
    connect(&m_parts.folder->Book(), &QAbstractItemModel::modelReset, this, [this] {
        m_history.Clear();
        UpdateAction();
    });
    UpdateAction();
}

TBookOutcome TUndoDelete::DeleteItem(const QModelIndex &item)
{
    const TBookOutcome outcome = m_history.DeleteItem(m_parts.folder->Book(), item);
    UpdateAction();
    return outcome;
}

TBookOutcome TUndoDelete::DeleteCategory(const QModelIndex &category)
{
    const TBookOutcome outcome = m_history.DeleteCategory(m_parts.folder->Book(), category);
    UpdateAction();
    return outcome;
}

void TUndoDelete::Undo()
{
    if (m_history.IsEmpty())
        return;
    const bool category = m_history.NextIsCategory();
    const QString what = m_action->text();
    QModelIndex restored;
    const TBookOutcome outcome = m_history.Undo(m_parts.folder->Book(), &restored);
    UpdateAction();
    if (outcome == TBookOutcome::NoCategory) {
        // Not "Select a category first.": no selection would help.
        m_parts.messages->MessageDlg(
            QStringLiteral("%1 cannot come back: its category is no longer in the book.").arg(what),
            TMsgDlgType::mtWarning, mbOK);
        return;
    }
    if (outcome != TBookOutcome::Done)
        return m_parts.commands->TellRefusal(outcome);
    if (restored.isValid()) {
        m_parts.tree->SetCurrent(restored);
        m_parts.tree->Reveal(restored);
    }
    m_parts.folder->BackupBeforeNextSave();
    if (category)
        m_parts.saveBook();
    else
        m_parts.saveItems();
}

void TUndoDelete::UpdateAction()
{
    m_action->setEnabled(!m_history.IsEmpty());
    if (m_history.IsEmpty()) {
        m_action->setText(QStringLiteral("Undo Delete"));
        return;
    }
    const QByteArray name = m_history.NextName();
    QString shown = DecodeBookText(name, m_parts.folder->Book().Text());
    // A menu shows '&' as a mnemonic mark unless doubled.
    shown.replace(u'&', QStringLiteral("&&"));
    m_action->setText(QStringLiteral("Undo Delete of \"%1\"").arg(shown));
}
