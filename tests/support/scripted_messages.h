#pragma once

#include "util/message_service.h"

#include <QList>
#include <QString>

// A message service for tests: records every message and answers from a
// queue, so no test blocks on a modal box.
class TScriptedMessages : public TMessageService
{
public:
    struct Shown
    {
        QString text;
        TMsgDlgType kind;
        TMsgDlgButtons buttons;
    };

    TModalResult MessageDlg(const QString &text, TMsgDlgType kind, TMsgDlgButtons buttons,
                            int helpContext = 0) override;

    void ShowHint(QWidget *anchor, const QString &text) override { hints.append({anchor, text}); }

    // Queues the answer to the next message.
    void Answer(TModalResult result) { m_answers.append(result); }
    // The answer when the queue is empty (OK, or Cancel when OK is not offered).
    void SetDefaultAnswer(TModalResult result) { m_default = result; }

    QList<Shown> shown;
    QList<QPair<QWidget *, QString>> hints;
    QStringList Texts() const;
    void Clear()
    {
        shown.clear();
        hints.clear();
    }

private:
    QList<TModalResult> m_answers;
    TModalResult m_default = TModalResult::mrNone;
};
