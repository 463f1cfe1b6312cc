#include "news_window.h"

#include "news_announcement.h"
#include "news_service.h"
#include "util/window_place.h"
#include "settings/branding_parser.h"
#include "settings/branding_settings.h"
#include "settings/last_news.h"
#include "util/codepage.h"
#include "util/error_reporter.h"
#include "util/guarded_tree_widget.h"
#include "util/document_view.h"
#include "util/text_utils.h"

#include <QFrame>
#include <QHeaderView>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

namespace {
constexpr int kIdRole = Qt::UserRole;
constexpr char kNewsTarget[] = "UA";
} // namespace

TfrmNews::TfrmNews(THttpClient &client, TMessageService &messages, const QString &appFolder,
                   const TStringList &newsList, QWidget *parent)
    : QDialog(parent), m_client(client), m_messages(messages), m_appFolder(appFolder), m_newsList(newsList)
{
    setObjectName(QStringLiteral("frmNews"));
    setWindowTitle(QStringLiteral("News"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    resize(682, 411);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    bsSkinSplitter1 = new QSplitter(Qt::Vertical, this);
    bsSkinSplitter1->setObjectName(QStringLiteral("bsSkinSplitter1"));
    bsSkinSplitter1->setHandleWidth(10);
    bsSkinSplitter1->setChildrenCollapsible(false);

    bsSkinPanel1 = new QFrame;
    bsSkinPanel1->setObjectName(QStringLiteral("bsSkinPanel1"));
    bsSkinPanel1->setFrameShape(QFrame::StyledPanel);
    bsSkinPanel1->setMinimumHeight(10);
    auto *listLayout = new QVBoxLayout(bsSkinPanel1);
    listLayout->setContentsMargins(1, 1, 1, 1);
    lvwItems = new TGuardedTreeWidget(bsSkinPanel1);
    lvwItems->setObjectName(QStringLiteral("lvwItems"));
    lvwItems->setColumnCount(2);
    lvwItems->setHeaderLabels({QStringLiteral("News Title"), QStringLiteral("Published")});
    lvwItems->setRootIsDecorated(false);
    lvwItems->setItemsExpandable(false);
    lvwItems->setUniformRowHeights(true);
    lvwItems->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvwItems->setSelectionMode(QAbstractItemView::SingleSelection);
    lvwItems->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvwItems->setSortingEnabled(false);
    lvwItems->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    lvwItems->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    QHeaderView *header = lvwItems->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    header->setSectionResizeMode(1, QHeaderView::Fixed);
    header->resizeSection(1, 160);
    // The selection stays visible when the list loses the focus.
    QPalette pal = lvwItems->palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        pal.setColor(QPalette::Inactive, role, pal.color(QPalette::Active, role));
    lvwItems->setPalette(pal);
    listLayout->addWidget(lvwItems);
    bsSkinSplitter1->addWidget(bsSkinPanel1);

    prfEditorNews = new TDocumentView;
    prfEditorNews->setObjectName(QStringLiteral("prfEditorNews"));
    prfEditorNews->setMinimumHeight(10);
    bsSkinSplitter1->addWidget(prfEditorNews);
    bsSkinSplitter1->setStretchFactor(0, 0);
    bsSkinSplitter1->setStretchFactor(1, 1);
    bsSkinSplitter1->setSizes({105, 411 - 105 - 10 - 41});
    layout->addWidget(bsSkinSplitter1, 1);

    bsSkinPanel3 = new QFrame(this);
    bsSkinPanel3->setObjectName(QStringLiteral("bsSkinPanel3"));
    bsSkinPanel3->setFixedHeight(41);
    btnExit = new QPushButton(QStringLiteral("Close"), bsSkinPanel3);
    btnExit->setObjectName(QStringLiteral("btnExit"));
    btnExit->setFixedSize(97, 20);
    btnExit->setAutoDefault(false);
    // Not anchored: the button keeps its relative place as the window resizes.
    m_exitPlace = QPointF(0.5, 0.5);
    layout->addWidget(bsSkinPanel3);

    lvwItems->SetChangingGate([this](QTreeWidgetItem *, QTreeWidgetItem *) {
        bool allow = true;
        lvwItemsChanging(allow);
        return allow;
    });
    connect(lvwItems, &TGuardedTreeWidget::selectedNodeChanged, this, Guarded(this, &TfrmNews::lvwItemsChange));
    connect(btnExit, &QPushButton::clicked, this, Guarded(this, &TfrmNews::btnExitClick));

    CentreOnScreen(this);
}

QByteArray TfrmNews::RowNewsId(const QTreeWidgetItem *row)
{
    return row ? row->data(0, kIdRole).toByteArray() : QByteArray();
}

void TfrmNews::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    ErrorReporter::Run([this] { FormShow(); });
}

void TfrmNews::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    const QSize panel(width(), bsSkinPanel3->height());
    btnExit->move(int(panel.width() * m_exitPlace.x()) - btnExit->width() / 2,
                  int(panel.height() * m_exitPlace.y()) - btnExit->height() / 2);
}

