// Commands of daily use beside the book's own: copying a field, moving and
// duplicating an item (pop-up entries and drag and drop in the tree), and the
// keys of the tree and the main page. Each asks what the pop-up commands ask
// and calls the book's rules (book/account_book.h).
#include "main_window.h"

#include "book_commands.h"
#include "item_editor.h"

#include "book/account_book.h"
#include "book/category_tree.h"
#include "util/codepage.h"
#include "util/error_reporter.h"
#include "util/secret_clipboard.h"

#include <QAction>
#include <QApplication>
#include <QDrag>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>

#include <functional>

namespace {

// Hands a watched object's events to a function; true swallows the event.
class TEventHook : public QObject
{
public:
    using Hook = std::function<bool(QObject *, QEvent *)>;
    TEventHook(Hook hook, QObject *parent) : QObject(parent), m_hook(std::move(hook)) {}
    bool eventFilter(QObject *watched, QEvent *event) override { return m_hook(watched, event); }

private:
    Hook m_hook;
};

// The tree lets no held press walk over its rows, so it never starts a drag
// on its own: the selected item is dragged from here, as the book's payload.
// The drop comes back from the tree as a request to move the item.
class TItemDragStarter : public QObject
{
public:
    explicit TItemDragStarter(TCategoryTree *tree) : QObject(tree), m_tree(tree)
    {
        tree->viewport()->installEventFilter(this);
    }

    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::MouseButtonPress) {
            const auto *e = static_cast<QMouseEvent *>(event);
            m_pressed = e->button() == Qt::LeftButton;
            m_from = e->position().toPoint();
        } else if (event->type() == QEvent::MouseButtonRelease) {
            m_pressed = false;
        } else if (event->type() == QEvent::MouseMove && m_pressed) {
            const auto *e = static_cast<QMouseEvent *>(event);
            if (!(e->buttons() & Qt::LeftButton)) {
                m_pressed = false;
            } else if ((e->position().toPoint() - m_from).manhattanLength() >= QApplication::startDragDistance()) {
                m_pressed = false;
                return StartDrag();
            }
        }
        return false;
    }

private:
    bool StartDrag()
    {
        // Only the item the press has selected: a press the save question
        // kept from moving the selection drags nothing.
        const QModelIndex node = m_tree->indexAt(m_from);
        if (!TCategoryTree::IsItemNode(node) || node != m_tree->currentIndex())
            return false;
        QMimeData *data = m_tree->model()->mimeData({node});
        if (!data)
            return false;
        auto *drag = new QDrag(m_tree);
        drag->setMimeData(data);
        drag->exec(Qt::MoveAction, Qt::MoveAction);
        return true;
    }

    TCategoryTree *m_tree;
    bool m_pressed = false;
    QPoint m_from;
};

QAction *NamedAction(QObject *parent, const char *name, const QString &text)
{
    auto *a = new QAction(text, parent);
    a->setObjectName(QString::fromLatin1(name));
    return a;
}

// A menu shows '&' as a mnemonic mark unless doubled.
QString MenuText(const QString &text)
{
    QString out = text;
    return out.replace(u'&', QStringLiteral("&&"));
}

} // namespace

