// The window tests' entry: one application object for every test, on the
// offscreen platform (a 1366 x 768 screen) unless a display was asked for.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "app/app_state.h"

int main(int argc, char** argv) {
    // The offscreen screen is as small as a laboratory PC's: 1366 x 768.
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen:configfile=" BTGEN_SOURCE_DIR "/tests/support/gui/screen_1366x768.json", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    bt::Bt_c_libInitialize();
    const int rc = RUN_ALL_TESTS();
    bt::Bt_c_libTerminate();
    return rc;
}
