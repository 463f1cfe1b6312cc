// The account book side of the main window: loading and saving the two files,
// and filling the item editor from the selected node.
#include "main_window.h"

#include "book/category_tree.h"
#include "book/add_element_dialog.h"
#include "book/guarded_inputs.h"
#include "book/input_rules.h"
#include "book/item_record.h"
#include "util/codepage.h"
#include "util/error_reporter.h"
#include "util/text_utils.h"

#include <QFileInfo>
#include <QHash>
#include <QLineEdit>
#include <QAction>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {
const QString kCategoriesFile = QStringLiteral("categories.dat");
const QString kItemsFile = QStringLiteral("items.dat");
} // namespace

void TfrmMain::ConnectBookHandlers()
{
    connect(tvwMain, &TCategoryTree::currentNodeChanged, this, Guarded(this, &TfrmMain::tvwMainChange));
    tvwMain->SetChangingGate([this](QTreeWidgetItem *from, QTreeWidgetItem *to) {
        bool allow = true;
        ErrorReporter::Run([&] { tvwMainChanging(from, to, allow); });
        return allow;
    });
    for (QWidget *field : ItemFields()) {
        field->installEventFilter(this);
        if (auto *edit = qobject_cast<QLineEdit *>(field))
            GuardLineEdit(edit, msgMain);
    }
    if (auto *memo = qobject_cast<TGuardedMemo *>(memDesc))
        memo->SetRule(RefusalForDescription, msgMain);

    connect(btnSave, &QPushButton::clicked, this, Guarded(this, &TfrmMain::btnSaveClick));
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

bool TfrmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && ItemFields().contains(qobject_cast<QWidget *>(watched)))
        edtTitleKeyDown();
    return QWidget::eventFilter(watched, event);
}

void TfrmMain::LoadCategories()
{
    const QString path = m_appFolder + kCategoriesFile;
    if (!QFileInfo::exists(path))
        return;
    CategoryList = LoadStringList(path);
    tvwMain->setUpdatesEnabled(false);
    for (const QByteArray &name : CategoryList)
        tvwMain->AddCategoryNode(name);
    tvwMain->setUpdatesEnabled(true);
}

void TfrmMain::LoadItems()
{
    const QString path = m_appFolder + kItemsFile;
    if (!QFileInfo::exists(path))
        return;
    ItemList = LoadStringList(path);

    // The first category node of a name takes all its items; a second node of
    // the same name stays empty. A hash of first nodes gives the same answer
    // as walking the top level for every record.
    QHash<QByteArray, QTreeWidgetItem *> firstNode;
    firstNode.reserve(tvwMain->topLevelItemCount());
    for (int i = tvwMain->topLevelItemCount() - 1; i >= 0; --i) {
        QTreeWidgetItem *node = tvwMain->topLevelItem(i);
        firstNode.insert(TCategoryTree::NodeName(node), node);
    }

    QHash<QTreeWidgetItem *, QList<QTreeWidgetItem *>> children;
    QList<QTreeWidgetItem *> order;
    QByteArray category;
    QByteArray title;
    for (const QByteArray &record : ItemList) {
        // A record with fewer than two fields, or of an unknown category, gets
        // no node; it stays in the list and is written back with every save.
        if (!RecordKey(record, &category, &title))
            continue;
        QTreeWidgetItem *parent = firstNode.value(category);
        if (!parent)
            continue;
        auto *node = new QTreeWidgetItem;
        TCategoryTree::SetNodeName(node, title);
        node->setIcon(0, ImageList1.value(1));
        auto &list = children[parent];
        if (list.isEmpty())
            order.append(parent);
        list.append(node);
    }
    tvwMain->setUpdatesEnabled(false);
    for (QTreeWidgetItem *parent : order)
        parent->addChildren(children.value(parent));
    tvwMain->setUpdatesEnabled(true);
}

void TfrmMain::SaveCategories()
{
    KeepBackup();
    SaveStringList(m_appFolder + kCategoriesFile, CategoryList);
}

void TfrmMain::SaveItems()
{
    KeepBackup();
    SaveStringList(m_appFolder + kItemsFile, ItemList);
}

