#pragma once

#include "book/item_record.h"

#include <QFrame>
#include <QList>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class TMessageService;

// The main page's item editor: one line per field of an item and the
// description, with the Browse, Paste and Save buttons beside them. It shows
// an item record and collects one, field by field name; any change the user
// makes to a field (typed, pasted, dropped, undone, or a key pressed in it)
// counts as unsaved typing until the next Show, Clear or SetModified(false).
// It knows no book: what is shown and where it is stored is the window's.
class TItemEditor : public QFrame
{
    Q_OBJECT
public:
    // Refusals of text the book cannot hold go to `messages`.
    explicit TItemEditor(TMessageService *messages, QWidget *parent = nullptr);

    // Every field, in the order the user tabs through them.
    QList<QWidget *> Fields() const;
    QLineEdit *Field(TItemField field) const;
    QPlainTextEdit *Description() const { return m_description; }
    QPushButton *SaveButton() const { return m_save; }
    // The button beside a field (Browse or Paste), or none.
    QPushButton *Button(TItemField field) const;
    // "Log In", beside the login address, and the one-time code beside the
    // password (hidden until there is a code to show); the window drives them.
    QPushButton *LogInButton() const { return m_logIn; }
    QLabel *OneTimeCodeLabel() const { return m_oneTimeCode; }

    // How the book shown spells its text: the fields take what it can hold
    // (any character in a protected book) and Show and Collect convert with it.
    void SetBookText(TBookText text);
    TBookText BookText() const { return m_text; }

    // Fills the fields (the category is not shown); no unsaved typing after.
    void Show(const TItemRecord &item);
    // The fields as the book stores them (BookText), the description's line
    // breaks as CR LF. The category is left empty.
    TItemRecord Collect() const;
    void Clear();
    void SetFieldsEnabled(bool enabled);
    // Fields that could not store typing take none.
    void SetReadOnly(bool readOnly);

    bool IsModified() const { return m_modified; }
    void SetModified(bool modified);

signals:
    void modifiedChanged(bool modified);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct TLine
    {
        TItemField field;
        QLineEdit *edit;
        QPushButton *button;
    };
    QList<TLine> m_lines;
    QPlainTextEdit *m_description = nullptr;
    QPushButton *m_save = nullptr;
    QPushButton *m_logIn = nullptr;
    QLabel *m_oneTimeCode = nullptr;
    bool m_modified = false;
    bool m_filling = false; // the memo's text is set, not typed
    TMessageService *m_messages = nullptr;
    TBookText m_text = TBookText::Ansi;
};
