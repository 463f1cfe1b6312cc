// Branding of the main window from the publisher's settings container, the
// promotion places and the About box.
#include "main_window.h"

#include "about_box.h"
#include "publisher_services.h"
#include "link_label.h"
#include "settings/branding_parser.h"
#include "settings/branding_settings.h"
#include "settings/publisher_files.h"
#include "settings/settings_container.h"
#include "util/codepage.h"
#include "util/error_reporter.h"
#include "util/document_view.h"
#include "util/text_utils.h"

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QMovie>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>

#include <functional>

namespace {

// Turns a left click on a picture label into a call.
class TClickFilter : public QObject
{
public:
    TClickFilter(QWidget *target, std::function<void()> onClick)
        : QObject(target), m_target(target), m_onClick(std::move(onClick))
    {
        target->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_target && event->type() == QEvent::MouseButtonRelease) {
            const auto *mouse = static_cast<QMouseEvent *>(event);
            if (mouse->button() == Qt::LeftButton && m_target->rect().contains(mouse->position().toPoint()))
                m_onClick();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget *m_target;
    std::function<void()> m_onClick;
};

} // namespace

void TfrmMain::ConnectBrandingHandlers()
{
    new TClickFilter(imgBanner, Guarded(this, &TfrmMain::imgBannerClick));
    new TClickFilter(gifBanner, Guarded(this, &TfrmMain::gifBannerClick));
    connect(btnHelp, &QToolButton::clicked, this, Guarded(this, &TfrmMain::btnHelpClick));
    connect(btnAbout, &QPushButton::clicked, this, Guarded(this, &TfrmMain::btnAboutClick));
}

void TfrmMain::LoadBrandingSettings()
{
    BrandingSettings() = TBrandingSettings{};
    if (!QFileInfo::exists(AppFolder() + QLatin1String(kContainerFileName)))
        return;

    // A container that does not open, or fails its authentication code, gives
    // no text at all: every value stays empty.
    QByteArray text;
    ReadSettingsText(AppFolder(), text);
    const TBrandingText parsed = ParseBrandingText(text);
    BrandingSettings() = ChooseBranding(parsed);
    const TBrandingSettings &s = BrandingSettings();

    setWindowTitle(FromAnsi(s.ApplicationName) + QStringLiteral(" v") + QString::fromLatin1(AppVersion));
    btnNews->setVisible(NewsButtonVisible(s));
    btnMakeMoney->setText(FromAnsi(MakeMoneyCaption(parsed)));
    m_services->ApplyBanner();
    m_services->ApplyLinks();
    ApplySkinFile();
    ApplyIconFile();
}

void TfrmMain::ApplySkinFile()
{
    QFile skin(AppFolder() + QLatin1String(kSkinFileName));
    if (!skin.exists() || !skin.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = skin.readAll();
    if (skin.error() != QFileDevice::NoError || !IsUsableStyleSheet(bytes))
        return;
    // The window's own controls only: its pages and its pop-up menu. Message
    // boxes and dialogs are children of the window itself, not of its pages,
    // so they keep the program's look, and what they say stays the program's.
    const QString styleSheet = SafeSkinStyleSheet(bytes);
    pgcPrinc->setStyleSheet(styleSheet);
    bsSkinPopupMenu1->setStyleSheet(styleSheet);
}

void TfrmMain::ApplyIconFile()
{
    const QString path = AppFolder() + QLatin1String(kIconFileName);
    if (!QFileInfo::exists(path))
        return;
    QImageReader reader(path);
    if (!reader.canRead())
        return;
    const QIcon icon(path);
    if (icon.availableSizes().isEmpty())
        return;
    qApp->setWindowIcon(icon);
    setWindowIcon(icon);
}

void TfrmMain::ShowWelcomePage()
{
    // No local base address: the page gets an opaque origin, so its pictures
    // and scripts can reach the publisher's site but never read the files
    // beside the program (the book holds passwords).
    prfWelcome->SetHtml(FromAnsi(BrandingSettings().WelcomePage));
}

void TfrmMain::imgBannerClick()
{
    m_services->BannerClick();
}

void TfrmMain::gifBannerClick()
{
    m_services->BannerClick();
}

void TfrmMain::btnHelpClick()
{
    OpenPublisherAddress(Messages(), BrandingSettings().AppHelpURL);
}

void TfrmMain::btnAboutClick()
{
    TfrmAbout frmAbout(BrandingSettings(), this);
    frmAbout.exec();
}
