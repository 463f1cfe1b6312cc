#pragma once

#include <QObject>
#include <QString>

class TBookFolder;
class TCategoryTree;

// The book's tree as the user left it in this folder (tarnwick.ini): the
// open categories and the selected node come back when the window is first
// shown, and are kept when it is closed. A protected book's names stay out
// of the plain file: for it nothing is remembered, and what a plain book of
// the folder left there is forgotten at the next close.
class TTreeMemory : public QObject
{
    Q_OBJECT
public:
    // `window` is watched for its first showing and its closing.
    TTreeMemory(QWidget *window, TCategoryTree *tree, TBookFolder *folder, const QString &appFolder);

    void Restore();
    void Keep();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool Protected() const;

    TCategoryTree *m_tree;
    TBookFolder *m_folder;
    QString m_appFolder;
    bool m_restored = false;
};
