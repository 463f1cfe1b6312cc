#include "item_editor.h"

#include "book/guarded_inputs.h"
#include "book/input_rules.h"
#include "util/codepage.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

template <class W>
W *Named(W *w, const char *name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

// As the window's other buttons: a field focused before "Paste" is pressed
// keeps the focus; the keyboard still reaches them with Tab.
QPushButton *TextButton(QWidget *parent, const char *name, const QString &caption)
{
    auto *b = Named(new QPushButton(caption, parent), name);
    b->setFocusPolicy(Qt::TabFocus);
    return b;
}

} // namespace

TItemEditor::TItemEditor(TMessageService *messages, QWidget *parent) : QFrame(parent), m_messages(messages)
{
    setObjectName(QStringLiteral("bsSkinPanel4"));
    setFixedHeight(253);
    auto *g = new QGridLayout(this);
    g->setContentsMargins(8, 6, 8, 6);
    g->setHorizontalSpacing(6);
    g->setVerticalSpacing(4);

    const auto edit = [&](const char *name) { return Named(new QLineEdit(this), name); };
    const auto label = [&](const QString &caption, const char *name) {
        return Named(new QLabel(caption, this), name);
    };
    QLineEdit *edtTitle = edit("edtTitle");
    QLineEdit *edtProg = edit("edtProg");
    QLineEdit *edtWebsiteURL = edit("edtWebsiteURL");
    QLineEdit *edtLoginURL = edit("edtLoginURL");
    QLineEdit *edtLogin = edit("edtLogin");
    QLineEdit *edtPassword = edit("edtPassword");
    QLineEdit *edtAffiliateURL = edit("edtAffiliateURL");
    QLineEdit *edtCloaked = edit("edtCloaked");
    QLineEdit *edtPayout = edit("edtPayout");
    QLineEdit *edtPaymentDay = edit("edtPaymentDay");
    auto *memo = Named(new TGuardedMemo(this), "memDesc");
    m_description = memo;
    m_description->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_description->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_description->setTabChangesFocus(true);

    QPushButton *btnBrowseWebsite = TextButton(this, "btnBrowseWebsite", QStringLiteral("Browse"));
    QPushButton *btnBrowseLogin = TextButton(this, "btnBrowseLogin", QStringLiteral("Browse"));
    QPushButton *btnUPaste = TextButton(this, "btnUPaste", QStringLiteral("Paste"));
    QPushButton *btnPPaste = TextButton(this, "btnPPaste", QStringLiteral("Paste"));
    QPushButton *btnBrowseAffiliate = TextButton(this, "btnBrowseAffiliate", QStringLiteral("Browse"));
    QPushButton *btnBrowseCloaked = TextButton(this, "btnBrowseCloaked", QStringLiteral("Browse"));
    m_save = TextButton(this, "btnSave", QStringLiteral("Save Item"));
    m_logIn = TextButton(this, "btnLogIn", QStringLiteral("Log In"));
    m_logIn->setToolTip(QStringLiteral("Open the login address and log in with the username and password shown"));
    m_oneTimeCode = Named(new QLabel(this), "lblOneTimeCode");
    // A long reason for an unreadable key is cut rather than widening the
    // editor past a small screen; its tool tip holds it whole.
    m_oneTimeCode->setMinimumWidth(1);
    m_oneTimeCode->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    m_oneTimeCode->hide();

    m_lines = {
        {TItemField::Title, edtTitle, nullptr},
        {TItemField::Program, edtProg, nullptr},
        {TItemField::WebsiteURL, edtWebsiteURL, btnBrowseWebsite},
        {TItemField::LoginURL, edtLoginURL, btnBrowseLogin},
        {TItemField::Login, edtLogin, btnUPaste},
        {TItemField::Password, edtPassword, btnPPaste},
        {TItemField::AffiliateURL, edtAffiliateURL, btnBrowseAffiliate},
        {TItemField::Cloaked, edtCloaked, btnBrowseCloaked},
        {TItemField::Payout, edtPayout, nullptr},
        {TItemField::PaymentDay, edtPaymentDay, nullptr},
    };

    // Left column: title and the addresses and log-in of the program;
    // right column: the program's terms.
    struct Row {
        const char *labelName;
        QString caption;
        TItemField field;
    };
    const Row left[] = {
        {"lblTitle", QStringLiteral("Title:"), TItemField::Title},
        {"lblWebsiteURL", QStringLiteral(" Website URL:"), TItemField::WebsiteURL},
        {"lblLoginURL", QStringLiteral("Login URL:"), TItemField::LoginURL},
        {"lblLogin", QStringLiteral("Username:"), TItemField::Login},
        {"lblPassword", QStringLiteral("Password:"), TItemField::Password},
    };
    const Row right[] = {
        {"lblProg", QStringLiteral("Affiliate Program:"), TItemField::Program},
        {"lblAffiliateURL", QStringLiteral("Affiliate Link"), TItemField::AffiliateURL},
        {"lblCloaked", QStringLiteral("Cloaked URL:"), TItemField::Cloaked},
        {"lblPayout", QStringLiteral("Min Payout:"), TItemField::Payout},
        {"lblPaymentDay", QStringLiteral("Payment Day:"), TItemField::PaymentDay},
    };
    for (int r = 0; r < 5; ++r) {
        for (int side = 0; side < 2; ++side) {
            const Row &row = side == 0 ? left[r] : right[r];
            const int c = side * 3;
            QLabel *caption = label(row.caption, row.labelName);
            // A screen reader names a field by the label tied to it.
            caption->setBuddy(Field(row.field));
            g->addWidget(caption, r, c);
            if (QPushButton *button = Button(row.field)) {
                // The log-in's own controls share the field's cell, so the
                // column of Browse and Paste buttons stays one column.
                QWidget *extra = row.field == TItemField::LoginURL  ? static_cast<QWidget *>(m_logIn)
                                 : row.field == TItemField::Password ? m_oneTimeCode
                                                                     : nullptr;
                if (extra) {
                    auto *cell = new QHBoxLayout;
                    cell->setContentsMargins(0, 0, 0, 0);
                    cell->setSpacing(g->horizontalSpacing());
                    cell->addWidget(Field(row.field), 1);
                    cell->addWidget(extra);
                    g->addLayout(cell, r, c + 1);
                } else {
                    g->addWidget(Field(row.field), r, c + 1);
                }
                g->addWidget(button, r, c + 2);
            } else {
                g->addWidget(Field(row.field), r, c + 1, 1, 2);
            }
        }
    }
    QLabel *lblDesc = label(QStringLiteral("Description:"), "lblDesc");
    lblDesc->setBuddy(m_description);
    g->addWidget(lblDesc, 5, 0, Qt::AlignTop);
    g->addWidget(m_description, 5, 1, 1, 5);
    auto *saveRow = new QHBoxLayout;
    saveRow->addStretch();
    saveRow->addWidget(m_save);
    g->addLayout(saveRow, 6, 0, 1, 6);
    g->setColumnStretch(1, 1);
    g->setColumnStretch(4, 1);
    g->setRowStretch(5, 1);

    QWidget *order[] = {edtTitle,         edtProg,         edtWebsiteURL,      btnBrowseWebsite, edtLoginURL,
                        m_logIn,          btnBrowseLogin,  edtLogin,           btnUPaste,        edtPassword,
                        btnPPaste,        edtAffiliateURL, btnBrowseAffiliate, edtCloaked,       btnBrowseCloaked,
                        edtPayout,        edtPaymentDay,   m_description,      m_save};
    for (size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);

    for (QWidget *field : Fields()) {
        field->installEventFilter(this);
        if (auto *line = qobject_cast<QLineEdit *>(field))
            GuardLineEdit(line, messages);
    }
    memo->SetRule([](const QString &text) { return RefusalForDescription(text); }, messages);
    // A key press alone misses a paste with the mouse or the context menu, a
    // drop and an undo. textEdited comes with every change the user makes and
    // never with setText; the memo has no such signal, so filling it is
    // told apart by m_filling.
    for (const TLine &line : m_lines)
        connect(line.edit, &QLineEdit::textEdited, this, [this] { SetModified(true); });
    connect(m_description, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_filling)
            SetModified(true);
    });
}

