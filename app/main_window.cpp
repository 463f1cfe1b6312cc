#include "main_window.h"

#include "util/window_place.h"
#include "book_commands.h"
#include "book_lock_controller.h"
#include "book/account_book.h"
#include "book/book_folder.h"
#include "book/category_tree.h"
#include "book/guarded_inputs.h"
#include "item_editor.h"
#include "link_label.h"
#include "login_controller.h"
#include "password_field_controller.h"
#include "publisher_services.h"
#include "settings/branding_settings.h"
#include "util/error_reporter.h"
#include "util/document_view.h"
#include "util/overflow_row.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFrame>
#include <QGuiApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMovie>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

template <class W>
W *Named(W *w, const char *name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

// Buttons of the main window never take the focus when clicked, so a field
// focused inside the shown page keeps it while "Paste" is pressed; the
// keyboard still reaches them with Tab.
template <class B>
B *NoFocus(B *b)
{
    b->setFocusPolicy(Qt::TabFocus);
    return b;
}

QPushButton *TextButton(QWidget *parent, const char *name, const QString &caption)
{
    return NoFocus(Named(new QPushButton(caption, parent), name));
}

QToolButton *PictureButton(QWidget *parent, const char *name, QStyle::StandardPixmap pixmap,
                           const QString &hint, QSize size)
{
    auto *b = NoFocus(Named(new QToolButton(parent), name));
    b->setIcon(parent->style()->standardIcon(pixmap));
    b->setToolTip(hint);
    b->setFixedSize(size);
    b->setAutoRaise(size.width() < 30);
    return b;
}

} // namespace

TfrmMain::TfrmMain(const QString &appFolder, TMessageService *messages, QWidget *parent)
    : QWidget(parent), m_appFolder(appFolder)
{
    setObjectName(QStringLiteral("frmMain"));
    if (!m_appFolder.isEmpty() && !m_appFolder.endsWith(u'/'))
        m_appFolder += u'/';
    if (messages) {
        msgMain = messages;
    } else {
        m_ownMessages = std::make_unique<TSkinMessage>(this);
        msgMain = m_ownMessages.get();
    }
    ErrorReporter::SetMessageService(msgMain);

    BuildControls();
    ConnectHandlers();
    new TLoginController(*this, *msgMain);
    FormCreate();
    SetUpRemindersAndLayout();
    new TPasswordFieldController(*this, *msgMain, m_windowState, AppFolder());
}

TfrmMain::~TfrmMain()
{
    FormDestroy();
    if (ErrorReporter::MessageService() == msgMain)
        ErrorReporter::SetMessageService(nullptr);
}

void TfrmMain::ApplyBuiltInSkin()
{
    // The skin is compiled into this static library; its resource must be
    // registered by name or the linker leaves it out.
    Q_INIT_RESOURCE(app);
    QFile skin(QStringLiteral(":/skin/tarnwick.qss"));
    if (skin.open(QIODevice::ReadOnly))
        qApp->setStyleSheet(QString::fromUtf8(skin.readAll()));
}

