#pragma once

#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class TMessageService;
class TUpdateJob;

// The updater's only window: what is being installed and how far it got,
// with Cancel until the files are being swapped in.
class TUpdaterWindow : public QWidget
{
    Q_OBJECT
public:
    TUpdaterWindow(TUpdateJob *job, TMessageService &messages, QWidget *parent = nullptr);

    QLabel *lblVersion;
    QPlainTextEdit *memNotes;
    QLabel *lblFile;
    QProgressBar *prgBytes;
    QPushButton *btnCancel;

signals:
    // The run is over and the user has been told how it went.
    void done(bool ok);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void OnFinished(bool ok, const QString &message);

    TUpdateJob *m_job;
    TMessageService &m_messages;
};
