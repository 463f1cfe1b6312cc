#include "add_element_dialog.h"

#include "guarded_inputs.h"
#include "util/window_place.h"
#include "util/codepage.h"
#include "util/error_reporter.h"
#include "util/message_service.h"
#include "util/text_utils.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TfrmAddElement::TfrmAddElement(TMessageService &messages, QWidget *parent, TBookText text)
    : QDialog(parent), m_messages(messages), m_text(text)
{
    setObjectName(QStringLiteral("frmAddElement"));
    setWindowTitle(QStringLiteral("Add Element"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(359, 95);
    CentreOnScreen(this);

    lblLabel = new QLabel(QStringLiteral("Element:"), this);
    lblLabel->setObjectName(QStringLiteral("lblLabel"));
    lblLabel->setGeometry(8, 20, 62, 21);
    edtElement = new QLineEdit(this);
    edtElement->setObjectName(QStringLiteral("edtElement"));
    edtElement->setGeometry(68, 20, 283, 21);
    GuardLineEdit(edtElement, &m_messages, m_text);
    btnOk = new QPushButton(QStringLiteral("Ok"), this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setGeometry(180, 60, 80, 25);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(270, 60, 80, 25);
    for (QPushButton *b : {btnOk, btnCancel}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    setTabOrder(edtElement, btnOk);
    setTabOrder(btnOk, btnCancel);
    connect(btnOk, &QPushButton::clicked, this, Guarded(this, &TfrmAddElement::btnOkClick));
    connect(btnCancel, &QPushButton::clicked, this, Guarded(this, &TfrmAddElement::btnCancelClick));
}

bool TfrmAddElement::Ask(const QString &caption, const QString &label, QByteArray *value)
{
    setWindowTitle(caption);
    lblLabel->setText(label);
    edtElement->clear();
    edtElement->setFocus();
    if (exec() != QDialog::Accepted)
        return false;
    *value = EncodeBookText(edtElement->text(), m_text);
    return true;
}

void TfrmAddElement::btnOkClick()
{
    if (TrimAnsi(EncodeBookText(edtElement->text(), m_text)).isEmpty()) {
        m_messages.MessageDlg(QStringLiteral("Please enter a value for this field."), TMsgDlgType::mtWarning, mbOK);
        // The box took the focus; the value is typed here.
        activateWindow();
        edtElement->setFocus(Qt::OtherFocusReason);
        return;
    }
    accept();
}

void TfrmAddElement::btnCancelClick()
{
    reject();
}

void TfrmAddElement::keyPressEvent(QKeyEvent *event)
{
    // QDialog would take Esc as Cancel and Enter as the default button.
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}
