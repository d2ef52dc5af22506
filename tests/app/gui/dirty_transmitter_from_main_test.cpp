// The dirty-transmitter window as the application opens it: from the main
// window's button, on the state kept in `parameters`.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "support/gui/app_window_fixture.h"
#include "bluetooth/dirty_tx_state.h"
#include "bluetooth/gui/dirty_transmitter_window.h"
#include "bluetooth/gui/dt_event_markers_window.h"

namespace bt::gui {
namespace {

class DirtyTxFromMain : public testing_support::AppWindowTest {
protected:
    DirtyTransmitterWindow* dtWindow() { return DirtyTransmitterWindow::of(win->figureList.value("DirtyTransmitter")); }
    QLineEdit* dtEdit(const char* tag) { return dtWindow()->handles().get<QLineEdit>(tag); }
    void dtType(const char* tag, const QString& what) {
        QLineEdit* e = dtEdit(tag);
        e->selectAll();
        QTest::keyClicks(e, what);
        QTest::keyClick(e, Qt::Key_Return);
    }
};

TEST_F(DirtyTxFromMain, OpenEditExitAndReopen) {
    ASSERT_NE(dtWindow(), nullptr);
    EXPECT_EQ(win->figureList.value("bt_DT_EventMarkers"), dtWindow()->eventMarkers()->window());
    EXPECT_FALSE(dtWindow()->window()->isVisible());
    type("txtPatternLength", "100");  // a main-window edit the dirty-transmitter window must keep
    const Parameters before = params();

    click("pbDirtyTransmitter");
    ASSERT_TRUE(dtWindow()->window()->isVisible());
    EXPECT_TRUE(dialogs->shown().empty());  // no placeholder any more
    dtType("editFreqOffset3", "-150");
    dtType("editModIndex3", "0.3333");
    dtType("editChannel", "39");
    QTest::keyClick(dtWindow()->handles().get<QCheckBox>("chkTestSelect9"), Qt::Key_Space);
    EXPECT_EQ(params(), before);  // nothing reaches parameters before Exit

    QTest::mouseClick(dtWindow()->handles().get<QPushButton>("pbExit"), Qt::LeftButton);
    EXPECT_FALSE(dtWindow()->window()->isVisible());
    EXPECT_EQ(params().dtImpairmentsCurrent[2].FreqOffset, -150);
    EXPECT_DOUBLE_EQ(params().dtImpairmentsCurrent[2].ModIndex, 0.333);
    EXPECT_EQ(params().dtSigGenSettings.Frequency, 2441e6);
    EXPECT_EQ(params().dtTestSelect[8], 0);
    Parameters expected = before;
    saveDtState(appState().dirtyTx, expected);
    EXPECT_EQ(params(), expected);  // everything else as before
    EXPECT_EQ(params().patternLength, 100);

    // Reopening shows what parameters holds, even when the module state was
    // replaced meanwhile.
    Parameters fresh;
    appState().dirtyTx = initialDtState(fresh);
    click("pbDirtyTransmitter");
    EXPECT_EQ(dtEdit("editFreqOffset3")->text(), "-150");
    EXPECT_EQ(dtEdit("editModIndex3")->text(), "0.333");
    EXPECT_EQ(dtEdit("editChannel")->text(), "39");
    EXPECT_FALSE(dtWindow()->handles().get<QCheckBox>("chkTestSelect9")->isChecked());
}

}  // namespace
}  // namespace bt::gui
