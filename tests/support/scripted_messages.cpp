#include "scripted_messages.h"

TModalResult TScriptedMessages::MessageDlg(const QString &text, TMsgDlgType kind, TMsgDlgButtons buttons, int)
{
    shown.append({text, kind, buttons});
    if (!m_answers.isEmpty())
        return m_answers.takeFirst();
    if (m_default != TModalResult::mrNone)
        return m_default;
    return buttons.testFlag(mbOK) ? TModalResult::mrOk : TModalResult::mrCancel;
}

QStringList TScriptedMessages::Texts() const
{
    QStringList out;
    for (const Shown &s : shown)
        out << s.text;
    return out;
}