QList<QWidget *> TfrmMain::ItemFields() const
{
    return {edtTitle, edtProg, edtWebsiteURL, edtLoginURL, edtLogin, edtPassword,
            edtAffiliateURL, edtCloaked, edtPayout, edtPaymentDay, memDesc};
}

void TfrmMain::tvwMainChange()
{
    QTreeWidgetItem *node = tvwMain->Selected();
    if (!node)
        return;
    // A delete moves the current node by itself; keep it shown as selected.
    if (!node->isSelected())
        node->setSelected(true);
    if (TCategoryTree::IsItemNode(node)) {
        ShowItem(TCategoryTree::NodeName(node->parent()), TCategoryTree::NodeName(node));
        EnableItemFields();
    } else {
        ClearItemFields();
        DisableItemFields();
    }
}

void TfrmMain::ShowItem(const QByteArray &category, const QByteArray &title)
{
    for (const QByteArray &record : ItemList) {
        if (!RecordIs(record, category, title)) {
            // A hand-made record too short to name its category and title is
            // shown as it stands; the walk goes on.
            const qsizetype first = record.indexOf(kFieldDelimiter);
            if (first < 0 || first == record.size() - 1)
                msgMain->MessageDlg(FromAnsi(record), TMsgDlgType::mtWarning, mbOK);
            continue;
        }
        const TItemRecord item = ReadItemRecord(record);
        QLineEdit *edits[] = {edtTitle, edtProg, edtWebsiteURL, edtLoginURL, edtLogin,
                              edtPassword, edtAffiliateURL, edtCloaked, edtPayout, edtPaymentDay};
        for (int i = 0; i < 10; ++i)
            edits[i]->setText(FromAnsi(item.fields[i + 1]));
        QByteArray text = item.description;
        text.replace("\r\n", "\n").replace('\r', '\n');
        if (auto *memo = qobject_cast<TGuardedMemo *>(memDesc))
            memo->LoadText(FromAnsi(text));
        else
            memDesc->setPlainText(FromAnsi(text));
        break;
    }
    ItemModified = false;
}

void TfrmMain::ClearItemFields()
{
    for (QWidget *w : ItemFields()) {
        if (auto *e = qobject_cast<QLineEdit *>(w))
            e->clear();
        else if (auto *m = qobject_cast<QPlainTextEdit *>(w))
            m->clear();
    }
    ItemModified = false;
}

void TfrmMain::EnableItemFields()
{
    for (QWidget *w : ItemFields())
        w->setEnabled(true);
}

void TfrmMain::DisableItemFields()
{
    for (QWidget *w : ItemFields())
        w->setEnabled(false);
}

namespace {

const QString kSaveQuestion = QStringLiteral("Do you want save the changes you made in this item?");
const QString kTitleTaken =
    QStringLiteral("Sorry there is an item with this title in this category. Use other name and try again");

// The memo shows line feeds; the book keeps CR LF.
QByteArray MemoBytes(const QPlainTextEdit *memo)
{
    QString text = memo->toPlainText();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return ToAnsi(text);
}

// The records of a category name belong to the first node of that name; a
// later node of the same name shows none of them.
bool HoldsRecordsOf(const TCategoryTree *tree, const QTreeWidgetItem *node)
{
    return tree->FindCategoryNode(TCategoryTree::NodeName(node)) == node;
}

} // namespace

void TfrmMain::edtTitleKeyDown()
{
    ItemModified = true;
}

void TfrmMain::tvwMainChanging(QTreeWidgetItem *from, QTreeWidgetItem *, bool &allowChange)
{
    allowChange = true;
    if (!from || !ItemModified)
        return;
    const TModalResult answer =
        msgMain->MessageDlg(kSaveQuestion, TMsgDlgType::mtWarning, TMsgDlgButtons(mbYes) | mbNo | mbCancel);
    if (answer == TModalResult::mrNo)
        return;
    if (answer != TModalResult::mrYes) {
        allowChange = false;
        return;
    }
    if (TitleConflict()) {
        msgMain->MessageDlg(kTitleTaken, TMsgDlgType::mtWarning, mbOK);
        allowChange = false;
        return;
    }
    StoreItem();
}

