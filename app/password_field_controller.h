#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QAction;
class QLineEdit;
class QWidget;
class TCategoryTree;
class TItemEditor;
class TMessageService;
class TPasswordGeneratorDialog;
struct TWindowState;

// The item editor's password field beyond its text: "Generate Password…"
// (its context menu, the window's menu and a key), which puts a new password
// in as if the user had typed it, and the eye at its end that shows the
// password or hides it behind dots, remembered with the window's other
// settings of the folder. The window's controls are found by their names.
class TPasswordFieldController : public QObject
{
    Q_OBJECT
public:
    // `state` is the window's own, which it writes whole at close: the
    // eye's choice is kept there so that neither write loses the other.
    TPasswordFieldController(QWidget &window, TMessageService &messages, TWindowState &state,
                             const QString &appFolder);

    QAction *GenerateAction() const { return m_generate; }
    QAction *ShowAction() const { return m_show; }

private:
    void OpenGenerator();
    void Use(const QString &password);
    void ShowPassword(bool shown);
    void UpdateActions();
    bool CanTakePassword() const;

    TMessageService &m_messages;
    TWindowState &m_state;
    QString m_appFolder;
    TItemEditor *m_editor;
    QLineEdit *m_field;
    TCategoryTree *m_tree;
    QAction *m_generate;
    QAction *m_show;
    QPointer<TPasswordGeneratorDialog> m_dialog;
};