void TfrmMain::BuildControls()
{
    setWindowTitle(QStringLiteral("Tarnwick"));
    resize(929, 692);
    // The toolbar overflows and the splitter's panes may be made narrow, so
    // nothing else keeps the window wide enough for the item editor's labels
    // and buttons beside the tree at its first width; the height is the
    // layout's. A narrower screen gets its width.
    int smallestWidth = 720;
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        smallestWidth = std::min(smallestWidth, screen->availableGeometry().width());
    setMinimumWidth(smallestWidth);

    ImageList1 = {style()->standardIcon(QStyle::SP_DirIcon), style()->standardIcon(QStyle::SP_FileIcon)};

    Timer1 = Named(new QTimer(this), "Timer1");
    Timer1->setInterval(2000);
    Timer1->setSingleShot(true); // one tick per enabling

    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    pgcPrinc = Named(new QTabWidget(this), "pgcPrinc");
    root->addWidget(pgcPrinc);

    stsWelcome = Named(new QWidget, "stsWelcome");
    auto *welcomeLayout = new QVBoxLayout(stsWelcome);
    welcomeLayout->setContentsMargins(0, 0, 0, 0);
    welcomeLayout->setSpacing(0);
    prfWelcome = Named(new TDocumentView(stsWelcome), "prfWelcome");
    welcomeLayout->addWidget(prfWelcome);
    auto *welcomeBar = Named(new QFrame(stsWelcome), "bsSkinPanel6");
    welcomeBar->setFixedHeight(39);
    auto *welcomeBarLayout = new QHBoxLayout(welcomeBar);
    welcomeBarLayout->addStretch();
    bsSkinButton1 = Named(new QPushButton(QStringLiteral("Thanks, just show me the main application"), welcomeBar),
                          "bsSkinButton1");
    // The page's default button: Enter anywhere on the page presses it.
    bsSkinButton1->setDefault(true);
    for (const QKeySequence &key : {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}) {
        auto *shortcut = new QShortcut(key, stsWelcome);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, bsSkinButton1, &QPushButton::click);
    }
    welcomeBarLayout->addWidget(bsSkinButton1);
    welcomeBarLayout->addStretch();
    welcomeLayout->addWidget(welcomeBar);
    pgcPrinc->addTab(stsWelcome, QStringLiteral("Welcome"));

    stsMain = BuildMainPage();
    pgcPrinc->addTab(stsMain, QStringLiteral("Main"));

    bsSkinPopupMenu1 = Named(new QMenu(this), "bsSkinPopupMenu1");
    AddCategory1 = Named(bsSkinPopupMenu1->addAction(QStringLiteral("Add Category")), "AddCategory1");
    EditCategory1 = Named(bsSkinPopupMenu1->addAction(QStringLiteral("EditCategory")), "EditCategory1");
    DeleteCategory1 = Named(bsSkinPopupMenu1->addAction(QStringLiteral("Delete Category")), "DeleteCategory1");
    N1 = Named(bsSkinPopupMenu1->addSeparator(), "N1");
    AddItem1 = Named(bsSkinPopupMenu1->addAction(QStringLiteral("Add Item")), "AddItem1");
    DeleteItem1 = Named(bsSkinPopupMenu1->addAction(QStringLiteral("Delete Item")), "DeleteItem1");
}

QWidget *TfrmMain::BuildMainPage()
{
    auto *page = Named(new QWidget, "stsMain");
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(BuildToolbar());
    layout->addWidget(BuildBanner());

    bsSkinSplitter1 = Named(new QSplitter(Qt::Horizontal, page), "bsSkinSplitter1");
    bsSkinSplitter1->setHandleWidth(10);
    bsSkinSplitter1->setChildrenCollapsible(false);

    bsSkinGroupBox1 = Named(new QGroupBox(QStringLiteral("Categories")), "bsSkinGroupBox1");
    bsSkinGroupBox1->setMinimumWidth(10);
    auto *groupLayout = new QVBoxLayout(bsSkinGroupBox1);
    groupLayout->setContentsMargins(4, 4, 4, 4);
    m_folder = new TBookFolder(m_appFolder, this);
    connect(m_folder, &TBookFolder::backgroundSaveFinished, this, &TfrmMain::BookSaved);
    m_book = &m_folder->Book();
    m_book->SetIcons(ImageList1.value(0), ImageList1.value(1));
    tvwMain = Named(new TCategoryTree(bsSkinGroupBox1), "tvwMain");
    tvwMain->SetBook(m_book);
    tvwMain->setContextMenuPolicy(Qt::CustomContextMenu);
    groupLayout->addWidget(tvwMain);
    bsSkinSplitter1->addWidget(bsSkinGroupBox1);

    auto *right = Named(new QWidget, "panRight");
    right->setMinimumWidth(10);
    auto *rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->setSpacing(0);
    rightLayout->addWidget(BuildItemEditor());
    rightLayout->addWidget(BuildBrowserBar());
    rightLayout->addWidget(CreateWebBrowser(right), 1);
    bsSkinSplitter1->addWidget(right);
    bsSkinSplitter1->setStretchFactor(0, 0);
    bsSkinSplitter1->setStretchFactor(1, 1);
    bsSkinSplitter1->setSizes({209, 929 - 209 - 10});
    layout->addWidget(bsSkinSplitter1, 1);

    layout->addWidget(BuildLinkBar());
    return page;
}

