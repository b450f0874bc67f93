// Shared set-up of the main window tests: a private profile folder, a private autostart
// folder, a document whose project state the test sets, and waiting on the event loop.
#pragma once

#include "docview/document.h"
#include "platform/settings/profile.h"
#include "ui/mainframe/main_wnd.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

// Runs the event loop until `done` holds; false after the deadline.
template <typename Predicate>
bool WaitFor(Predicate done, int timeoutMs = 10000) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        // The window's 250 ms and the event log's 100 ms timers guarantee events arrive.
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

class FakeDocument : public Document {
public:
    bool IsBusy() const override { return busy; }
    int ServerCount() const override { return servers; }
    void* CurrentServer() const override { return server; }
    void* CurrentGroup() const override { return group; }

    bool busy = false;
    int servers = 0;
    void* server = nullptr;
    void* group = nullptr;
};

class MainFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        Profile::UseFolderForTesting(Path("profile"));
        QDir().mkpath(QString::fromStdString(Path("xdg/autostart")));
        ::setenv("XDG_CONFIG_DIRS", Path("xdg").c_str(), 1);
    }
    void TearDown() override { ::unsetenv("XDG_CONFIG_DIRS"); }

    std::string Path(const std::string& name) const {
        return dir_.filePath(QString::fromStdString(name)).toStdString();
    }

    std::unique_ptr<CVMainWnd> MakeWindow() {
        return std::make_unique<CVMainWnd>(document_, [this](const std::string& text) { messages_.push_back(text); });
    }

    QTemporaryDir dir_;
    FakeDocument document_;
    std::vector<std::string> messages_;
};
