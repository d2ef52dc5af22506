// Where the windows open: every window centred over the one it belongs to,
// after its layout has given it its size, and wholly on a 1366 x 768
// screen, the smallest a laboratory PC is likely to have (the window tests'
// offscreen screen; run on another, the test runs itself again on one).
// With BTGEN_SCREENSHOTS the screen is drawn as the user would see it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <cstdlib>
#include <functional>

#include "app/gui/main_window.h"
#include "bluetooth/gui/dirty_transmitter_window.h"
#include "bluetooth/gui/dt_event_markers_window.h"
#include "support/gui/app_window_fixture.h"
#include "support/gui/gui_support.h"
#include "support/process.h"

namespace bt::gui {
namespace {

constexpr int kWidth = 1366, kHeight = 768;

bool onSmallScreen() {
    const QScreen* s = QGuiApplication::primaryScreen();
    return s && s->geometry().size() == QSize(kWidth, kHeight);
}

TEST(Placement, EveryWindowOpensCentredAndWhollyOnA1366x768Screen) {
    if (onSmallScreen()) GTEST_SKIP() << "runs as the child below";
    if (QGuiApplication::platformName() != "offscreen") GTEST_SKIP() << "needs the offscreen platform";
    const std::string config = BTGEN_SOURCE_DIR "/tests/support/gui/screen_1366x768.json";
    const std::string self = QCoreApplication::applicationFilePath().toStdString();
    const auto r = testsupport::runProcess({"env", "QT_QPA_PLATFORM=offscreen:configfile=" + config, self,
                                            "--gtest_filter=SmallScreen.*", "--gtest_brief=1"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("[  PASSED  ] 1 test"), std::string::npos) << r.out;
}

class SmallScreen : public testing_support::AppWindowTest {
protected:
    void SetUp() override {
        if (!onSmallScreen()) GTEST_SKIP() << "run by Placement on a 1366 x 768 screen";
        AppWindowTest::SetUp();
        win->window()->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(win->window()));
    }

    // The window lies wholly on the screen and its centre is over the
    // main window's (unless the screen's edge moved it).
    void checkPlaced(QWidget* w, const char* name) {
        const QRect avail = w->screen()->availableGeometry();
        const QRect f = w->frameGeometry();
        EXPECT_TRUE(avail.contains(f)) << name << " at " << f.x() << "," << f.y() << " " << f.width() << "x"
                                       << f.height() << " is not wholly on the screen";
        const QRect parent = win->window()->frameGeometry();
        const QPoint centre = parent.center();
        const bool clampedX = f.left() == avail.left() || f.right() == avail.right();
        const bool clampedY = f.top() == avail.top() || f.bottom() == avail.bottom();
        // Offscreen the frame is known when the window is first shown; a
        // real window manager adds its title bar only after that, which
        // moves the centre by up to half its height.
        const int slack = QGuiApplication::platformName() == "offscreen" ? 2 : 12;
        if (!clampedX) {
            EXPECT_LE(std::abs(f.center().x() - centre.x()), slack) << name;
        }
        if (!clampedY) {
            EXPECT_LE(std::abs(f.center().y() - centre.y()), slack) << name;
        }
        // What the controls need fits as well: nothing is cut off.
        EXPECT_LE(w->minimumSizeHint().width(), avail.width()) << name;
        EXPECT_LE(w->minimumSizeHint().height(), avail.height()) << name;
    }
    // The screen as the user sees it: the main window and `top` over it, each
    // with an outline and its title where the window manager puts its frame.
    void shot(const char* name, QWidget* top = nullptr) {
        QApplication::processEvents();
        const QByteArray dir = qgetenv("BTGEN_SCREENSHOTS");
        if (dir.isEmpty()) return;
        QPixmap screen(kWidth, kHeight);
        screen.fill(QColor(70, 90, 110));
        QPainter p(&screen);
        for (QWidget* w : {static_cast<QWidget*>(win->window()), top}) {
            if (!w) continue;
            const QRect g = w->geometry();
            p.fillRect(g.adjusted(-2, -22, 2, 2), QColor(40, 40, 40));
            p.setPen(Qt::white);
            p.drawText(g.adjusted(4, -20, 0, 0).topLeft() + QPoint(0, 14), w->windowTitle());
            p.drawPixmap(g.topLeft(), w->grab());
        }
        p.end();
        screen.save(QString::fromLocal8Bit(dir) + "/placement_" + name + ".png");
    }
    // Opens a modal window with `open`, checks it, and closes it.
    void checkModal(const char* name, const std::function<void()>& open) {
        bool seen = false;
        test::onNextModal([&](QWidget* d) {
            seen = true;
            checkPlaced(d, name);
            shot(name, d);
            if (auto* dialog = qobject_cast<QDialog*>(d))
                dialog->reject();
            else
                d->close();
        });
        open();
        EXPECT_TRUE(seen) << name << " did not open";
    }
};

TEST_F(SmallScreen, WindowsOpenCentredOverTheMainWindowAndOnTheScreen) {
    const QRect avail = win->window()->screen()->availableGeometry();
    EXPECT_TRUE(avail.contains(win->window()->frameGeometry())) << "main window";
    shot("bt_GUI");

    click("pbDirtyTransmitter");
    auto* dt = DirtyTransmitterWindow::of(win->figureList.value("DirtyTransmitter"));
    ASSERT_NE(dt, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dt->window()));
    checkPlaced(dt->window(), "bt_DirtyTransmitter");
    shot("bt_DirtyTransmitter", dt->window());
    for (const char* tag : {"pbCalculate", "pbDownload", "pbExit"}) {
        QWidget* b = dt->handles().get<QWidget>(tag);
        const QRect onScreen(b->mapToGlobal(QPoint(0, 0)), b->size());
        EXPECT_TRUE(avail.contains(onScreen.center())) << tag << " is off the screen";
    }
    QTest::mouseClick(dt->handles().get<QPushButton>("pbEventMarkerSetup"), Qt::LeftButton);
    QWidget* markers = dt->eventMarkers()->window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(markers));
    EXPECT_TRUE(avail.contains(markers->frameGeometry())) << "event markers";
    shot("bt_DT_EventMarkers", markers);
    markers->hide();
    QTest::mouseClick(dt->handles().get<QPushButton>("pbExit"), Qt::LeftButton);

    checkModal("bt_gui_Impairments", [&] { click("pbImpairments"); });
    checkModal("Ux_About", [&] { action("menuHelpAbout")->trigger(); });
    checkModal("Ux_SigGen", [&] { action("menuConfigSigGenIO")->trigger(); });
    checkModal("IxoConfigAdv_b_c", [&] { click("pbAdvancedSettings"); });
}

}  // namespace
}  // namespace bt::gui
