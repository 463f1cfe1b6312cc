#include "password_field_controller.h"

#include "item_editor.h"
#include "password_generator_dialog.h"

#include "book/category_tree.h"
#include "settings/window_settings.h"
#include "util/error_reporter.h"
#include "util/message_service.h"

#include <QAction>
#include <QDir>
#include <QEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>

namespace {

// The controls are the window's, known by the names it gives them; one gone
// missing is a mistake in the program, not something a user can mend.
template <class T>
T *Find(QWidget &window, const char *name)
{
    T *found = window.findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qFatal("the main window has no %s for the password field", name);
    return found;
}

// An eye, struck through while the password is hidden: the button shows what
// the field does now.
QIcon EyeIcon(bool open)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(0x4a, 0x55, 0x66);
    QPainterPath lid;
    lid.moveTo(3, 16);
    lid.quadTo(16, 3, 29, 16);
    lid.quadTo(16, 29, 3, 16);
    p.setPen(QPen(ink, 2.2));
    p.setBrush(Qt::white);
    p.drawPath(lid);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawEllipse(QPointF(16, 16), 4.5, 4.5);
    if (!open) {
        p.setPen(QPen(Qt::white, 5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(6, 27), QPointF(26, 5));
        p.setPen(QPen(ink, 2.4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(6, 27), QPointF(26, 5));
    }
    return QIcon(pixmap);
}

// Hands the password field's changes of state to a function.
class TStateWatch : public QObject
{
public:
    TStateWatch(QObject *watched, std::function<void()> changed) : QObject(watched), m_changed(std::move(changed))
    {
        watched->installEventFilter(this);
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::ReadOnlyChange || event->type() == QEvent::EnabledChange)
            m_changed();
        return false;
    }

private:
    std::function<void()> m_changed;
};

} // namespace

TPasswordFieldController::TPasswordFieldController(QWidget &window, TMessageService &messages, TWindowState &state,
                                                   const QString &appFolder)
    : QObject(&window),
      m_messages(messages),
      m_state(state),
      m_appFolder(appFolder),
      m_editor(Find<TItemEditor>(window, "bsSkinPanel4")),
      m_field(Find<QLineEdit>(window, "edtPassword")),
      m_tree(Find<TCategoryTree>(window, "tvwMain"))
{
    setObjectName(QStringLiteral("PasswordFieldController"));

    // Held by the field: its context menu offers the entries the field holds,
    // and the key works wherever the focus is on the page the field is on.
    m_generate = new QAction(QStringLiteral("Generate Password\u2026"), m_field);
    m_generate->setObjectName(QStringLiteral("actGeneratePassword"));
    m_generate->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
    m_generate->setShortcutContext(Qt::WindowShortcut);
    const QString hint = QStringLiteral("Put a new random password into the item's password field");
    m_generate->setStatusTip(hint);
    m_generate->setToolTip(hint);
    m_field->addAction(m_generate);
    connect(m_generate, &QAction::triggered, this, Guarded(this, &TPasswordFieldController::OpenGenerator));
    QMenu *menu = Find<QMenu>(window, "mnuMain");
    menu->addAction(m_generate);
    connect(menu, &QMenu::aboutToShow, this, Guarded(this, &TPasswordFieldController::UpdateActions));

    m_show = new QAction(QStringLiteral("Show Password"), m_field);
    m_show->setObjectName(QStringLiteral("actShowPassword"));
    m_show->setCheckable(true);
    m_show->setToolTip(QStringLiteral("Show the password, or hide it behind dots"));
    m_field->addAction(m_show, QLineEdit::TrailingPosition);
    // Set before the connection: showing the choice stored is not a new choice.
    m_show->setChecked(m_state.passwordShown);
    ShowPassword(m_state.passwordShown);
    connect(m_show, &QAction::toggled, this, [this](bool shown) {
        ErrorReporter::Run([&] {
            ShowPassword(shown);
            m_state.passwordShown = shown;
            const TWindowSettings settings(m_appFolder);
            if (!settings.Save(m_state))
                m_messages.MessageDlg(QStringLiteral("The password setting could not be stored in %1. "
                                                     "It holds until the program is closed.")
                                          .arg(QDir::toNativeSeparators(settings.Path())),
                                      TMsgDlgType::mtWarning, mbOK);
        });
    });

    connect(m_tree, &TCategoryTree::currentNodeChanged, this, Guarded(this, &TPasswordFieldController::UpdateActions));
    new TStateWatch(m_field, [this] { ErrorReporter::Run([this] { UpdateActions(); }); });
    UpdateActions();
}

bool TPasswordFieldController::CanTakePassword() const
{
    return TCategoryTree::IsItemNode(m_tree->Selected()) && m_field->isEnabled() && !m_field->isReadOnly();
}

void TPasswordFieldController::UpdateActions()
{
    const bool can = CanTakePassword();
    m_generate->setEnabled(can);
    // The item went or the book locked under the dialog: nothing is left
    // for its password to go into.
    if (!can && m_dialog)
        m_dialog->reject();
}

void TPasswordFieldController::ShowPassword(bool shown)
{
    m_field->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
    m_show->setIcon(EyeIcon(shown));
}

void TPasswordFieldController::OpenGenerator()
{
    if (!CanTakePassword())
        return;
    if (m_dialog) {
        m_dialog->raise();
        m_dialog->activateWindow();
        return;
    }
    // Not exec(): the window stays blocked all the same, and nothing waits
    // in an event loop of its own while the user chooses.
    // What the field takes: a protected book's fields hold any character.
    m_dialog = new TPasswordGeneratorDialog(m_editor->BookText() == TBookText::Utf8, m_field->window());
    m_dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_dialog, &QDialog::accepted, this, [this, dialog = m_dialog] {
        ErrorReporter::Run([&] {
            if (dialog)
                Use(dialog->Password());
        });
    });
    m_dialog->open();
}

void TPasswordFieldController::Use(const QString &password)
{
    // The item may have gone (or the book locked) while the dialog was open.
    if (password.isEmpty() || !CanTakePassword())
        return;
    // As if typed over the whole field: the field's undo takes it back, its
    // rule judges it, and the editor counts it as unsaved typing.
    m_field->setFocus(Qt::OtherFocusReason);
    m_field->selectAll();
    m_field->insert(password);
    if (m_field->text() == password)
        m_editor->SetModified(true);
}
