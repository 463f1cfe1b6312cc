// Search over the tree: a field above tvwMain filters the book as the user
// types (book/book_filter.h decides what stays; tvwMain keeps the selection in
// view and restores the tree when the field is cleared). Ctrl+F goes to the
// field, Esc in it clears it; Down and Enter go into the results, Esc in the
// tree comes back to the field.
//
// Commands go on working on a filtered tree: they act on the selected node,
// which stays in view while it matches or holds unsaved typing, and an item
// added while a search is on is shown and selected although the text may not
// match it, until the text changes.
#include "main_window.h"

#include "item_editor.h"
#include "tree_memory.h"

#include "book/category_tree.h"
#include "util/error_reporter.h"

#include <QGroupBox>
#include <QKeySequence>
#include <QLineEdit>
#include <QShortcut>
#include <QVBoxLayout>

void TfrmMain::ConnectSearchHandlers()
{
    edtSearch = new QLineEdit(bsSkinGroupBox1);
    edtSearch->setObjectName(QStringLiteral("edtSearch"));
    edtSearch->setPlaceholderText(QStringLiteral("Search"));
    edtSearch->setClearButtonEnabled(true);
    if (auto *layout = qobject_cast<QVBoxLayout *>(bsSkinGroupBox1->layout()))
        layout->insertWidget(layout->indexOf(tvwMain), edtSearch);
    setTabOrder(edtSearch, tvwMain);

    new TTreeMemory(this, tvwMain, m_folder, AppFolder());
    tvwMain->SetUnsavedTyping([this] { return m_editor && m_editor->IsModified(); });
    connect(edtSearch, &QLineEdit::textChanged, this, [this](const QString &text) {
        ErrorReporter::Run([&] { tvwMain->SetSearchText(text); });
    });
    // Enter and Down hand the keyboard to the results.
    const auto intoResults = [this] {
        ErrorReporter::Run([this] { tvwMain->SelectFirstResult(); });
        tvwMain->setFocus(Qt::ShortcutFocusReason);
    };
    connect(edtSearch, &QLineEdit::returnPressed, this, intoResults);
    auto *down = new QShortcut(QKeySequence(Qt::Key_Down), edtSearch);
    down->setContext(Qt::WidgetShortcut);
    connect(down, &QShortcut::activated, this, intoResults);

    auto *find = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), this);
    find->setContext(Qt::WindowShortcut);
    connect(find, &QShortcut::activated, this, [this] {
        edtSearch->setFocus(Qt::ShortcutFocusReason);
        edtSearch->selectAll();
    });
    auto *clear = new QShortcut(QKeySequence(Qt::Key_Escape), edtSearch);
    clear->setContext(Qt::WidgetShortcut);
    connect(clear, &QShortcut::activated, edtSearch, &QLineEdit::clear);
    // Only while there is a search to come back to; Esc is the tree's otherwise.
    auto *back = new QShortcut(QKeySequence(Qt::Key_Escape), tvwMain);
    back->setContext(Qt::WidgetShortcut);
    back->setEnabled(false);
    connect(edtSearch, &QLineEdit::textChanged, back, [back](const QString &text) { back->setEnabled(!text.isEmpty()); });
    connect(back, &QShortcut::activated, edtSearch, [this] { edtSearch->setFocus(Qt::ShortcutFocusReason); });
}
