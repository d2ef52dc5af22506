// The connection dialog: kinds per instrument, the record to and from its
// lists, the hints, and the check against a simulated instrument.
#include "instrument/gui/connection_dialog.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QStandardItemModel>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "sim/sim_server.h"
#include "support/gui/gui_support.h"

namespace bt::gui {
namespace {

class ConnectionDialogTest : public ::testing::Test {
protected:
    void SetUp() override { dlg = std::make_unique<ConnectionDialog>(nullptr); }
    void TearDown() override {
        if (server) server->stop();
    }

    template <class T>
    T* get(const char* tag) {
        return dlg->handles().get<T>(tag);
    }
    QComboBox* list(const char* tag) { return get<QComboBox>(tag); }
    QString status() { return get<QLabel>("lblStatus")->text(); }
    void click(const char* tag) { QTest::mouseClick(get<QAbstractButton>(tag), Qt::LeftButton); }
    // Picks item `item` (from 1) the way a user does: opens the list,
    // moves to the item and presses Return.
    void chooseItem(const char* tag, int item) {
        list(tag)->showPopup();
        list(tag)->view()->setCurrentIndex(list(tag)->model()->index(item - 1, 0));
        QTest::keyClick(list(tag)->view(), Qt::Key_Return);
    }
    void typeAddress(const QString& text) {
        auto* e = get<QLineEdit>("editTCPIPAddress");
        e->setFocus();
        e->selectAll();
        QTest::keyClicks(e, text);
        QTest::keyClick(e, Qt::Key_Return);
    }
    bool shows(const char* group) { return get<QWidget>(group)->isVisible(); }

    ConnectionAnswer openWith(const ConnectionInput& in, const std::string& platform,
                              std::function<void(QWidget*)> user) {
        bool ran = false;
        bt::test::onNextModal([&](QWidget* d) {
            user(d);
            ran = true;
        });
        ConnectionAnswer a = dlg->open(in, platform);
        EXPECT_TRUE(ran);
        return a;
    }

    // A simulated instrument on a free loopback port.
    std::string startSim(int lateMs = 0) {
        sim::ServerOptions options;
        options.faults.lateMs = lateMs;
        server = std::make_unique<sim::Server>(options);
        std::string error;
        const std::uint16_t port = server->start(0, error);
        EXPECT_NE(port, 0) << error;
        return "127.0.0.1:" + std::to_string(port);
    }

