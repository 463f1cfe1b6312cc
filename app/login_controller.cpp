#include "login_controller.h"

#include "item_editor.h"

#include "book/category_tree.h"
#include "util/codepage.h"
#include "util/error_reporter.h"
#include "util/message_service.h"
#include "util/secret_clipboard.h"
#include "web/browser_panel.h"
#include "web/login_fill.h"

#include <QAction>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

namespace {

// The controls are the window's, known by the names it gives them; one gone
// missing is a mistake in the program, not something a user can mend.
template <class T>
T *Find(QWidget &window, const char *name)
{
    T *found = window.findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qFatal("the main window has no %s for its log-in", name);
    return found;
}

QAction *NamedAction(QObject *parent, const char *name, const QString &text, const QKeySequence &key,
                     const QString &hint)
{
    auto *a = new QAction(text, parent);
    a->setObjectName(QString::fromLatin1(name));
    a->setShortcut(key);
    // Wherever the focus is on the main page, as Save Item's key.
    a->setShortcutContext(Qt::WindowShortcut);
    a->setStatusTip(hint);
    a->setToolTip(hint);
    return a;
}

} // namespace

TOneTimeCodeView OneTimeCodeView(const TOneTimeKeyLine &line, qint64 unixSeconds)
{
    TOneTimeCodeView view;
    if (!line.found)
        return view;
    view.shown = true;
    const QByteArray code = line.key ? OneTimeCode(*line.key, unixSeconds) : QByteArray();
    if (code.isEmpty()) {
        const QString problem =
            line.key ? QStringLiteral("the clock is before 1970 or the key is refused") : line.problem;
        view.text = QStringLiteral("No code: %1").arg(problem);
        view.toolTip = QStringLiteral("The one-time key line in the description gives no code: %1").arg(problem);
        return view;
    }
    const qint64 left = OneTimeCodeSecondsLeft(*line.key, unixSeconds);
    view.text = QStringLiteral("%1 \u00B7 %2 s").arg(QString::fromLatin1(code)).arg(left);
    view.toolTip = QStringLiteral("The one-time code of the key line in the description; the next comes in %1 s")
                       .arg(left);
    return view;
}

TLoginController::TLoginController(QWidget &window, TMessageService &messages)
    : QObject(&window),
      m_messages(messages),
      m_editor(Find<TItemEditor>(window, "bsSkinPanel4")),
      m_browser(Find<TBrowserPanel>(window, "EmbeddedWB1")),
      m_address(Find<QLineEdit>(window, "edtURL")),
      m_tree(Find<TCategoryTree>(window, "tvwMain")),
      m_clipboard(Find<TSecretClipboard>(window, "SecretClipboard")),
      m_codeLabel(m_editor->OneTimeCodeLabel()),
      m_fill(new TLoginFill(*m_browser, this)),
      m_tick(new QTimer(this)),
      m_clock([] { return QDateTime::currentSecsSinceEpoch(); })
{
    setObjectName(QStringLiteral("LoginController"));
    m_tick->setObjectName(QStringLiteral("tmrOneTimeCode"));
    m_tick->setSingleShot(true);
    connect(m_tick, &QTimer::timeout, this, Guarded(this, &TLoginController::Tick));

    // Ctrl+L stays free for locking the book.
    QWidget *page = Find<QWidget>(window, "stsMain");
    m_logIn = NamedAction(page, "LogIn1", QStringLiteral("Log In"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L),
                          QStringLiteral("Open the item's login address and log in with its username and password"));
    m_copyCode = NamedAction(page, "CopyCode1", QStringLiteral("Copy Code"),
                             QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O),
                             QStringLiteral("Copy the item's current one-time code"));
    page->addAction(m_logIn);
    page->addAction(m_copyCode);
    connect(m_logIn, &QAction::triggered, this, Guarded(this, &TLoginController::LogIn));
    connect(m_copyCode, &QAction::triggered, this, Guarded(this, &TLoginController::CopyCode));
    connect(m_editor->LogInButton(), &QPushButton::clicked, this, Guarded(this, &TLoginController::LogIn));

    for (const char *name : {"bsSkinPopupMenu1", "mnuMain"}) {
        QMenu *menu = Find<QMenu>(window, name);
        menu->addAction(m_logIn);
        menu->addAction(m_copyCode);
        connect(menu, &QMenu::aboutToShow, this, Guarded(this, &TLoginController::UpdateActions));
    }

    // Refusals are told once the fill has ended, not from inside the page's
    // load, where a modal box would hold the fill half-way.
    connect(m_fill, &TLoginFill::refused, this,
            [this](const QString &text) {
                ErrorReporter::Run([&] { m_messages.MessageDlg(text, TMsgDlgType::mtWarning, mbOK); });
            },
            Qt::QueuedConnection);
    // A page the user opens with the window's own controls is the user's: a
    // log-in under way fills nothing there, even on the same site.
    for (const char *name : {"btnBrowseWebsite", "btnBrowseLogin", "btnBrowseAffiliate", "btnBrowseCloaked",
                             "bsSkinButton2"})
        connect(Find<QPushButton>(window, name), &QPushButton::clicked, m_fill, &TLoginFill::Cancel);
    for (const char *name : {"bsSkinSpeedButton1", "bsSkinSpeedButton2", "bsSkinSpeedButton3", "bsSkinSpeedButton4"})
        connect(Find<QToolButton>(window, name), &QToolButton::clicked, m_fill, &TLoginFill::Cancel);

    connect(m_editor->Description(), &QPlainTextEdit::textChanged, this, Guarded(this, &TLoginController::ReadKey));
    connect(m_tree, &TCategoryTree::currentNodeChanged, this, Guarded(this, &TLoginController::UpdateActions));
    ReadKey();
}

