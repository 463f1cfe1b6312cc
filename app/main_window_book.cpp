// The account book side of the main window: loading and saving the two files,
// and filling the item editor from the selected node.
#include "main_window.h"

#include "book/category_tree.h"
#include "book/item_record.h"
#include "util/codepage.h"
#include "util/error_reporter.h"

#include <QFileInfo>
#include <QHash>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace {
const QString kCategoriesFile = QStringLiteral("categories.dat");
const QString kItemsFile = QStringLiteral("items.dat");
} // namespace

void TfrmMain::ConnectBookHandlers()
{
    connect(tvwMain, &QTreeWidget::currentItemChanged, this, Guarded(this, &TfrmMain::tvwMainChange));
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
    SaveStringList(m_appFolder + kCategoriesFile, CategoryList);
}

void TfrmMain::SaveItems()
{
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
        if (!RecordIs(record, category, title))
            continue;
        const TItemRecord item = ReadItemRecord(record);
        QLineEdit *edits[] = {edtTitle, edtProg, edtWebsiteURL, edtLoginURL, edtLogin,
                              edtPassword, edtAffiliateURL, edtCloaked, edtPayout, edtPaymentDay};
        for (int i = 0; i < 10; ++i)
            edits[i]->setText(FromAnsi(item.fields[i + 1]));
        QByteArray text = item.description;
        text.replace("\r\n", "\n").replace('\r', '\n');
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