void TfrmMain::ConnectCommandHandlers()
{
    // --- Pop-up entries, after the pop-up's own ---
    N2 = bsSkinPopupMenu1->addSeparator();
    N2->setObjectName(QStringLiteral("N2"));
    MoveItemTo1 = new QMenu(QStringLiteral("Move Item To\u2026"), bsSkinPopupMenu1);
    MoveItemTo1->setObjectName(QStringLiteral("MoveItemTo1"));
    bsSkinPopupMenu1->addMenu(MoveItemTo1);
    DuplicateItem1 = NamedAction(bsSkinPopupMenu1, "DuplicateItem1", QStringLiteral("Duplicate Item"));
    bsSkinPopupMenu1->addAction(DuplicateItem1);
    connect(DuplicateItem1, &QAction::triggered, this, Guarded(this, &TfrmMain::DuplicateItem));
    connect(bsSkinPopupMenu1, &QMenu::aboutToShow, this, Guarded(this, &TfrmMain::CommandsPopup));
    CommandsPopup();

    // --- Copying whole fields ---
    CopyUsername1 = NamedAction(this, "CopyUsername1", QStringLiteral("Copy Username"));
    CopyPassword1 = NamedAction(this, "CopyPassword1", QStringLiteral("Copy Password"));
    CopyWebsiteURL1 = NamedAction(this, "CopyWebsiteURL1", QStringLiteral("Copy Address"));
    CopyLoginURL1 = NamedAction(this, "CopyLoginURL1", QStringLiteral("Copy Address"));
    CopyAffiliateURL1 = NamedAction(this, "CopyAffiliateURL1", QStringLiteral("Copy Address"));
    CopyCloaked1 = NamedAction(this, "CopyCloaked1", QStringLiteral("Copy Address"));
    QLineEdit *const edtLogin = m_editor->Field(TItemField::Login);
    QLineEdit *const edtPassword = m_editor->Field(TItemField::Password);
    const std::pair<QLineEdit *, QAction *> copies[] = {
        {edtLogin, CopyUsername1},
        {edtPassword, CopyPassword1},
        {m_editor->Field(TItemField::WebsiteURL), CopyWebsiteURL1},
        {m_editor->Field(TItemField::LoginURL), CopyLoginURL1},
        {m_editor->Field(TItemField::AffiliateURL), CopyAffiliateURL1},
        {m_editor->Field(TItemField::Cloaked), CopyCloaked1},
    };
    for (const auto &[field, action] : copies) {
        // What the field shows, typing not yet stored included; it also
        // copies while the field is masked or read-only.
        connect(action, &QAction::triggered, this, [this, field = field] { ErrorReporter::Run([&] { CopyField(field); }); });
        field->setContextMenuPolicy(Qt::CustomContextMenu);
        const bool secret = field == edtLogin || field == edtPassword;
        connect(field, &QWidget::customContextMenuRequested, this,
                [this, field = field, action = action, secret](const QPoint &pos) {
                    QMenu *menu = field->createStandardContextMenu();
                    menu->setAttribute(Qt::WA_DeleteOnClose);
                    for (QAction *own : menu->actions()) {
                        // The field's own entries, known by their text
                        // (before the key shown after a tab).
                        const QString text = own->text().section(u'\t', 0, 0);
                        const bool cut = text == QLineEdit::tr("Cu&t");
                        if (!cut && text != QLineEdit::tr("&Copy"))
                            continue;
                        own->setObjectName(cut ? QStringLiteral("edit-cut") : QStringLiteral("edit-copy"));
                        if (!secret)
                            continue;
                        // They would put the selection on the clipboard for
                        // good; it goes through Clipboard instead.
                        disconnect(own, &QAction::triggered, nullptr, nullptr);
                        connect(own, &QAction::triggered, field, [this, field, cut] {
                            ErrorReporter::Run([&] {
                                Clipboard->SetText(field->selectedText());
                                if (cut && !field->isReadOnly()) {
                                    field->del();
                                    m_editor->SetModified(true);
                                }
                            });
                        });
                    }
                    menu->addSeparator();
                    // What the field holds itself (the password's generator
                    // and eye), with their keys.
                    if (!field->actions().isEmpty()) {
                        menu->addActions(field->actions());
                        menu->addSeparator();
                    }
                    // An entry of its own, without the key: Ctrl+C applies
                    // on the tree alone, and shown here beside "Copy
                    // Username" it would claim the field's own Ctrl+C. The
                    // window's menu shows the action with its key.
                    QAction *entry = menu->addAction(action->text());
                    entry->setObjectName(action->objectName());
                    connect(entry, &QAction::triggered, action, &QAction::trigger);
                    menu->popup(field->mapToGlobal(pos));
                });
    }
    // The same for the keys of Copy and Cut in the two secret fields. The
    // key still reaches the field as far as the unsaved-typing flag goes.
    auto *secretKeys = new TEventHook(
        [this](QObject *watched, QEvent *event) {
            if (event->type() != QEvent::KeyPress)
                return false;
            auto *field = static_cast<QLineEdit *>(watched);
            auto *key = static_cast<QKeyEvent *>(event);
            const bool cut = key->matches(QKeySequence::Cut);
            if (!cut && !key->matches(QKeySequence::Copy))
                return false;
            if (field->hasSelectedText()) {
                ErrorReporter::Run([&] {
                    Clipboard->SetText(field->selectedText());
                    if (cut && !field->isReadOnly()) {
                        field->del();
                        m_editor->SetModified(true);
                    }
                });
            }
            edtTitleKeyDown();
            return true;
        },
        this);
    edtLogin->installEventFilter(secretKeys);
    edtPassword->installEventFilter(secretKeys);

    // --- Keys of the tree: only while it has the focus, so that Delete and
    // Ctrl+C in a field still work on the field's text ---
    RenameCategoryKey = NamedAction(tvwMain, "RenameCategoryKey", QStringLiteral("Rename Category"));
    RenameCategoryKey->setShortcut(QKeySequence(Qt::Key_F2));
    connect(RenameCategoryKey, &QAction::triggered, this, Guarded(this, &TfrmMain::EditCategory));
    DeleteNodeKey = NamedAction(tvwMain, "DeleteNodeKey", QStringLiteral("Delete"));
    DeleteNodeKey->setShortcut(QKeySequence(QKeySequence::Delete));
    connect(DeleteNodeKey, &QAction::triggered, this, Guarded(this, &TfrmMain::DeleteNode));
    CopyUsername1->setShortcut(QKeySequence(QKeySequence::Copy));
    CopyPassword1->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    for (QAction *a : {RenameCategoryKey, DeleteNodeKey, CopyUsername1, CopyPassword1}) {
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        tvwMain->addAction(a);
    }

    // --- Keys of the main page, wherever the focus is on it ---
    SaveItemKey = NamedAction(stsMain, "SaveItemKey", QStringLiteral("Save Item"));
    SaveItemKey->setShortcut(QKeySequence(QKeySequence::Save));
    connect(SaveItemKey, &QAction::triggered, m_editor->SaveButton(), &QPushButton::click);
    AddItemKey = NamedAction(stsMain, "AddItemKey", QStringLiteral("Add Item"));
    AddItemKey->setShortcut(QKeySequence(QKeySequence::New));
    connect(AddItemKey, &QAction::triggered, this, Guarded(this, &TfrmMain::AddItem));
    for (QAction *a : {SaveItemKey, AddItemKey}) {
        a->setShortcutContext(Qt::WindowShortcut);
        stsMain->addAction(a);
    }

    // --- Drag and drop in the tree ---
    tvwMain->setDragDropMode(QAbstractItemView::DropOnly);
    tvwMain->setDefaultDropAction(Qt::MoveAction);
    tvwMain->setDropIndicatorShown(true);
    new TItemDragStarter(tvwMain);
    connect(tvwMain, &TCategoryTree::itemMoveRequested, m_commands,
            [this](const QModelIndex &item, const QModelIndex &category) {
                ErrorReporter::Run([&] { m_commands->MoveItem(item, category); });
            });
}

