// The account book side of the main window: the item editor, and the book
// commands, which ask the user, call the book (book/account_book.h) and show
// why it refused.
#include "main_window.h"

#include "book_commands.h"
#include "item_editor.h"

#include "book/account_book.h"
#include "book/book_check.h"
#include "book/book_folder.h"
#include "book/category_tree.h"
#include "book/add_element_dialog.h"
#include "book/guarded_inputs.h"
#include "book/input_rules.h"
#include "book/item_record.h"
#include "util/codepage.h"
#include "util/error_reporter.h"
#include "util/errors.h"
#include "util/text_utils.h"

#include <QLineEdit>
#include <QAction>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>

#include <algorithm>

void TfrmMain::ConnectBookHandlers()
{
    connect(tvwMain, &TCategoryTree::currentNodeChanged, this, Guarded(this, &TfrmMain::tvwMainChange));
    tvwMain->SetChangingGate([this](const QModelIndex &from, const QModelIndex &to) {
        bool allow = true;
        ErrorReporter::Run([&] { tvwMainChanging(from, to, allow); });
        return allow;
    });
    m_commands = new TBookCommands({m_folder, tvwMain, m_editor, msgMain, [this] { SaveItems(); },
                                    [this](const QModelIndex &node) { SelectNode(node); }},
                                   this);
    connect(m_editor->SaveButton(), &QPushButton::clicked, this, Guarded(this, &TfrmMain::btnSaveClick));
    connect(btnAddCategory, &QPushButton::clicked, this, Guarded(this, &TfrmMain::btnAddCategoryClick));
    connect(btnAddItem, &QPushButton::clicked, this, Guarded(this, &TfrmMain::btnAddItemClick));
    connect(AddCategory1, &QAction::triggered, this, Guarded(this, &TfrmMain::AddCategory1Click));
    connect(EditCategory1, &QAction::triggered, this, Guarded(this, &TfrmMain::EditCategory1Click));
    connect(DeleteCategory1, &QAction::triggered, this, Guarded(this, &TfrmMain::DeleteCategory1Click));
    connect(AddItem1, &QAction::triggered, this, Guarded(this, &TfrmMain::AddItem1Click));
    connect(DeleteItem1, &QAction::triggered, this, Guarded(this, &TfrmMain::DeleteItem1Click));
    connect(tvwMain, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        ErrorReporter::Run([this] { bsSkinPopupMenu1Popup(); });
        bsSkinPopupMenu1->popup(tvwMain->viewport()->mapToGlobal(pos));
    });
}

void TfrmMain::LoadBook()
{
    // A protected book stays unread until its master password is given on
    // the unlock page (TBookLockController).
    if (m_folder->IsLocked())
        return;
    if (const QString error = m_folder->Load(); !error.isEmpty())
        throw EFileError(error);
}

void TfrmMain::TellLoadDamage()
{
    const TLoadDamage damage = LoadDamageOf(*m_book);
    TLoadDamage told;
    told.cutShort = m_cutShortTold;
    told.withoutCategory = m_withoutCategoryTold;
    if (!damage.Exceeds(told))
        return;
    m_cutShortTold = std::max(m_cutShortTold, damage.cutShort);
    m_withoutCategoryTold = std::max(m_withoutCategoryTold, damage.withoutCategory);
    const bool offer = !damage.missingCategories.isEmpty();
    const TModalResult answer = msgMain->MessageDlg(DescribeLoadDamage(damage), TMsgDlgType::mtWarning,
                                                    offer ? TMsgDlgButtons(mbYes) | mbNo : TMsgDlgButtons(mbOK));
    if (!offer || answer != TModalResult::mrYes)
        return;
    if (RecreateMissingCategories(*m_book, damage.missingCategories) > 0)
        SaveCategories();
    QByteArrayList still;
    if (const qsizetype left = m_book->RecordsWithoutCategory(&still); left > 0)
        msgMain->MessageDlg(DescribeStillWithoutCategory(left, still), TMsgDlgType::mtInformation, mbOK);
}

// Every write of a book file goes through one of these two, or through
// SaveBook when a command changes both.
void TfrmMain::SaveCategories()
{
    TellSave(m_folder->SaveCategories());
}

void TfrmMain::SaveItems()
{
    TellSave(m_folder->SaveItems());
}

void TfrmMain::tvwMainChange()
{
    const QModelIndex node = tvwMain->Selected();
    if (!node.isValid())
        return;
    // A delete moves the current node by itself; keep it shown as selected.
    const QModelIndex row = tvwMain->currentIndex();
    if (!tvwMain->selectionModel()->isSelected(row))
        tvwMain->selectionModel()->select(row, QItemSelectionModel::ClearAndSelect);
    if (!TCategoryTree::IsItemNode(node)) {
        m_editor->Clear();
        m_editor->SetFieldsEnabled(false);
        return;
    }
    const qsizetype record =
        m_book->FindItem(TCategoryTree::NodeName(node.parent()), TCategoryTree::NodeName(node));
    // Hand-made records before it, too short to name their category and
    // title, are shown as they stand.
    for (const QByteArray &shortRecord : m_book->ShortRecordsBefore(record))
        msgMain->MessageDlg(DecodeBookText(shortRecord, m_book->Text()), TMsgDlgType::mtWarning, mbOK);
    if (record >= 0)
        m_editor->Show(m_book->ReadItem(record));
    m_editor->SetModified(false);
    m_editor->SetFieldsEnabled(true);
}

