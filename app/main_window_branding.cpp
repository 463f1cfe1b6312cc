// Branding of the main window from the publisher's settings container, the
// promotion places and the About box.
#include "main_window.h"

#include "about_box.h"
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
    connect(btnMakeMoney, &QPushButton::clicked, this, Guarded(this, &TfrmMain::btnMakeMoneyClick));
    connect(btnHelp, &QToolButton::clicked, this, Guarded(this, &TfrmMain::btnHelpClick));
    connect(btnAbout, &QPushButton::clicked, this, Guarded(this, &TfrmMain::btnAboutClick));
    for (TLinkLabel *link : {lblLink1URL, lblLink2URL})
        connect(link, &TLinkLabel::linkRefused, this,
                [this](const QString &why) { Messages().MessageDlg(why, TMsgDlgType::mtWarning, mbOK); });
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
    ApplyBanner();
    ApplyLinks();
    ApplySkinFile();
    ApplyIconFile();
}

void TfrmMain::ApplyBanner()
{
    const TBrandingSettings &s = BrandingSettings();
    for (QLabel *banner : {imgBanner, gifBanner}) {
        if (s.BannerLinkURL.isEmpty())
            banner->unsetCursor();
        else
            banner->setCursor(Qt::PointingHandCursor);
    }

    // The picture is read from bannerN.dat as it lies; its name only tells the
    // format. A picture that cannot be shown hides the bar, like a missing one.
    TBannerPicture picture;
    if (!s.BannerPicture.isEmpty())
        picture = ReadBannerPicture(AppFolder() + BannerFileName(s.BannerNumber), s.BannerPicture);
    if (!picture.Ok) {
        gifMovie->stop();
        panBanner->hide();
        return;
    }

    if (picture.Kind == TBannerKind::Animated) {
        gifMovie->stop();
        auto *buffer = new QBuffer(gifMovie);
        buffer->setData(picture.Bytes);
        QIODevice *old = gifMovie->device();
        gifMovie->setFormat("gif");
        gifMovie->setDevice(buffer);
        if (old && old != buffer)
            old->deleteLater();
        imgBanner->hide();
        gifBanner->show();
        gifBanner->resize(picture.Image.size());
        gifMovie->start();
        panBanner->setFixedHeight(gifBanner->height() + 10);
    } else {
        gifMovie->stop();
        gifBanner->hide();
        imgBanner->show();
        imgBanner->setPixmap(QPixmap::fromImage(picture.Image));
        imgBanner->resize(picture.Image.size());
        panBanner->setFixedHeight(imgBanner->height() + 10);
    }
}

void TfrmMain::ApplyLinks()
{
    const TBrandingSettings &s = BrandingSettings();
    panLinks->setVisible(!s.Link1Caption.isEmpty());
    const std::pair<TLinkLabel *, std::pair<QByteArray, QByteArray>> links[] = {
        {lblLink1URL, {s.Link1Caption, s.Link1URL}},
        {lblLink2URL, {s.Link2Caption, s.Link2URL}},
    };
    for (const auto &[label, link] : links) {
        label->setTextFormat(Qt::PlainText);
        label->setText(FromAnsi(link.first));
        label->SetURL(link.second);
    }
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

namespace {

// The publisher's addresses come from a file anyone can write: one that is
// not a web address is not handed to the browser, and the user who clicked
// hears why.
void OpenForUser(TMessageService &messages, const QByteArray &url)
{
    QString why;
    if (DesktopAddress(url, TAddressUse::Web, &why).isEmpty()) {
        messages.MessageDlg(why, TMsgDlgType::mtWarning, mbOK);
        return;
    }
    OpenURLInBrowser(url);
}

} // namespace

void TfrmMain::imgBannerClick()
{
    if (!BrandingSettings().BannerLinkURL.isEmpty())
        OpenForUser(Messages(), BrandingSettings().BannerLinkURL);
}

void TfrmMain::gifBannerClick()
{
    imgBannerClick();
}

void TfrmMain::btnMakeMoneyClick()
{
    OpenForUser(Messages(), BrandingSettings().AffiliateURL);
}

void TfrmMain::btnHelpClick()
{
    OpenForUser(Messages(), BrandingSettings().AppHelpURL);
}

void TfrmMain::btnAboutClick()
{
    TfrmAbout frmAbout(BrandingSettings(), this);
    frmAbout.exec();
}
