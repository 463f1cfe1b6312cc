#pragma once

#include <QDialog>

#include "settings/branding_settings.h"

class QLabel;
class QFrame;
class QPlainTextEdit;
class QPushButton;
class QScrollBar;

// The About box: name, version, copyright line and the publisher's text.
// Created by the handler that shows it, with the values current at that time.
class TfrmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmAbout(const TBrandingSettings &settings, QWidget *parent = nullptr);

    QLabel *lblProductName = nullptr;
    QLabel *lblProductVersion = nullptr;
    QLabel *lblCopyright = nullptr;
    QFrame *bsSkinPanel1 = nullptr;
    QPlainTextEdit *memAbout = nullptr;
    QScrollBar *bsSkinScrollBar1 = nullptr;
    QPushButton *editAbout = nullptr;

    void FormCreate();
    void editAboutClick();

private:
    TBrandingSettings m_settings;
};
