#include "message_service.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPointer>
#include <QToolTip>
#include <QWidget>

TModalResult TSkinMessage::MessageDlg(const QString &text, TMsgDlgType kind, TMsgDlgButtons buttons,
                                      int)
{
    QPointer<QMessageBox> box = new QMessageBox(m_parent);
    box->setObjectName(QStringLiteral("msgMainBox"));
    box->setText(text);
    switch (kind) {
    case TMsgDlgType::mtWarning:
        box->setWindowTitle(QStringLiteral("Warning"));
        box->setIcon(QMessageBox::Warning);
        break;
    case TMsgDlgType::mtError:
        box->setWindowTitle(QStringLiteral("Error"));
        box->setIcon(QMessageBox::Critical);
        break;
    case TMsgDlgType::mtInformation:
        box->setWindowTitle(QStringLiteral("Information"));
        box->setIcon(QMessageBox::Information);
        break;
    case TMsgDlgType::mtConfirmation:
        box->setWindowTitle(QStringLiteral("Confirm"));
        box->setIcon(QMessageBox::Question);
        break;
    case TMsgDlgType::mtCustom:
        box->setWindowTitle(QString());
        box->setIcon(QMessageBox::NoIcon);
        break;
    }
    struct Map {
        TMsgDlgBtn flag;
        QMessageBox::StandardButton std;
        TModalResult result;
    };
    static const Map kMap[] = {
        {mbYes, QMessageBox::Yes, TModalResult::mrYes},
        {mbNo, QMessageBox::No, TModalResult::mrNo},
        {mbOK, QMessageBox::Ok, TModalResult::mrOk},
        {mbCancel, QMessageBox::Cancel, TModalResult::mrCancel},
    };
    QMessageBox::StandardButtons std;
    for (const Map &m : kMap)
        if (buttons.testFlag(m.flag))
            std |= m.std;
    if (!std)
        std = QMessageBox::Ok;
    box->setStandardButtons(std);
    box->exec();
    if (!box)
        return TModalResult::mrCancel;
    const QMessageBox::StandardButton pressed = box->standardButton(box->clickedButton());
    delete box;
    for (const Map &m : kMap)
        if (m.std == pressed)
            return m.result;
    return TModalResult::mrCancel;
}

void TMessageService::ShowHint(QWidget *anchor, const QString &text)
{
    if (!anchor)
        return;
    QToolTip::showText(anchor->mapToGlobal(QPoint(0, anchor->height())), text, anchor, QRect(), 6000);
}
