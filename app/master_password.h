#pragma once

#include <QByteArray>
#include <QDialog>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class TMessageService;

// What a locked window shows instead of its pages: the master password,
// Unlock and Quit. It decides nothing; the book's lock hears its signals.
class TUnlockPage : public QWidget
{
    Q_OBJECT
public:
    explicit TUnlockPage(QWidget *parent = nullptr);

    // The typed password as UTF-8, as the tool reads it from a terminal; the
    // field is emptied, so the text stays in one place only.
    QByteArray TakePassword();
    void Ready();

signals:
    void unlockRequested();
    void quitRequested();

private:
    QLineEdit *m_password = nullptr;
};

// The master password for a book being protected (new password twice, with
// the strength hint) or a new one for a protected book (the current one
// first). Shown modally; its checks go through the message service.
class TfrmMasterPassword : public QDialog
{
    Q_OBJECT
public:
    enum class TMode { Protect, Change };
    TfrmMasterPassword(TMode mode, TMessageService &messages, QWidget *parent = nullptr);

    // True with the passwords as UTF-8 when OK closed it; `current` is
    // asked in Change mode only.
    bool Ask(QByteArray *current, QByteArray *chosen);

private:
    void btnOkClick();

    TMode m_mode;
    TMessageService &m_messages;
    QLineEdit *m_current = nullptr;
    QLineEdit *m_new = nullptr;
    QLineEdit *m_repeat = nullptr;
    QLabel *m_hint = nullptr;
};

class QSpinBox;

// After how many idle minutes a protected book locks itself (0: never).
class TfrmAutoLock : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmAutoLock(QWidget *parent = nullptr);
    // True with the chosen number when OK closed it.
    bool Ask(int *minutes);

private:
    QSpinBox *m_minutes = nullptr;
};