QList<QWidget *> TItemEditor::Fields() const
{
    return {Field(TItemField::Title),        Field(TItemField::Program),  Field(TItemField::WebsiteURL),
            Field(TItemField::LoginURL),     Field(TItemField::Login),    Field(TItemField::Password),
            Field(TItemField::AffiliateURL), Field(TItemField::Cloaked),  Field(TItemField::Payout),
            Field(TItemField::PaymentDay),   m_description};
}

QLineEdit *TItemEditor::Field(TItemField field) const
{
    for (const TLine &line : m_lines)
        if (line.field == field)
            return line.edit;
    return nullptr;
}

QPushButton *TItemEditor::Button(TItemField field) const
{
    for (const TLine &line : m_lines)
        if (line.field == field)
            return line.button;
    return nullptr;
}

void TItemEditor::Show(const TItemRecord &item)
{
    for (const TLine &line : m_lines)
        line.edit->setText(DecodeBookText(item.Field(line.field), m_text));
    QByteArray text = item.description;
    text.replace("\r\n", "\n").replace('\r', '\n');
    m_filling = true;
    if (auto *memo = qobject_cast<TGuardedMemo *>(m_description))
        memo->LoadText(DecodeBookText(text, m_text));
    else
        m_description->setPlainText(DecodeBookText(text, m_text));
    m_filling = false;
    SetModified(false);
}

TItemRecord TItemEditor::Collect() const
{
    TItemRecord item;
    for (const TLine &line : m_lines)
        item.Field(line.field) = EncodeBookText(line.edit->text(), m_text);
    // The memo shows line feeds; the book keeps CR LF.
    QString text = m_description->toPlainText();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    item.description = EncodeBookText(text, m_text);
    return item;
}

void TItemEditor::SetBookText(TBookText text)
{
    m_text = text;
    for (const TLine &line : m_lines)
        GuardLineEdit(line.edit, m_messages, text);
    if (auto *memo = qobject_cast<TGuardedMemo *>(m_description))
        memo->SetRule([text](const QString &t) { return RefusalForDescription(t, text); }, m_messages);
}

void TItemEditor::Clear()
{
    for (const TLine &line : m_lines)
        line.edit->clear();
    m_filling = true;
    m_description->clear();
    m_filling = false;
    SetModified(false);
}

void TItemEditor::SetFieldsEnabled(bool enabled)
{
    for (QWidget *field : Fields())
        field->setEnabled(enabled);
}

void TItemEditor::SetReadOnly(bool readOnly)
{
    for (const TLine &line : m_lines)
        line.edit->setReadOnly(readOnly);
    m_description->setReadOnly(readOnly);
}

void TItemEditor::SetModified(bool modified)
{
    if (m_modified == modified)
        return;
    m_modified = modified;
    emit modifiedChanged(modified);
}

bool TItemEditor::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && Fields().contains(qobject_cast<QWidget *>(watched)))
        SetModified(true);
    return QFrame::eventFilter(watched, event);
}
