#pragma once

#include <QFlags>
#include <QString>

class QWidget;

// The kinds of message; they choose the box's caption and symbol.
enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

enum TMsgDlgBtn { mbYes = 0x1, mbNo = 0x2, mbOK = 0x4, mbCancel = 0x8 };
Q_DECLARE_FLAGS(TMsgDlgButtons, TMsgDlgBtn)
Q_DECLARE_OPERATORS_FOR_FLAGS(TMsgDlgButtons)

// The button that closed a message; closing without a button is mrCancel.
enum class TModalResult { mrNone, mrOk, mrCancel, mrYes, mrNo };

// The one path by which the program shows messages. The main window owns the
// real one (msgMain); tests put a scripted double in its place.
class TMessageService
{
public:
    virtual ~TMessageService() = default;
    virtual TModalResult MessageDlg(const QString &text, TMsgDlgType kind, TMsgDlgButtons buttons,
                                    int helpContext = 0) = 0;
    // A short non-modal note beside a control, e.g. why a typed character
    // did not go in. It must not take the focus or stop the typing.
    virtual void ShowHint(QWidget *anchor, const QString &text);
};

// Shows a real modal box, parented to `parent` (may be null).
class TSkinMessage : public TMessageService
{
public:
    explicit TSkinMessage(QWidget *parent = nullptr) : m_parent(parent) {}
    TModalResult MessageDlg(const QString &text, TMsgDlgType kind, TMsgDlgButtons buttons,
                            int helpContext = 0) override;

private:
    QWidget *m_parent;
};
