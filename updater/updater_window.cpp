#include "updater_window.h"

#include "update_job.h"
#include "util/message_service.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

TUpdaterWindow::TUpdaterWindow(TUpdateJob *job, TMessageService &messages, QWidget *parent)
    : QWidget(parent), m_job(job), m_messages(messages)
{
    setObjectName(QStringLiteral("frmUpdater"));
    setWindowTitle(QStringLiteral("Tarnwick Updater"));
    lblVersion = new QLabel(QStringLiteral("Checking the update…"), this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    memNotes = new QPlainTextEdit(this);
    memNotes->setObjectName(QStringLiteral("memNotes"));
    memNotes->setReadOnly(true);
    lblFile = new QLabel(this);
    lblFile->setObjectName(QStringLiteral("lblFile"));
    prgBytes = new QProgressBar(this);
    prgBytes->setObjectName(QStringLiteral("prgBytes"));
    prgBytes->setRange(0, 0);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblVersion);
    layout->addWidget(memNotes, 1);
    layout->addWidget(lblFile);
    layout->addWidget(prgBytes);
    layout->addLayout(buttons);
    resize(480, 360);

    connect(btnCancel, &QPushButton::clicked, m_job, &TUpdateJob::Cancel);
    connect(m_job, &TUpdateJob::described, this, [this](const QString &version, const QString &notes) {
        lblVersion->setText(QStringLiteral("Updating to version %1").arg(version));
        memNotes->setPlainText(notes);
    });
    connect(m_job, &TUpdateJob::progress, this, [this](qint64 done, qint64 total, const QString &file) {
        // In thousandths: byte counts may exceed the bar's int range.
        prgBytes->setRange(0, 1000);
        prgBytes->setValue(total > 0 ? int(qMin(done, total) * 1000 / total) : 1000);
        lblFile->setText(file.isEmpty() ? QString() : QStringLiteral("Downloading %1").arg(file));
    });
    connect(m_job, &TUpdateJob::waitingForProgram, this, [this] {
        lblFile->setText(QStringLiteral("Waiting for the program to close…"));
    });
    connect(m_job, &TUpdateJob::finished, this, &TUpdaterWindow::OnFinished);
}

void TUpdaterWindow::closeEvent(QCloseEvent *event)
{
    // Closing the window is a cancel; while files are swapped it has to wait.
    if (!m_job->IsFinished()) {
        m_job->Cancel();
        if (!m_job->IsFinished()) {
            event->ignore();
            return;
        }
    }
    event->accept();
}

void TUpdaterWindow::OnFinished(bool ok, const QString &message)
{
    btnCancel->setEnabled(false);
    if (!ok)
        m_messages.MessageDlg(message, TMsgDlgType::mtWarning, mbOK);
    emit done(ok);
}
