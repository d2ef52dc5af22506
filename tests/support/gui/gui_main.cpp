// The window tests' entry: one application object for every test, on the
// offscreen platform unless a display was asked for.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "app/app_state.h"

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    bt::Bt_c_libInitialize();
    const int rc = RUN_ALL_TESTS();
    bt::Bt_c_libTerminate();
    return rc;
}
