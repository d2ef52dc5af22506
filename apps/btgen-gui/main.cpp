// The desktop application.
#include <QApplication>
#include <QLabel>

#include "lib/library.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    bt::Bt_c_libInitialize();
    QLabel placeholder("The main window is on its way.");
    placeholder.show();
    const int rc = app.exec();
    bt::Bt_c_libTerminate();
    return rc;
}
