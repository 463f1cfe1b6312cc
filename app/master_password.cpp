#include "master_password.h"

#include "book/protected_book.h"
#include "util/error_reporter.h"
#include "util/message_service.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

template <class W>
W *Named(W *w, const char *name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QLineEdit *PasswordEdit(QWidget *parent, const char *name)
{
    auto *edit = Named(new QLineEdit(parent), name);
    edit->setEchoMode(QLineEdit::Password);
    // Kept out of the platform's input methods, which may learn what is typed.
    edit->setInputMethodHints(Qt::ImhHiddenText | Qt::ImhSensitiveData | Qt::ImhNoPredictiveText);
    return edit;
}

// The field keeps no copy once the password is taken.
QByteArray TakeText(QLineEdit *edit)
{
    QByteArray bytes = edit->text().toUtf8();
    edit->clear();
    return bytes;
}

// OK (the default) and Cancel at the right of a row, below the dialog's
// fields; Cancel rejects, OK is the caller's to connect.
QPushButton *AddOkCancel(QDialog *dialog, QBoxLayout *layout)
{
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    auto *ok = Named(new QPushButton(QStringLiteral("OK"), dialog), "btnOk");
    auto *cancel = Named(new QPushButton(QStringLiteral("Cancel"), dialog), "btnCancel");
    ok->setDefault(true);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    return ok;
}

} // namespace

TUnlockPage::TUnlockPage(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("stsUnlock"));
    auto *outer = new QVBoxLayout(this);
    outer->addStretch();
    auto *row = new QHBoxLayout;
    row->addStretch();
    auto *box = new QVBoxLayout;
    auto *text = Named(new QLabel(QStringLiteral("The account book is protected. Enter its master password."), this),
                       "lblUnlock");
    box->addWidget(text);
    m_password = PasswordEdit(this, "edtMasterPassword");
    m_password->setMinimumWidth(280);
    box->addWidget(m_password);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    auto *unlock = Named(new QPushButton(QStringLiteral("Unlock"), this), "btnUnlock");
    auto *quit = Named(new QPushButton(QStringLiteral("Quit"), this), "btnQuit");
    buttons->addWidget(unlock);
    buttons->addWidget(quit);
    box->addLayout(buttons);
    row->addLayout(box);
    row->addStretch();
    outer->addLayout(row);
    outer->addStretch();
    connect(unlock, &QPushButton::clicked, this, &TUnlockPage::unlockRequested);
    connect(m_password, &QLineEdit::returnPressed, this, &TUnlockPage::unlockRequested);
    connect(quit, &QPushButton::clicked, this, &TUnlockPage::quitRequested);
}

QByteArray TUnlockPage::TakePassword()
{
    return TakeText(m_password);
}

void TUnlockPage::Ready()
{
    m_password->clear();
    m_password->setFocus(Qt::OtherFocusReason);
}

TfrmMasterPassword::TfrmMasterPassword(TMode mode, TMessageService &messages, QWidget *parent)
    : QDialog(parent), m_mode(mode), m_messages(messages)
{
    setObjectName(QStringLiteral("frmMasterPassword"));
    setWindowTitle(mode == TMode::Protect ? QStringLiteral("Protect Book") : QStringLiteral("Change Master Password"));
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    if (mode == TMode::Change) {
        m_current = PasswordEdit(this, "edtCurrentPassword");
        form->addRow(QStringLiteral("Current master password:"), m_current);
    }
    m_new = PasswordEdit(this, "edtNewPassword");
    m_repeat = PasswordEdit(this, "edtRepeatPassword");
    form->addRow(QStringLiteral("New master password:"), m_new);
    form->addRow(QStringLiteral("Repeat it:"), m_repeat);
    layout->addLayout(form);
    m_hint = Named(new QLabel(this), "lblPasswordStrength");
    m_hint->setTextFormat(Qt::PlainText);
    m_hint->setWordWrap(true);
    layout->addWidget(m_hint);
    auto *note = Named(new QLabel(QStringLiteral("Nobody can open the book without it: there is no way to recover "
                                                 "a forgotten master password."),
                                  this),
                       "lblPasswordNote");
    note->setWordWrap(true);
    layout->addWidget(note);
    auto *ok = AddOkCancel(this, layout);
    connect(m_new, &QLineEdit::textChanged, this, [this](const QString &text) { m_hint->setText(PasswordHint(text)); });
    connect(ok, &QPushButton::clicked, this, Guarded(this, &TfrmMasterPassword::btnOkClick));
}

void TfrmMasterPassword::btnOkClick()
{
    QString problem;
    if (m_current && m_current->text().isEmpty())
        problem = QStringLiteral("Please enter the current master password.");
    else if (m_new->text().isEmpty())
        problem = QStringLiteral("Please enter the new master password.");
    else if (m_new->text() != m_repeat->text())
        problem = QStringLiteral("The two new master passwords differ. Please type the same one twice.");
    if (problem.isEmpty())
        return accept();
    m_messages.MessageDlg(problem, TMsgDlgType::mtWarning, mbOK);
    activateWindow();
    m_repeat->clear();
    (m_current && m_current->text().isEmpty() ? m_current : m_new)->setFocus(Qt::OtherFocusReason);
}

bool TfrmMasterPassword::Ask(QByteArray *current, QByteArray *chosen)
{
    (m_current ? m_current : m_new)->setFocus();
    const bool ok = exec() == QDialog::Accepted;
    QByteArray c = m_current ? TakeText(m_current) : QByteArray();
    QByteArray n = TakeText(m_new);
    QByteArray r = TakeText(m_repeat);
    WipeBytes(r);
    if (!ok) {
        WipeBytes(c);
        WipeBytes(n);
        return false;
    }
    if (current)
        *current = c;
    *chosen = n;
    return true;
}

TfrmAutoLock::TfrmAutoLock(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAutoLock"));
    setWindowTitle(QStringLiteral("Auto-Lock"));
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    m_minutes = Named(new QSpinBox(this), "spnIdleMinutes");
    m_minutes->setRange(0, 1440);
    m_minutes->setSpecialValueText(QStringLiteral("Never"));
    m_minutes->setSuffix(QStringLiteral(" min"));
    form->addRow(QStringLiteral("Lock the book after this long without input:"), m_minutes);
    layout->addLayout(form);
    auto *ok = AddOkCancel(this, layout);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

bool TfrmAutoLock::Ask(int *minutes)
{
    m_minutes->setValue(*minutes);
    m_minutes->setFocus();
    if (exec() != QDialog::Accepted)
        return false;
    *minutes = m_minutes->value();
    return true;
}