void TfrmNews::FormShow()
{
    // A window shown again keeps its rows.
    if (m_filled)
        return;
    m_filled = true;
    TStringList fields;
    for (const QByteArray &entry : m_newsList) {
        SplitByDelimiter('^', entry, fields);
        // An entry without a title cannot make a row; one without a date
        // shows an empty "Published".
        if (fields.size() < 2)
            continue;
        auto *row = new QTreeWidgetItem;
        row->setText(0, FromAnsi(fields.value(1)));
        row->setText(1, FromAnsi(fields.value(2)));
        row->setData(0, kIdRole, fields.value(0));
        lvwItems->addTopLevelItem(row);
    }
}

void TfrmNews::lvwItemsChanging(bool &allowChange) const
{
    allowChange = !Busy;
}

void TfrmNews::lvwItemsChange()
{
    // A selection change that slips past the gate while a body is fetched
    // (a row deselected and selected again) starts no second request.
    if (Busy)
        return;
    // The focus alone can make a row current without selecting it; only a
    // selected row is fetched.
    QTreeWidgetItem *row = lvwItems->selectedItems().value(0);
    if (!row)
        return;
    const QByteArray newsId = RowNewsId(row);

    const TNewsSite site = NewsSiteOf(BrandingSettings());
    if (site.PublID.isEmpty() || site.ProductType.isEmpty())
        return;

    Busy = true;
    for (QWidget *w : {static_cast<QWidget *>(lvwItems), static_cast<QWidget *>(prfEditorNews),
                       static_cast<QWidget *>(this)})
        w->setCursor(Qt::WaitCursor);
    // A window closed meanwhile is gone and gets nothing.
    NewsService::FetchNewsDetails(
        m_client, m_messages, site.PublID, BrandingSettings().BranderCode, site.ProductType, kNewsTarget, newsId,
        this, [this, newsId](bool ok, const QByteArray &body) {
            // Busy and the hourglass end on every path, errors included.
            lvwItems->unsetCursor();
            unsetCursor();
            prfEditorNews->unsetCursor();
            Busy = false;
            if (ok)
                ErrorReporter::Run([&] { ShowEntry(newsId, body); });
            emit entryDone();
        });
}

void TfrmNews::ShowEntry(const QByteArray &newsId, const QByteArray &body)
{
    prfEditorNews->SetHtml(FromAnsi(body));
    // The marker keeps the newest entry read, numbered as the news tick
    // numbers it: going back to an older entry must not bring the balloon of
    // a newer one back. A marker that cannot be written only means the
    // balloon comes again.
    if (NewsService::NewsNumber(newsId) > NewsService::NewsNumber(ReadLastNewsId(m_appFolder)))
        WriteLastNewsId(m_appFolder, newsId);
}

void TfrmNews::btnExitClick()
{
    accept();
}
