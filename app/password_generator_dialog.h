#pragma once

#include "book/password_generator.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

// Draws a new password for the item shown, from the kinds of character the
// user ticks, and shows it with what it is worth before it goes into the
// field. "Use" accepts the dialog with the password shown; the window puts it
// in. The rules are book/password_generator.h's; this only shows them.
class TPasswordGeneratorDialog : public QDialog
{
    Q_OBJECT
public:
    // `anyPrintable`: the book stores any character (a protected book), so
    // the characters the user adds may be any printable one; a plain book
    // takes only those it can hold. `random` replaces the system's generator.
    explicit TPasswordGeneratorDialog(bool anyPrintable, QWidget *parent = nullptr, TRandomSource random = {});

    TPasswordOptions Options() const;
    // The password shown; empty while the options are refused.
    QString Password() const { return m_password; }

public slots:
    // Draws a new password with the options as they stand.
    void Generate();

private:
    bool m_anyPrintable;
    TRandomSource m_random;
    QString m_password;
    QSpinBox *m_length;
    QList<QPair<QCheckBox *, TPasswordClass>> m_classes;
    QCheckBox *m_avoidLookAlikes;
    QLineEdit *m_extra;
    QPlainTextEdit *m_preview;
    QLabel *m_strength;
    QPushButton *m_again;
    QPushButton *m_use;
};
