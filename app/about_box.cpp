#include "about_box.h"

#include "util/window_place.h"
#include "util/codepage.h"
#include "util/error_reporter.h"
#include "util/string_list.h"

#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {

QLabel *PlainLabel(QWidget *parent, const char *name, QPoint at)
{
    auto *l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    // The publisher's texts are shown as they are, never as markup.
    l->setTextFormat(Qt::PlainText);
    l->setGeometry(at.x(), at.y(), 350, 20);
    return l;
}

} // namespace

TfrmAbout::TfrmAbout(const TBrandingSettings &settings, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), m_settings(settings)
{
    setObjectName(QStringLiteral("frmAbout"));
    setFixedSize(368, 211);
    setModal(true);
    CentreOnScreen(this);

    lblProductName = PlainLabel(this, "lblProductName", {9, 7});
    QFont bold = lblProductName->font();
    bold.setBold(true);
    lblProductName->setFont(bold);
    lblProductVersion = PlainLabel(this, "lblProductVersion", {9, 32});
    lblCopyright = PlainLabel(this, "lblCopyright", {9, 57});

    bsSkinPanel1 = new QFrame(this);
    bsSkinPanel1->setObjectName(QStringLiteral("bsSkinPanel1"));
    bsSkinPanel1->setGeometry(8, 88, 348, 71);
    bsSkinPanel1->setFrameShape(QFrame::StyledPanel);
    auto *panelLayout = new QVBoxLayout(bsSkinPanel1);
    panelLayout->setContentsMargins(1, 1, 1, 1);
    memAbout = new QPlainTextEdit(bsSkinPanel1);
    memAbout->setObjectName(QStringLiteral("memAbout"));
    memAbout->setReadOnly(true);
    memAbout->setFrameShape(QFrame::NoFrame);
    memAbout->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memAbout->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    bsSkinScrollBar1 = memAbout->verticalScrollBar();
    bsSkinScrollBar1->setObjectName(QStringLiteral("bsSkinScrollBar1"));
    panelLayout->addWidget(memAbout);

    editAbout = new QPushButton(QStringLiteral("Ok"), this);
    editAbout->setObjectName(QStringLiteral("editAbout"));
    editAbout->setGeometry(129, 171, 87, 21);
    editAbout->setDefault(true);
    connect(editAbout, &QPushButton::clicked, this, Guarded(this, &TfrmAbout::editAboutClick));

    FormCreate();
}

void TfrmAbout::FormCreate()
{
    const QString name = FromAnsi(m_settings.ApplicationName);
    setWindowTitle(QStringLiteral("About ") + name + QStringLiteral("..."));
    lblProductName->setText(name);
    lblProductVersion->setText(QStringLiteral("Product Version: ") + QString::fromLatin1(AppVersion));
    lblCopyright->setText(QStringLiteral("Copyright \u00A9 ") + FromAnsi(m_settings.CopyrightYears) + u' ' +
                          FromAnsi(m_settings.CopyrightCompany));
    QStringList lines;
    for (const QByteArray &line : SplitLines(m_settings.AboutText))
        lines << FromAnsi(line);
    memAbout->setPlainText(lines.join(u'\n'));
}

void TfrmAbout::editAboutClick()
{
    accept();
}