QFrame *TfrmMain::BuildToolbar()
{
    bsSkinPanel1 = Named(new QFrame, "bsSkinPanel1");
    bsSkinPanel1->setFixedHeight(43);
    // Buttons that do not fit go into the row's "»" menu rather than widen
    // the window past the screen (a large scale factor, a small screen).
    auto *l = new TOverflowRow(bsSkinPanel1);
    l->setContentsMargins(6, 4, 6, 4);
    btnAddCategory = TextButton(bsSkinPanel1, "btnAddCategory", QStringLiteral("Add Category"));
    btnAddItem = TextButton(bsSkinPanel1, "btnAddItem", QStringLiteral("Add Item"));
    btnMakeMoney = TextButton(bsSkinPanel1, "btnMakeMoney", QStringLiteral("Make Money"));
    btnAbout = TextButton(bsSkinPanel1, "btnAbout", QStringLiteral("About"));
    for (QPushButton *b : {btnAddCategory, btnAddItem, btnMakeMoney, btnAbout})
        l->addWidget(b);
    // Commands beyond these buttons go into its menu (main_window_menu.cpp),
    // so that the row does not grow with them.
    btnMenu = NoFocus(Named(new QToolButton(bsSkinPanel1), "btnMenu"));
    l->addWidget(btnMenu);
    l->addStretch();
    const QSize pictureSize(41, 34);
    btnNews = PictureButton(bsSkinPanel1, "btnNews", QStyle::SP_MessageBoxInformation, QStringLiteral("Check News"),
                            pictureSize);
    btnUpdate = PictureButton(bsSkinPanel1, "btnUpdate", QStyle::SP_BrowserReload, QStringLiteral("Check Updates"),
                              pictureSize);
    btnHelp = PictureButton(bsSkinPanel1, "btnHelp", QStyle::SP_MessageBoxQuestion, QStringLiteral("Help"),
                            pictureSize);
    for (QToolButton *b : {btnNews, btnUpdate, btnHelp})
        l->addWidget(b);
    return bsSkinPanel1;
}

QFrame *TfrmMain::BuildBanner()
{
    panBanner = Named(new QFrame, "panBanner");
    panBanner->setFixedHeight(65);
    imgBanner = Named(new QLabel(panBanner), "imgBanner");
    imgBanner->setGeometry(0, 0, 468, 60);
    gifBanner = Named(new QLabel(panBanner), "gifBanner");
    gifMovie = Named(new QMovie(gifBanner), "gifMovie");
    gifBanner->setMovie(gifMovie);
    gifBanner->hide();
    return panBanner;
}

QFrame *TfrmMain::BuildItemEditor()
{
    m_editor = new TItemEditor(msgMain);
    return m_editor;
}

QFrame *TfrmMain::BuildBrowserBar()
{
    bsSkinPanel5 = Named(new QFrame, "bsSkinPanel5");
    bsSkinPanel5->setFixedHeight(37);
    auto *l = new QHBoxLayout(bsSkinPanel5);
    l->setContentsMargins(6, 4, 6, 4);
    l->setSpacing(4);
    const QSize flat(25, 25);
    bsSkinSpeedButton1 = PictureButton(bsSkinPanel5, "bsSkinSpeedButton1", QStyle::SP_ArrowBack,
                                       QStringLiteral("Back"), flat);
    bsSkinSpeedButton2 = PictureButton(bsSkinPanel5, "bsSkinSpeedButton2", QStyle::SP_ArrowForward,
                                       QStringLiteral("Foward"), flat);
    bsSkinSpeedButton4 = PictureButton(bsSkinPanel5, "bsSkinSpeedButton4", QStyle::SP_BrowserReload,
                                       QStringLiteral("Refresh"), flat);
    bsSkinSpeedButton3 = PictureButton(bsSkinPanel5, "bsSkinSpeedButton3", QStyle::SP_BrowserStop,
                                       QStringLiteral("Stop"), flat);
    for (QToolButton *b : {bsSkinSpeedButton1, bsSkinSpeedButton2, bsSkinSpeedButton4, bsSkinSpeedButton3})
        l->addWidget(b);
    bsSkinStdLabel8 = Named(new QLabel(QStringLiteral("URL:"), bsSkinPanel5), "bsSkinStdLabel8");
    l->addWidget(bsSkinStdLabel8);
    edtURL = Named(new QLineEdit(bsSkinPanel5), "edtURL");
    l->addWidget(edtURL, 1);
    auto *pageHost = Named(new QLabel(bsSkinPanel5), "lblPageHost");
    pageHost->setTextFormat(Qt::PlainText);
    pageHost->setToolTip(QStringLiteral("The host of the page shown"));
    l->addWidget(pageHost);
    bsSkinButton2 = TextButton(bsSkinPanel5, "bsSkinButton2", QStringLiteral("Go!"));
    l->addWidget(bsSkinButton2);
    return bsSkinPanel5;
}