TLoginController::~TLoginController() = default;

void TLoginController::SetClock(std::function<qint64()> clock)
{
    m_clock = std::move(clock);
    ReadKey();
}

bool TLoginController::ItemShown() const
{
    return TCategoryTree::IsItemNode(m_tree->Selected());
}

void TLoginController::UpdateActions()
{
    // A hidden action takes no key either: neither is there for a category.
    const bool item = ItemShown();
    m_logIn->setVisible(item);
    m_copyCode->setVisible(item && m_key.found);
    m_copyCode->setEnabled(m_key.key.has_value());
}

void TLoginController::ReadKey()
{
    m_key = FindOneTimeKey(ToAnsi(m_editor->Description()->toPlainText()));
    UpdateActions();
    Tick();
}

void TLoginController::Tick()
{
    const TOneTimeCodeView view = OneTimeCodeView(m_key, m_clock());
    m_codeLabel->setText(view.text);
    m_codeLabel->setToolTip(view.toolTip);
    m_codeLabel->setVisible(view.shown);
    if (!m_key.key) {
        m_tick->stop();
        return;
    }
    // Just past the next whole second, when the seconds left change.
    m_tick->start(1000 - int(QDateTime::currentMSecsSinceEpoch() % 1000) + 5);
}

void TLoginController::LogIn()
{
    const auto text = [this](TItemField field) { return m_editor->Field(field)->text(); };
    const QStringList addresses{text(TItemField::WebsiteURL), text(TItemField::LoginURL),
                                text(TItemField::AffiliateURL), text(TItemField::Cloaked)};
    // As Browse does: the address bar shows what is opened.
    if (const QString start = LoginStartAddress(addresses); !start.isEmpty())
        m_address->setText(start);
    TLoginFill::TCodeSource code;
    // The key as the click found it: the code the page gets later belongs
    // to this item whatever is shown by then.
    if (const std::optional<TOneTimeKey> key = m_key.key)
        code = [key = *key, clock = m_clock] { return QString::fromLatin1(OneTimeCode(key, clock())); };
    m_fill->LogIn(addresses, text(TItemField::Login), text(TItemField::Password), std::move(code));
}

void TLoginController::CopyCode()
{
    if (!m_key.key)
        return;
    const QByteArray code = OneTimeCode(*m_key.key, m_clock());
    if (!code.isEmpty())
        m_clipboard->SetText(QString::fromLatin1(code));
}