    std::unique_ptr<ConnectionDialog> dlg;
    std::unique_ptr<sim::Server> server;
};

TEST_F(ConnectionDialogTest, IxoBRecordOnTheLanOpensAsGpib) {
    Configuration c;
    c.type = "TCPIP";
    c.TCPIP.address = "10.0.0.5";
    c.GPIB.primary = 7;
    const ConnectionAnswer a = openWith(c, "b", [&](QWidget* d) {
        EXPECT_EQ(list("pmConnection")->currentText(), "GPIB");
        EXPECT_TRUE(shows("configGPIB"));
        EXPECT_FALSE(shows("configRS232"));
        EXPECT_FALSE(shows("configTCPIP"));
        EXPECT_EQ(list("pmPrimaryAddress")->currentText(), "7");
        EXPECT_EQ(list("pmSecondaryAddress")->currentText(), "None");
        // The LAN entry is greyed with the reason.
        auto* m = qobject_cast<QStandardItemModel*>(list("pmConnection")->model());
        ASSERT_NE(m, nullptr);
        EXPECT_FALSE(m->item(2)->isEnabled());
        EXPECT_TRUE(m->item(0)->isEnabled());
        EXPECT_NE(m->item(2)->toolTip().indexOf("no LAN port"), -1);
        bt::test::saveShot(d, "connection_b_gpib");
        click("pbOK");
    });
    EXPECT_EQ(a.response, "OK");
    EXPECT_EQ(a.config.type, "GPIB");
    EXPECT_EQ(a.config.GPIB.primary, 7);
    EXPECT_EQ(a.config.TCPIP.address, "10.0.0.5");
}

TEST_F(ConnectionDialogTest, KindsTheInstrumentLacksAreRefused) {
    openWith(Configuration{}, "c", [&](QWidget*) {
        // Stepping through the list with the keyboard skips the greyed
        // RS-232 entry.
        QTest::keyClick(list("pmConnection"), Qt::Key_Home);
        EXPECT_EQ(list("pmConnection")->currentText(), "GPIB");
        // Forced onto it, the dialog falls back to GPIB and says why.
        list("pmConnection")->setCurrentIndex(0);
        dlg->Ux_SigGen("pmConnection_Callback");
        EXPECT_EQ(list("pmConnection")->currentText(), "GPIB");
        EXPECT_NE(status().indexOf("no RS-232 port"), -1);
        EXPECT_TRUE(shows("configGPIB"));
        click("pbCancel");
    });
    openWith(Configuration{}, "b", [&](QWidget*) {
        list("pmConnection")->setCurrentIndex(2);
        dlg->Ux_SigGen("pmConnection_Callback");
        EXPECT_EQ(list("pmConnection")->currentText(), "GPIB");
        click("pbCancel");
    });
    // Another kind of connection: every kind, and the window named after it.
    openWith(Configuration{}, "Power Meter", [&](QWidget* d) {
        EXPECT_EQ(d->windowTitle(), "Power Meter IO Connection");
        list("pmConnection")->setCurrentIndex(0);
        dlg->Ux_SigGen("pmConnection_Callback");
        EXPECT_EQ(list("pmConnection")->currentText(), "RS232");
        click("pbCancel");
    });
}

TEST_F(ConnectionDialogTest, SerialSettingsWithThePacingHint) {
    LegacyIoConfig flat;
    flat.Connection = 1;
    flat.RS232Port = 2;
    flat.BaudRate = 115200;
    flat.HandShake = 2;
    const ConnectionAnswer a = openWith(flat, "b", [&](QWidget* d) {
        EXPECT_EQ(list("pmConnection")->currentText(), "RS232");
        EXPECT_TRUE(shows("configRS232"));
        EXPECT_FALSE(shows("configGPIB"));
        EXPECT_EQ(list("pmPortNumber")->currentIndex(), 1);
        EXPECT_TRUE(list("pmPortNumber")->currentText().startsWith("2: "));
        EXPECT_EQ(list("pmBaudRate")->currentText(), "38400");  // the limit of the list
        EXPECT_EQ(list("pmHandShake")->currentText(), "Xon/Xoff");
        EXPECT_EQ(status(), "Set the Instrument's RS-232 Pace to:\n  Transmit Pace = None\n  Receive Pace  = Xon\n"
                            "  RTS/CTS       = Off");
        bt::test::saveShot(d, "connection_b_rs232");
        chooseItem("pmHandShake", 3);
        EXPECT_NE(status().indexOf("RTS/CTS       = RTS/CTS Pacing"), -1);
        EXPECT_EQ(list("pmHandShake")->toolTip(), status());
        chooseItem("pmBaudRate", 2);
        EXPECT_EQ(list("pmBaudRate")->toolTip(),
                  "Select the communication baud rate.\r\nNOTE: This must agree with the instrument.");
        click("pbOK");
    });
    EXPECT_EQ(a.config.type, "RS232");
    EXPECT_EQ(a.config.RS232.port, 2);
    EXPECT_EQ(a.config.RS232.baudrate, 19200);
    EXPECT_EQ(a.config.RS232.handshake, "RTS/CTS");
}

TEST_F(ConnectionDialogTest, ASerialDeviceByNameIsListedAfterTheNumberedPorts) {
    Configuration c;
    c.type = "RS232";
    c.RS232.port = 4;
    c.RS232.device = "/dev/ttyUSB7";  // an adapter not plugged in now
    ConnectionAnswer a = openWith(c, "b", [&](QWidget*) {
        EXPECT_EQ(list("pmPortNumber")->currentText(), "/dev/ttyUSB7");
        EXPECT_GT(list("pmPortNumber")->currentIndex(), kSerialPorts - 1);
        click("pbOK");
    });
    EXPECT_EQ(a.config.RS232, c.RS232);
    a = openWith(c, "b", [&](QWidget*) {
        chooseItem("pmPortNumber", 3);
        click("pbOK");
    });
    EXPECT_EQ(a.config.RS232.port, 3);
    EXPECT_EQ(a.config.RS232.device, "");
}

TEST_F(ConnectionDialogTest, CancelAndCloseKeepTheCallersRecord) {
    Configuration c;
    c.type = "TCPIP";
    c.TCPIP.address = "192.168.1.20";
    ConnectionAnswer a = openWith(c, "c", [&](QWidget*) {
        typeAddress("192.168.1.99");
        click("pbCancel");
    });
    EXPECT_EQ(a.response, "Cancel");
    EXPECT_EQ(a.config.TCPIP.address, "192.168.1.20");
    a = openWith(c, "c", [&](QWidget* d) {
        EXPECT_EQ(get<QLineEdit>("editTCPIPAddress")->text(), "192.168.1.20");
        chooseItem("pmConnection", 2);
        d->close();
    });
    EXPECT_EQ(a.response, "Cancel");
    EXPECT_FALSE(dlg->window()->isVisible());
}

// Tabbing through a saved radio's fields, then OK or the window manager's
// close, hands back the record as it came: neither the radio, its gain nor
// its antenna moves unless the user moves it.
TEST_F(ConnectionDialogTest, TabbingThroughTheRadioFieldsChangesNothing) {
    RadioSource radios;
    radios.devices = [](const Configuration::Sdr&) {
        return SdrDeviceList{{"Radio A", "Radio B"}, {"driver=a", "driver=b"}, ""};
    };
    radios.antennas = [](const std::string&) { return std::vector<std::string>{"TX1", "TX2"}; };
    dlg->setRadioSource(radios);
    Configuration c;
    c.type = "SDR";
    c.SDR = {"driver=b", 7.25, "TX2"};
    const auto tabThrough = [&](QWidget*) {
        EXPECT_TRUE(shows("configSDR"));
        get<QWidget>("pmSdrDevice")->setFocus();
        bool passedGain = false;
        for (int k = 0; k < 4; ++k) {
            QWidget* focus = QApplication::focusWidget();
            ASSERT_NE(focus, nullptr);
            passedGain = passedGain || focus == get<QWidget>("editSdrGain");
            QTest::keyClick(focus, Qt::Key_Tab);
        }
        EXPECT_TRUE(passedGain);
        EXPECT_EQ(dlg->configFromControls(), c);
    };
    ConnectionAnswer a = openWith(c, "c", [&](QWidget* d) {
        tabThrough(d);
        click("pbOK");
    });
    EXPECT_EQ(a.response, "OK");
    EXPECT_EQ(a.config, c);
    a = openWith(c, "b", [&](QWidget* d) {
        tabThrough(d);
        d->close();
    });
    EXPECT_EQ(a.response, "Cancel");
    EXPECT_EQ(a.config, c);
}

TEST_F(ConnectionDialogTest, CheckShowsTheIdentificationOfTheSimulator) {
    const std::string address = startSim(/*lateMs=*/150);
    Configuration c;
    c.type = "TCPIP";
    bool sawChecking = false, sawBusy = false, repainted = false;
    const ConnectionAnswer a = openWith(c, "c", [&](QWidget* d) {
        EXPECT_TRUE(shows("configTCPIP"));
        typeAddress("my-instrument");
        EXPECT_NE(status().indexOf("IPv4"), -1);  // a hint, not a refusal
        typeAddress(QString::fromStdString(address));
        EXPECT_EQ(status(), "");
        // Watch the window while the check runs.
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (!dlg->checking()) return;
            repainted = true;
            sawChecking = sawChecking || status() == "... Checking ...";
            const QCursor* cursor = QApplication::overrideCursor();
            sawBusy = sawBusy || (cursor && cursor->shape() == Qt::WaitCursor);
            EXPECT_FALSE(get<QWidget>("pbOK")->isEnabled());
            d->close();  // refused while checking
        });
        watch.start(5);
        click("pbCheckHardware");
        watch.stop();
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(status(), "Veltor,R7720C,SIM0000001,C.03.10");
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_TRUE(get<QWidget>("pbOK")->isEnabled());
        bt::test::saveShot(d, "connection_c_lan_checked");
        click("pbOK");
    });
    EXPECT_TRUE(repainted);
    EXPECT_TRUE(sawChecking);
    EXPECT_TRUE(sawBusy);
    EXPECT_EQ(a.response, "OK");
    EXPECT_EQ(a.config.TCPIP.address, address);
}

TEST_F(ConnectionDialogTest, CheckAgainstAClosedPortShowsTheError) {
    const std::string address = startSim();
    server->stop();  // the port is free again: nobody answers there
    Configuration c;
    c.type = "TCPIP";
    c.TCPIP.address = address;
    openWith(c, "c", [&](QWidget*) {
        click("pbCheckHardware");
        EXPECT_NE(status().indexOf("Cannot connect to the instrument"), -1) << status().toStdString();
        EXPECT_NE(status().indexOf(QString::fromStdString(address)), -1);
        EXPECT_NE(get<QLabel>("lblStatus")->styleSheet().indexOf("color"), -1);  // shown as a failure
        click("pbCancel");
    });
}

}  // namespace
}  // namespace bt::gui
