#pragma once
// The application window in a scratch working folder (it reads and writes
// rfIOConfig.mat there) with scripted dialogs, and helpers that drive it as
// a user does: typing into fields, choosing list items with the keyboard,
// clicking buttons.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <filesystem>
#include <memory>

#include "app/gui/main_window.h"
#include "lib/dialogs.h"
#include "app/app_state.h"
#include "support/files.h"

namespace bt::gui::testing_support {

namespace fs = std::filesystem;

class AppWindowTest : public ::testing::Test {
protected:
    void SetUp() override { start('c'); }
    void TearDown() override { stop(); }

    void start(char platform, const std::string& file = {}) {
        previousDir_ = fs::current_path();
        fs::current_path(scratch_.path());
        openWindow(platform, file);
    }
    void stop() {
        win.reset();
        setDialogs(nullptr);
        fs::current_path(previousDir_);
    }
    void restart(char platform, const std::string& file = {}) {
        win.reset();
        openWindow(platform, file);
    }
    // A main window with fresh scripted dialogs, in the scratch folder.
    void openWindow(char platform, const std::string& file) {
        dialogs = std::make_shared<PresetDialogs>();
        setDialogs(dialogs);
        StartOptions o;
        o.platform = platform;
        o.showSplash = false;
        o.settingsFile = file;
        win = std::make_unique<MainWindow>(o);
    }

    template <class T>
    T* control(const char* tag) {
        return win->handles().get<T>(tag);
    }
    QString text(const char* tag) {
        if (auto* e = qobject_cast<QLineEdit*>(win->handles().object(tag))) return e->text();
        return control<QLabel>(tag)->text();
    }
    // Replaces the field's text by typing, then Return.
    void type(const char* tag, const QString& what) {
        QLineEdit* e = control<QLineEdit>(tag);
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Backspace);
        QTest::keyClicks(e, what);
        QTest::keyClick(e, Qt::Key_Return);
    }
    // Chooses list item `item` (1-based) with the keyboard.
    void choose(const char* tag, int item) {
        QComboBox* c = control<QComboBox>(tag);
        QTest::keyClick(c, Qt::Key_Home);
        for (int k = 1; k < item; ++k) QTest::keyClick(c, Qt::Key_Down);
    }
    // Clicks a button in its middle, a check box on its box.
    void click(const char* tag) {
        QAbstractButton* b = control<QAbstractButton>(tag);
        const QPoint at = b->inherits("QCheckBox") ? QPoint(8, b->height() / 2) : b->rect().center();
        QTest::mouseClick(b, Qt::LeftButton, {}, at);
    }
    QAction* action(const char* tag) { return win->handles().get<QAction>(tag); }
    std::string title() { return win->window()->windowTitle().toStdString(); }
    std::vector<std::string> shownTitles() {
        std::vector<std::string> t;
        for (const auto& s : dialogs->shown()) t.push_back(s.title);
        return t;
    }

    Parameters& params() { return appState().parameters; }

    bttest::ScratchDir scratch_;
    fs::path previousDir_;
    std::shared_ptr<PresetDialogs> dialogs;
    std::unique_ptr<MainWindow> win;
};

}  // namespace bt::gui::testing_support