bool TfrmMain::TitleConflict() const
{
    const QTreeWidgetItem *node = tvwMain->Selected();
    if (!node || !node->parent())
        return false;
    const QByteArray title = ToAnsi(edtTitle->text());
    const QTreeWidgetItem *parent = node->parent();
    for (int i = 0; i < parent->childCount(); ++i) {
        const QTreeWidgetItem *other = parent->child(i);
        if (other != node && TCategoryTree::NodeName(other) == title)
            return true;
    }
    return false;
}

void TfrmMain::btnSaveClick()
{
    if (!TCategoryTree::IsItemNode(tvwMain->Selected()))
        return;
    if (TitleConflict()) {
        msgMain->MessageDlg(kTitleTaken, TMsgDlgType::mtWarning, mbOK);
        return;
    }
    StoreItem();
}

void TfrmMain::StoreItem()
{
    QTreeWidgetItem *node = tvwMain->Selected();
    if (!TCategoryTree::IsItemNode(node))
        return;
    const QByteArray category = TCategoryTree::NodeName(node->parent());
    const QByteArray oldTitle = TCategoryTree::NodeName(node);
    for (QByteArray &record : ItemList) {
        if (!RecordIs(record, category, oldTitle))
            continue;
        const QByteArray title = ToAnsi(edtTitle->text());
        TCategoryTree::SetNodeName(node, title);
        record = BuildStoredRecord(category,
                                   {title, ToAnsi(edtProg->text()), ToAnsi(edtWebsiteURL->text()),
                                    ToAnsi(edtLoginURL->text()), ToAnsi(edtLogin->text()),
                                    ToAnsi(edtPassword->text()), ToAnsi(edtAffiliateURL->text()),
                                    ToAnsi(edtCloaked->text()), ToAnsi(edtPayout->text()),
                                    ToAnsi(edtPaymentDay->text())},
                                   MemoBytes(memDesc));
        break;
    }
    ItemModified = false;
    SaveItems();
}

bool TfrmMain::AskElement(const QString &caption, const QString &label, QByteArray *value)
{
    TfrmAddElement frmAddElement(*msgMain, this);
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
    const QTreeWidgetItem *node = tvwMain->Selected();
    const bool category = node && !node->parent();
    const bool item = TCategoryTree::IsItemNode(node);
    AddCategory1->setVisible(true);
    EditCategory1->setVisible(category);
    DeleteCategory1->setVisible(category);
    N1->setVisible(true);
    AddItem1->setVisible(true);
    DeleteItem1->setVisible(item);
}

void TfrmMain::AddCategory()
{
    QByteArray name;
    if (!AskElement(QStringLiteral("Add Category"), QStringLiteral("Category:"), &name))
        return;
    const QByteArray key = TrimAnsi(name);
    for (const QByteArray &entry : CategoryList) {
        if (SameTextAscii(TrimAnsi(entry), key)) {
            msgMain->MessageDlg(QStringLiteral("This category already exists."), TMsgDlgType::mtWarning, mbOK);
            return;
        }
    }
    CategoryList.append(name);
    tvwMain->AddCategoryNode(name);
    SaveCategories();
}

void TfrmMain::AddItem()
{
    QTreeWidgetItem *node = tvwMain->Selected();
    if (!node) {
        msgMain->MessageDlg(QStringLiteral("Select a category first."), TMsgDlgType::mtWarning, mbOK);
        return;
    }
    QTreeWidgetItem *target = node->parent() ? node->parent() : node;
    // Items of a name show under the first node of that name: a later node of
    // the same name would lose the new item at the next start.
    if (QTreeWidgetItem *first = tvwMain->FindCategoryNode(TCategoryTree::NodeName(target)))
        target = first;
    QByteArray title;
    if (!AskElement(QStringLiteral("Add Item"), QStringLiteral("Item:"), &title))
        return;
    const QByteArray category = TCategoryTree::NodeName(target);
    QByteArray recordCategory;
    QByteArray recordTitle;
    for (const QByteArray &record : ItemList) {
        // Records without a node count too; one too short to name a category
        // and a title cannot be a duplicate.
        if (RecordKey(record, &recordCategory, &recordTitle) && SameTextAscii(recordCategory, category)
            && SameTextAscii(recordTitle, title)) {
            msgMain->MessageDlg(QStringLiteral("This item already exists in this category."),
                                TMsgDlgType::mtWarning, mbOK);
            return;
        }
    }
    ItemList.append(BuildNewItemRecord(category, title));
    QTreeWidgetItem *child = tvwMain->AddItemNode(target, title);
    tvwMain->setCurrentItem(child); // may be refused by the save question
    target->setExpanded(true);
    tvwMain->scrollToItem(child);
    SaveItems();
}

