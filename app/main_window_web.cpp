// The web panel of the main window: the browser bar and the Browse and Paste
// buttons of the item editor. What each button does lives in web/web_panel.
#include "main_window.h"

#include "item_editor.h"

#include "util/error_reporter.h"
#include "util/secret_clipboard.h"
#include "web/browser_panel.h"
#include "web/web_panel.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

QWidget *TfrmMain::CreateWebBrowser(QWidget *parent)
{
    EmbeddedWB1 = new TBrowserPanel(m_appFolder + QStringLiteral("browser/"), parent);
    EmbeddedWB1->setObjectName(QStringLiteral("EmbeddedWB1"));
    EmbeddedWB1->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    // Part of the window's smallest size: a window made as small as it goes
    // still shows some of the page.
    EmbeddedWB1->setMinimumHeight(100);
    Clipboard = new TSecretClipboard(this);
    Clipboard->setObjectName(QStringLiteral("SecretClipboard"));
    return EmbeddedWB1;
}

void TfrmMain::ConnectWebHandlers()
{
    connect(bsSkinSpeedButton1, &QToolButton::clicked, this, Guarded(this, &TfrmMain::bsSkinSpeedButton1Click));
    connect(bsSkinSpeedButton2, &QToolButton::clicked, this, Guarded(this, &TfrmMain::bsSkinSpeedButton2Click));
    connect(bsSkinSpeedButton3, &QToolButton::clicked, this, Guarded(this, &TfrmMain::bsSkinSpeedButton3Click));
    connect(bsSkinSpeedButton4, &QToolButton::clicked, this, Guarded(this, &TfrmMain::bsSkinSpeedButton4Click));
    connect(bsSkinButton2, &QPushButton::clicked, this, Guarded(this, &TfrmMain::bsSkinButton2Click));
    const std::pair<TItemField, void (TfrmMain::*)()> buttons[] = {
        {TItemField::WebsiteURL, &TfrmMain::btnBrowseWebsiteClick},
        {TItemField::LoginURL, &TfrmMain::btnBrowseLoginClick},
        {TItemField::AffiliateURL, &TfrmMain::btnBrowseAffiliateClick},
        {TItemField::Cloaked, &TfrmMain::btnBrowseCloakedClick},
        {TItemField::Login, &TfrmMain::btnUPasteClick},
        {TItemField::Password, &TfrmMain::btnPPasteClick},
    };
    for (const auto &[field, handler] : buttons)
        connect(m_editor->Button(field), &QPushButton::clicked, this, Guarded(this, handler));
    // edtURL has no handler: Enter in it does nothing, only "Go!" opens it.
    // It keeps the address the user opened; where the page shown really is
    // stands beside it.
    if (auto *host = bsSkinPanel5->findChild<QLabel *>(QStringLiteral("lblPageHost")))
        connect(EmbeddedWB1, &TBrowserPanel::urlChanged, host, [host](const QUrl &url) { host->setText(url.host()); });
}

void TfrmMain::bsSkinSpeedButton1Click()
{
    WebPanel::Back(*EmbeddedWB1);
}

void TfrmMain::bsSkinSpeedButton2Click()
{
    WebPanel::Forward(*EmbeddedWB1);
}

void TfrmMain::bsSkinSpeedButton3Click()
{
    WebPanel::Stop(*EmbeddedWB1);
}

void TfrmMain::bsSkinSpeedButton4Click()
{
    WebPanel::Refresh(*EmbeddedWB1);
}

void TfrmMain::bsSkinButton2Click()
{
    WebPanel::Go(*EmbeddedWB1, edtURL->text());
}

void TfrmMain::btnBrowseWebsiteClick()
{
    WebPanel::Browse(*EmbeddedWB1, *edtURL, m_editor->Field(TItemField::WebsiteURL)->text());
}

void TfrmMain::btnBrowseLoginClick()
{
    WebPanel::Browse(*EmbeddedWB1, *edtURL, m_editor->Field(TItemField::LoginURL)->text());
}

void TfrmMain::btnBrowseAffiliateClick()
{
    WebPanel::Browse(*EmbeddedWB1, *edtURL, m_editor->Field(TItemField::AffiliateURL)->text());
}

void TfrmMain::btnBrowseCloakedClick()
{
    WebPanel::Browse(*EmbeddedWB1, *edtURL, m_editor->Field(TItemField::Cloaked)->text());
}

void TfrmMain::btnUPasteClick()
{
    WebPanel::Paste(*EmbeddedWB1, *Clipboard, m_editor->Field(TItemField::Login)->text());
}

void TfrmMain::btnPPasteClick()
{
    const auto text = [this](TItemField field) { return m_editor->Field(field)->text(); };
    WebPanel::PastePassword(*EmbeddedWB1, *Clipboard, Messages(), text(TItemField::Password),
                            {text(TItemField::WebsiteURL), text(TItemField::LoginURL),
                             text(TItemField::AffiliateURL), text(TItemField::Cloaked)});
}
