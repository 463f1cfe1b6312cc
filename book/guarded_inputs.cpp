#include "guarded_inputs.h"

#include "input_rules.h"
#include "util/message_service.h"

#include <QLineEdit>

TRuleValidator::TRuleValidator(Rule rule, std::function<void(const QString &)> refused, QObject *parent)
    : QValidator(parent), m_rule(std::move(rule)), m_refused(std::move(refused))
{
}

QValidator::State TRuleValidator::validate(QString &input, int &) const
{
    const QString reason = m_rule(input);
    if (reason.isEmpty())
        return Acceptable;
    if (m_refused)
        m_refused(reason);
    return Invalid;
}

void GuardLineEdit(QLineEdit *edit, TMessageService *messages)
{
    edit->setValidator(new TRuleValidator(RefusalForLine,
                                          [edit, messages](const QString &reason) {
                                              if (messages)
                                                  messages->ShowHint(edit, reason);
                                          },
                                          edit));
}

TGuardedMemo::TGuardedMemo(QWidget *parent) : QPlainTextEdit(parent)
{
    connect(this, &QPlainTextEdit::textChanged, this, &TGuardedMemo::Check);
    connect(this, &QPlainTextEdit::cursorPositionChanged, this, [this] {
        if (!m_reverting)
            m_lastCursor = textCursor().position();
    });
}

void TGuardedMemo::SetRule(TRuleValidator::Rule rule, TMessageService *messages)
{
    m_rule = std::move(rule);
    m_messages = messages;
    m_lastGood = toPlainText();
}

void TGuardedMemo::Check()
{
    if (m_reverting)
        return;
    const QString now = toPlainText();
    const QString reason = m_rule ? m_rule(now) : QString();
    if (reason.isEmpty()) {
        m_lastGood = now;
        return;
    }
    m_reverting = true;
    const int cursor = m_lastCursor;
    setPlainText(m_lastGood);
    QTextCursor c = textCursor();
    c.setPosition(qMin(cursor, m_lastGood.size()));
    setTextCursor(c);
    m_reverting = false;
    if (m_messages)
        m_messages->ShowHint(this, reason);
}