void TfrmMain::EditCategory()
{
    QTreeWidgetItem *node = tvwMain->Selected();
    if (!node || node->parent())
        return;
    const QByteArray oldName = TCategoryTree::NodeName(node);
    QByteArray newName;
    if (!AskElement(QStringLiteral("Edit Category"), QStringLiteral("Category:"), &newName))
        return;
    const QByteArray key = TrimAnsi(newName);
    for (int i = 0; i < tvwMain->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *other = tvwMain->topLevelItem(i);
        if (other != node && SameTextAscii(TrimAnsi(TCategoryTree::NodeName(other)), key)) {
            msgMain->MessageDlg(QStringLiteral("This category already exists."), TMsgDlgType::mtWarning, mbOK);
            return;
        }
    }
    // The node's own entry, not the first one that equals its name ignoring
    // case: that may belong to another category the user still sees.
    const int index = tvwMain->indexOfTopLevelItem(node);
    if (index >= 0 && index < CategoryList.size())
        CategoryList[index] = newName;
    if (HoldsRecordsOf(tvwMain, node)) {
        const QByteArray prefix = oldName + kFieldDelimiter;
        for (QByteArray &record : ItemList)
            if (record.startsWith(prefix))
                record = newName + record.mid(oldName.size());
    }
    TCategoryTree::SetNodeName(node, newName);
    SaveCategories();
    SaveItems();
}

void TfrmMain::DeleteCategory()
{
    QTreeWidgetItem *node = tvwMain->Selected();
    if (!node || node->parent())
        return;
    if (msgMain->MessageDlg(QStringLiteral("Are you sure do you want to delete selected category?"),
                            TMsgDlgType::mtWarning, TMsgDlgButtons(mbOK) | mbCancel)
        != TModalResult::mrOk)
        return;
    const QByteArray name = TCategoryTree::NodeName(node);
    const int index = tvwMain->indexOfTopLevelItem(node);
    if (index >= 0 && index < CategoryList.size())
        CategoryList.removeAt(index);
    if (HoldsRecordsOf(tvwMain, node)) {
        const QByteArray prefix = name + kFieldDelimiter;
        for (qsizetype i = ItemList.size() - 1; i >= 0; --i)
            if (ItemList[i].startsWith(prefix))
                ItemList.removeAt(i);
    }
    ItemModified = false;
    qDeleteAll(node->takeChildren());
    delete node;
    SaveCategories();
    SaveItems();
}

void TfrmMain::DeleteItem()
{
    QTreeWidgetItem *node = tvwMain->Selected();
    if (!TCategoryTree::IsItemNode(node))
        return;
    if (msgMain->MessageDlg(QStringLiteral("Are you sure do you want to delete selected item?"),
                            TMsgDlgType::mtWarning, TMsgDlgButtons(mbOK) | mbCancel)
        != TModalResult::mrOk)
        return;
    const QByteArray category = TCategoryTree::NodeName(node->parent());
    const QByteArray title = TCategoryTree::NodeName(node);
    for (qsizetype i = 0; i < ItemList.size(); ++i) {
        if (!RecordIs(ItemList[i], category, title))
            continue;
        ItemList.removeAt(i);
        // The typing in the editor goes with the item: no question follows.
        ItemModified = false;
        delete node;
        SaveItems();
        return;
    }
}
