#pragma once

#include "util/string_list.h"

#include <QDialog>

class QFrame;
class QPushButton;
class QSplitter;
class QTreeWidgetItem;
class TDocumentView;
class THttpClient;
class TGuardedTreeWidget;
class TMessageService;

// The news window: the entries of the last "Check News" above, the body of
// the selected one below. Selecting an entry fetches its body and records it
// as the last news read when it is the newest read so far.
class TfrmNews : public QDialog
{
    Q_OBJECT
public:
    TfrmNews(THttpClient &client, TMessageService &messages, const QString &appFolder,
             const TStringList &newsList, QWidget *parent = nullptr);

    void FormShow();
    void lvwItemsChange();
    void lvwItemsChanging(bool &allowChange) const;
    void btnExitClick();

    // True while a body is being fetched; the selection cannot move then.
    bool Busy = false;

    QFrame *bsSkinPanel1 = nullptr;
    TGuardedTreeWidget *lvwItems = nullptr;
    QSplitter *bsSkinSplitter1 = nullptr;
    TDocumentView *prfEditorNews = nullptr;
    QFrame *bsSkinPanel3 = nullptr;
    QPushButton *btnExit = nullptr;

    // The news identifier kept with a row (never shown in a column).
    static QByteArray RowNewsId(const QTreeWidgetItem *row);

signals:
    // A selected entry's body has been fetched and shown, or failed to be.
    void entryDone();

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void ShowEntry(const QByteArray &newsId, const QByteArray &body);

    THttpClient &m_client;
    TMessageService &m_messages;
    QString m_appFolder;
    TStringList m_newsList;
    bool m_filled = false;
    QPointF m_exitPlace; // btnExit's centre relative to its panel
};
