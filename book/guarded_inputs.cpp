#include "guarded_inputs.h"

#include "input_rules.h"
#include "util/message_service.h"

#include <QLineEdit>

TRuleValidator::TRuleValidator(Rule rule, std::function<void(const QString &)> refused, QObject *parent,
                               bool dropPastedLineEnds)
    : QValidator(parent), m_rule(std::move(rule)), m_refused(std::move(refused)),
      m_dropPastedLineEnds(dropPastedLineEnds)
{
}

QValidator::State TRuleValidator::validate(QString &input, int &pos) const
{
    const QString reason = m_rule(input);
    if (reason.isEmpty())
        return Acceptable;
    // The text before the edit held no line break, so those before the
    // cursor came with the paste: they go, the rest of the paste stays.
    if (m_dropPastedLineEnds) {
        QString trimmed = input;
        int trimmedPos = pos;
        if (DropLineBreaksBefore(trimmed, trimmedPos) && m_rule(trimmed).isEmpty()) {
            input = trimmed;
            pos = trimmedPos;
            return Acceptable;
        }
    }
    if (m_refused)
        m_refused(reason);
    return Invalid;
}

void GuardLineEdit(QLineEdit *edit, TMessageService *messages, TBookText book)
{
    const QValidator *old = edit->validator();
    edit->setValidator(new TRuleValidator([book](const QString &text) { return RefusalForLine(text, book); },
                                          [edit, messages](const QString &reason) {
                                              if (messages)
                                                  messages->ShowHint(edit, reason);
                                          },
                                          edit, true));
    // Another's validator is left to its owner.
    if (old && old->parent() == edit && qobject_cast<const TRuleValidator *>(old))
        delete old;
}

TGuardedMemo::TGuardedMemo(QWidget *parent) : QPlainTextEdit(parent)
{
    connect(document(), &QTextDocument::contentsChange, this,
            [this](int position, int, int added) { Check(position, added); });
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

void TGuardedMemo::LoadText(const QString &text)
{
    m_reverting = true;
    setPlainText(text);
    m_lastGood = text;
    m_lastCursor = 0;
    m_reverting = false;
}

void TGuardedMemo::Check(int position, int added)
{
    if (m_reverting)
        return;
    const QString now = toPlainText();
    // The rule looks at what the edit put in and at its neighbours, which
    // could form a pair with it; text loaded from the book that the rule
    // would not take stays editable around it.
    const int from = qMax(0, position - 1);
    const QString reason = m_rule ? m_rule(now.mid(from, added + 2)) : QString();
    if (reason.isEmpty()) {
        m_lastGood = now;
        return;
    }
    m_reverting = true;
    const int cursor = m_lastCursor;
    setPlainText(m_lastGood);
    QTextCursor c = textCursor();
    c.setPosition(qMin(cursor, int(m_lastGood.size())));
    setTextCursor(c);
    m_reverting = false;
    if (m_messages)
        m_messages->ShowHint(this, reason);
}
