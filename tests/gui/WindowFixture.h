// Starts the real main window offscreen with scripted dialogs, a fresh settings folder and a
// program folder of the test's own.
#pragma once

#include "core/settings/AppSettings.h"
#include "gui/MainWindow.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace kestrix::test {

class WindowTest : public ::testing::Test {
protected:
    TempDir programDir{"prog"};
    TempDir configDir{"config"};
    ScriptedDialogs dialogs;
    std::unique_ptr<gui::MainWindow> window;
    // Stands in for the desktop when set before start().
    std::function<bool(const std::string& url)> openUrl;

    void SetUp() override { setenv("XDG_CONFIG_HOME", configDir.path().c_str(), 1); }

    std::string iniPath() const { return configDir.path() + "/kestrix/ksx.ini"; }

    gui::MainWindow& start(QStringList arguments = {}, const Clock* clock = nullptr) {
        gui::StartOptions o;
        o.programDir = QString::fromStdString(programDir.path());
        o.arguments = std::move(arguments);
        o.dialogs = &dialogs;
        o.clock = clock;
        o.startClock = false;
        o.openUrl = openUrl;
        window = std::make_unique<gui::MainWindow>(o);
        return *window;
    }

    template <typename T> T* find(const char* name) {
        T* w = window->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    // Sends a close request as the window system would; answers whether the window accepted.
    bool requestClose() {
        QCloseEvent event;
        QApplication::sendEvent(window.get(), &event);
        return event.isAccepted();
    }
};

} // namespace kestrix::test
