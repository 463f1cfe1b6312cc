#pragma once

#include "app/main_window.h"
#include "settings/branding_settings.h"
#include "support/find_child.h"
#include "support/scripted_messages.h"
#include "support/temp_app_folder.h"

#include <QTest>
#include <QTimer>

#include <memory>

// The main window on a book written into a throw-away folder: built with the
// default branding and scripted messages, the news timer stopped, shown and
// active, so that keys and shortcuts reach it.
struct TActiveWindow
{
    TActiveWindow(const QByteArray &categories, const QByteArray &items)
    {
        BrandingSettings() = TBrandingSettings{};
        dir.Write("categories.dat", categories);
        dir.Write("items.dat", items);
        w = std::make_unique<TfrmMain>(dir.Path(), &msgs);
        Child<QTimer>(w, "Timer1")->stop();
        w->show();
        // The display's focus may still be settling from the suite before;
        // asking again is what a user's second click would do.
        bool active = false;
        for (int attempt = 0; attempt < 3 && !active; ++attempt) {
            w->activateWindow();
            active = QTest::qWaitForWindowActive(w.get(), 2000);
        }
        if (!active)
            qFatal("window not active");
    }

    TTempAppFolder dir;
    TScriptedMessages msgs;
    std::unique_ptr<TfrmMain> w;
};
