#pragma once

#include "book/item_record.h"

#include <QPlainTextEdit>
#include <QValidator>

#include <functional>

class QLineEdit;
class TMessageService;

// Refuses an edit of a line edit (typed or pasted) that the rule rejects. The
// text stays as it was and the reason is shown beside the edit.
class TRuleValidator : public QValidator
{
    Q_OBJECT
public:
    using Rule = std::function<QString(const QString &)>;
    // With `dropPastedLineEnds` a paste that ends with line breaks goes in
    // without them.
    TRuleValidator(Rule rule, std::function<void(const QString &)> refused, QObject *parent,
                   bool dropPastedLineEnds = false);
    State validate(QString &input, int &pos) const override;

private:
    Rule m_rule;
    std::function<void(const QString &)> m_refused;
    bool m_dropPastedLineEnds = false;
};

// Puts the line rule of the book on an edit; reasons go to `messages`. Line
// breaks at the end of a paste are dropped; one inside it is refused.
// `book`: the rule of a book that spells its text that way; called again, it
// replaces the rule the edit had.
void GuardLineEdit(QLineEdit *edit, TMessageService *messages, TBookText book = TBookText::Ansi);

// A memo that refuses an edit (typed, pasted, dropped or deleted) that puts in
// what the rule rejects: the text before the edit comes back whole.
class TGuardedMemo : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit TGuardedMemo(QWidget *parent = nullptr);
    void SetRule(TRuleValidator::Rule rule, TMessageService *messages);
    // Shows text from the book as it stands, without judging it.
    void LoadText(const QString &text);

private:
    void Check(int position, int added);

    TRuleValidator::Rule m_rule;
    TMessageService *m_messages = nullptr;
    QString m_lastGood;
    int m_lastCursor = 0;
    bool m_reverting = false;
};