void TfrmMain::CommandsPopup()
{
    const QModelIndex node = SelectedNode();
    const bool item = TAccountBook::IsItemNode(node);
    N2->setVisible(item);
    MoveItemTo1->menuAction()->setVisible(item);
    DuplicateItem1->setVisible(item);
    MoveItemTo1->clear();
    if (!item)
        return;
    for (int row = 0; row < m_book->CategoryCount(); ++row) {
        const QPersistentModelIndex category = m_book->CategoryIndex(row);
        QAction *entry = MoveItemTo1->addAction(MenuText(DecodeBookText(m_book->CategoryName(row), m_book->Text())));
        // Its own category offers nothing to move to.
        entry->setEnabled(category != node.parent());
        connect(entry, &QAction::triggered, this, [this, category] {
            ErrorReporter::Run([&] { m_commands->MoveItem(SelectedNode(), category); });
        });
    }
}

QModelIndex TfrmMain::SelectedNode() const
{
    return tvwMain->Selected();
}

void TfrmMain::SelectNode(const QModelIndex &node)
{
    if (!node.isValid())
        return;
    // A node that is current already (the item moved with the selection)
    // is shown again, so that typing the user dropped goes. A node the
    // search would hide stays shown until the search text changes.
    if (tvwMain->Selected() == node)
        tvwMainChange();
    else
        tvwMain->SetCurrent(node); // may be refused by the save question
    tvwMain->Reveal(node);
}

bool TfrmMain::SettleTyping()
{
    return m_commands->SettleTyping();
}

void TfrmMain::CopyField(QLineEdit *field)
{
    // With a category or nothing selected the fields are empty: the
    // clipboard keeps what it holds.
    if (TAccountBook::IsItemNode(SelectedNode()))
        Clipboard->SetText(field->text());
}

void TfrmMain::DuplicateItem()
{
    if (!TAccountBook::IsItemNode(SelectedNode()) || !SettleTyping())
        return;
    QModelIndex added;
    const TBookOutcome outcome = m_book->DuplicateItem(SelectedNode(), &added);
    if (outcome != TBookOutcome::Done)
        return ShowBookRefusal(int(outcome));
    SelectNode(added);
    BackupBeforeNextSave();
    SaveItems();
}

void TfrmMain::DeleteNode()
{
    const QModelIndex node = SelectedNode();
    if (TAccountBook::IsItemNode(node))
        DeleteItem();
    else if (TAccountBook::IsCategoryNode(node))
        DeleteCategory();
}