QFrame *TfrmMain::BuildLinkBar()
{
    panLinks = Named(new QFrame, "panLinks");
    panLinks->setFixedHeight(36);
    auto *l = new QHBoxLayout(panLinks);
    l->setContentsMargins(8, 0, 8, 0);
    lblLink1URL = Named(new TLinkLabel(panLinks), "lblLink1URL");
    lblLink2URL = Named(new TLinkLabel(panLinks), "lblLink2URL");
    lblLink2URL->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Design-time placeholders until the publisher's settings replace them.
    for (TLinkLabel *link : {lblLink1URL, lblLink2URL}) {
        link->setText(QStringLiteral("Google"));
        link->SetURL("https://www.google.com/");
    }
    l->addWidget(lblLink1URL);
    l->addStretch();
    l->addWidget(lblLink2URL);
    return panLinks;
}

void TfrmMain::ConnectHandlers()
{
    connect(bsSkinButton1, &QPushButton::clicked, this, Guarded(this, &TfrmMain::bsSkinButton1Click));
    ConnectBookHandlers();
    ConnectWebHandlers();
    ConnectBrandingHandlers();
    ConnectServiceHandlers();
    ConnectEditingHandlers();
    ConnectCsvHandlers();
    ConnectCommandHandlers();
    ConnectMenuHandlers();
    ConnectSearchHandlers();
    new TBookLockController({this, pgcPrinc, m_folder, m_editor, edtSearch, edtURL, EmbeddedWB1, Clipboard, msgMain,
                             mnuMain, [this] { return m_commands->SettleTyping(); },
                             [this] {
                                 m_editor->Clear();
                                 m_editor->SetFieldsEnabled(true);
                                 UpdateItemFieldsReadOnly();
                                 TellLoadDamage();
                             }},
                            this);
}

void TfrmMain::FormCreate()
{
    ApplyBuiltInSkin();
    gifBanner->setGeometry(imgBanner->geometry());
    ErrorReporter::Run([this] { LoadBrandingSettings(); });
    if (BrandingSettings().WelcomePage.isEmpty())
        Timer1->start();
    m_book->Clear();
    // A failure while reading the categories leaves the items unread; the
    // window opens with what was loaded so far.
    ErrorReporter::Run([this] { LoadBook(); });
    ErrorReporter::Run([this] { TellLoadDamage(); });
    CentreOnScreen(this);
}

void TfrmMain::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    KeepOnScreen(this);
    // A window restored from the task bar is shown by the window system; that
    // is no new start and must not bring the welcome page back.
    if (event->spontaneous())
        return;
    ErrorReporter::Run([this] { FormShow(); });
}

void TfrmMain::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    ErrorReporter::Run([this] { FormResize(); });
}

void TfrmMain::closeEvent(QCloseEvent *event)
{
    // A failed store on Yes keeps the window open, like a Cancel.
    bool mayClose = false;
    ErrorReporter::Run([&] { mayClose = FormCloseQuery(); });
    if (!mayClose) {
        event->ignore();
        return;
    }
    ErrorReporter::Run([this] { FormClose(); });
    ErrorReporter::Run([this] { SaveWindowLayout(); });
    event->accept();
}

void TfrmMain::FormShow()
{
    for (int i = 0; i < pgcPrinc->count(); ++i) {
        pgcPrinc->setCurrentIndex(i);
        QCoreApplication::processEvents();
    }
    pgcPrinc->setCurrentIndex(0);
    // The tabs are never shown: the bar is hidden as a whole, because hiding
    // a single tab would hide its page too.
    pgcPrinc->tabBar()->hide();
    if (!BrandingSettings().WelcomePage.isEmpty()) {
        pgcPrinc->setCurrentIndex(0);
        ShowWelcomePage();
    } else if (stsWelcome) {
        pgcPrinc->removeTab(pgcPrinc->indexOf(stsWelcome));
        delete stsWelcome;
    }
    pgcPrinc->setCurrentIndex(0);
    CentreBanner();
}

void TfrmMain::FormResize()
{
    CentreBanner();
}

void TfrmMain::CentreBanner()
{
    // Each halving truncates on its own operand; a picture larger than the
    // bar gets a negative offset and is clipped equally on both sides.
    for (QWidget *banner : {static_cast<QWidget *>(imgBanner), static_cast<QWidget *>(gifBanner)})
        banner->move(panBanner->width() / 2 - banner->width() / 2,
                     panBanner->height() / 2 - banner->height() / 2);
}

void TfrmMain::bsSkinButton1Click()
{
    pgcPrinc->setCurrentIndex(1);
    if (!BrandingSettings().WelcomePage.isEmpty())
        Timer1->start();
}

void TfrmMain::FormClose()
{
    // The book's last write is committed (or its failure told) before the
    // window goes.
    WaitForSaves();
    m_services->WindowClosing();
    QCoreApplication::processEvents();
}

void TfrmMain::FormDestroy()
{
    m_book->Clear();
}