void TfrmMain::edtTitleKeyDown()
{
    m_editor->SetModified(true);
}

void TfrmMain::tvwMainChanging(const QModelIndex &from, const QModelIndex &, bool &allowChange)
{
    allowChange = m_commands->AskAboutTyping(from);
}

void TfrmMain::btnSaveClick()
{
    m_commands->StoreItem();
}

void TfrmMain::StoreItem()
{
    m_commands->StoreItem();
}

bool TfrmMain::AskElement(const QString &caption, const QString &label, QByteArray *value)
{
    TfrmAddElement frmAddElement(*msgMain, this, m_book->Text());
    return frmAddElement.Ask(caption, label, value);
}

void TfrmMain::btnAddCategoryClick()
{
    AddCategory();
}

void TfrmMain::AddCategory1Click()
{
    AddCategory();
}

void TfrmMain::btnAddItemClick()
{
    AddItem();
}

void TfrmMain::AddItem1Click()
{
    AddItem();
}

void TfrmMain::EditCategory1Click()
{
    EditCategory();
}

void TfrmMain::DeleteCategory1Click()
{
    DeleteCategory();
}

void TfrmMain::DeleteItem1Click()
{
    DeleteItem();
}

void TfrmMain::bsSkinPopupMenu1Popup()
{
    const QModelIndex node = tvwMain->Selected();
    const bool category = node.isValid() && !node.parent().isValid();
    const bool item = TCategoryTree::IsItemNode(node);
    AddCategory1->setVisible(true);
    EditCategory1->setVisible(category);
    DeleteCategory1->setVisible(category);
    N1->setVisible(true);
    AddItem1->setVisible(true);
    DeleteItem1->setVisible(item);
}

void TfrmMain::ShowBookRefusal(int outcome)
{
    m_commands->TellRefusal(TBookOutcome(outcome));
}

void TfrmMain::AddCategory()
{
    QByteArray name;
    if (!AskElement(QStringLiteral("Add Category"), QStringLiteral("Category:"), &name))
        return;
    const TBookOutcome outcome = m_book->AddCategory(name);
    if (outcome != TBookOutcome::Done)
        return ShowBookRefusal(int(outcome));
    SaveCategories();
}

void TfrmMain::AddItem()
{
    const QModelIndex node = tvwMain->Selected();
    if (!node.isValid())
        return ShowBookRefusal(int(TBookOutcome::NoCategory));
    QByteArray title;
    if (!AskElement(QStringLiteral("Add Item"), QStringLiteral("Item:"), &title))
        return;
    QModelIndex added;
    const TBookOutcome outcome = m_book->AddItem(node, title, &added);
    if (outcome != TBookOutcome::Done)
        return ShowBookRefusal(int(outcome));
    // Shown even where a search would hide it; selected unless the save
    // question refuses.
    tvwMain->SetCurrent(added);
    tvwMain->Reveal(added);
    SaveItems();
}

void TfrmMain::EditCategory()
{
    const QModelIndex node = tvwMain->Selected();
    if (!TAccountBook::IsCategoryNode(node))
        return;
    QByteArray newName;
    if (!AskElement(QStringLiteral("Edit Category"), QStringLiteral("Category:"), &newName))
        return;
    const TBookOutcome outcome = m_book->RenameCategory(node, newName);
    if (outcome != TBookOutcome::Done)
        return ShowBookRefusal(int(outcome));
    SaveBook(true);
}

void TfrmMain::DeleteCategory()
{
    const QModelIndex node = tvwMain->Selected();
    if (!TAccountBook::IsCategoryNode(node))
        return;
    if (msgMain->MessageDlg(QStringLiteral("Are you sure do you want to delete selected category?"),
                            TMsgDlgType::mtWarning, TMsgDlgButtons(mbOK) | mbCancel)
        != TModalResult::mrOk)
        return;
    m_editor->SetModified(false);
    m_book->DeleteCategory(node);
    BackupBeforeNextSave();
    SaveBook(true);
}

void TfrmMain::DeleteItem()
{
    const QModelIndex node = tvwMain->Selected();
    if (!TCategoryTree::IsItemNode(node))
        return;
    if (msgMain->MessageDlg(QStringLiteral("Are you sure do you want to delete selected item?"),
                            TMsgDlgType::mtWarning, TMsgDlgButtons(mbOK) | mbCancel)
        != TModalResult::mrOk)
        return;
    // The typing in the editor goes with the item: no question follows.
    const bool modified = m_editor->IsModified();
    m_editor->SetModified(false);
    if (m_book->DeleteItem(node) != TBookOutcome::Done) {
        m_editor->SetModified(modified);
        return;
    }
    BackupBeforeNextSave();
    SaveItems();
}
