#include "instrument/connection_editor.h"

#include <gtest/gtest.h>

#include <limits>

#include "instrument/hw_wrappers.h"

namespace bt {
namespace {

TEST(ConnectionRecord, LegacyFlatRecordIsConverted) {
    LegacyIoConfig flat;  // the defaults: GPIB 0/19/-1, port 1, 9600, handshake item 1
    Configuration c = fromLegacyConfig(flat);
    EXPECT_EQ(c.type, "GPIB");
    EXPECT_EQ(c.GPIB.primary, 19);
    EXPECT_EQ(c.GPIB.secondary, -1);
    EXPECT_EQ(c.RS232.baudrate, 9600);
    EXPECT_EQ(c.RS232.handshake, "Xon/Xoff");  // no list at hand
    EXPECT_EQ(c.TCPIP.address, "0.0.0.0");

    flat.Connection = 1;
    flat.RS232Port = 3;
    flat.HandShake = 3;
    c = fromLegacyConfig(flat, handshakeChoices());
    EXPECT_EQ(c.type, "RS232");
    EXPECT_EQ(c.RS232.port, 3);
    EXPECT_EQ(c.RS232.handshake, "RTS/CTS");
    flat.HandShake = 7;
    EXPECT_EQ(fromLegacyConfig(flat, handshakeChoices()).RS232.handshake, "Xon/Xoff");

    // The dialog converts with its own list.
    flat.HandShake = 1;
    EXPECT_EQ(openConnectionRecord(flat, 1).RS232.handshake, "None");
    EXPECT_EQ(openConnectionRecord(flat, 1).type, "RS232");
}

TEST(ConnectionRecord, OpeningLimitsTheNumbersAndTheKind) {
    Configuration c;
    c.GPIB.board = 20;
    c.GPIB.primary = -3;
    c.GPIB.secondary = 40;
    c.RS232.port = 12;
    c.RS232.baudrate = 115200;
    c.TCPIP.board = 2;
    c.BBGtype = "001";
    Configuration o = openConnectionRecord(c, 2);
    EXPECT_EQ(o.GPIB.board, 15);
    EXPECT_EQ(o.GPIB.primary, 0);
    EXPECT_EQ(o.GPIB.secondary, 31);
    EXPECT_EQ(o.RS232.port, 9);
    EXPECT_EQ(o.RS232.baudrate, 38400);
    EXPECT_EQ(o.TCPIP.board, 0);
    EXPECT_EQ(o.BBGtype, "001");  // the frame's fields ride along
    c.RS232.baudrate = 300;
    EXPECT_EQ(openConnectionRecord(c, 2).RS232.baudrate, 9600);

    // An IXO-B record on the LAN opens as GPIB; so does an IXO-C on RS-232.
    c.type = "tcpip";
    EXPECT_EQ(openConnectionRecord(c, 1).type, "GPIB");
    EXPECT_EQ(openConnectionRecord(c, 2).type, "tcpip");
    c.type = "RS232";
    EXPECT_EQ(openConnectionRecord(c, 2).type, "GPIB");
    EXPECT_EQ(openConnectionRecord(c, 1).type, "RS232");
    EXPECT_EQ(openConnectionRecord(c, 0).type, "RS232");
    // Nothing supplied: the defaults.
    EXPECT_EQ(openConnectionRecord(std::monostate{}, 2), Configuration{});
}

TEST(ConnectionRecord, ControlsRoundTrip) {
    Configuration c;
    c.type = "TCPIP";
    c.GPIB = {3, 7, -1};
    c.RS232 = {4, 38400, "rts/cts", ""};
    c.TCPIP.address = "127.0.0.1:5025";
    const ConnectionControls k = connectionControlsOf(c);
    EXPECT_EQ(k.connection, 3);
    EXPECT_EQ(k.gpibBoard, 4);
    EXPECT_EQ(k.primary, 8);
    EXPECT_EQ(k.secondary, 1);
    EXPECT_EQ(k.port, 4);
    EXPECT_EQ(k.baudRate, 3);
    EXPECT_EQ(k.handshake, 3);
    EXPECT_EQ(k.address, "127.0.0.1:5025");

    Configuration back = connectionFromControls(k, Configuration{});
    EXPECT_EQ(back.type, "TCPIP");
    EXPECT_EQ(back.GPIB.board, 3);
    EXPECT_EQ(back.GPIB.primary, 7);
    EXPECT_EQ(back.GPIB.secondary, -1);
    EXPECT_EQ(back.RS232.baudrate, 38400);
    EXPECT_EQ(back.RS232.handshake, "RTS/CTS");
    EXPECT_EQ(back.TCPIP.address, "127.0.0.1:5025");
    EXPECT_EQ(connectionControlsOf(back), k);

    // Texts not in a list select its first item.
    c.type = "USB";
    c.RS232.baudrate = 14400;
    c.RS232.handshake = "DTR";
    const ConnectionControls odd = connectionControlsOf(c);
    EXPECT_EQ(odd.connection, 1);
    EXPECT_EQ(odd.baudRate, 1);
    EXPECT_EQ(odd.handshake, 1);
    c.GPIB.secondary = 5;
    EXPECT_EQ(connectionControlsOf(c).secondary, 7);
}

TEST(ConnectionRecord, KindsPerModel) {
    EXPECT_EQ(connectionModel("b"), 1);
    EXPECT_EQ(connectionModel("c"), 2);
    EXPECT_EQ(connectionModel("Power Meter"), 0);
    EXPECT_EQ(chooseConnection(1, 3), kConnectionGpib);
    EXPECT_EQ(chooseConnection(1, 1), 1);
    EXPECT_EQ(chooseConnection(2, 1), kConnectionGpib);
    EXPECT_EQ(chooseConnection(2, 3), 3);
    EXPECT_EQ(chooseConnection(0, 3), 3);
    EXPECT_EQ(connectionRefusal(2, 3), "");
    EXPECT_NE(connectionRefusal(2, 1).find("RS-232"), std::string::npos);
    EXPECT_NE(connectionRefusal(1, 3).find("LAN"), std::string::npos);
}

TEST(ConnectionHints, TextsOfTheDialog) {
    EXPECT_EQ(rs232PacingHint(2),
              "Set the Instrument's RS-232 Pace to:\n  Transmit Pace = None\n  Receive Pace  = Xon\n  RTS/CTS       = Off");
    EXPECT_EQ(rs232PacingHint(3), "Set the Instrument's RS-232 Pace to:\n  Transmit Pace = None\n  Receive Pace  = "
                                  "None\n  RTS/CTS       = RTS/CTS Pacing");
    EXPECT_EQ(rs232PacingHint(1), rs232PacingHint(9));
    EXPECT_NE(rs232PacingHint(1).find("RTS/CTS       = Off"), std::string::npos);

    EXPECT_EQ(connectionWindowTitle("Power Meter"), "Power Meter IO Connection");
    EXPECT_EQ(connectionWindowTitle("c"), "");

    EXPECT_EQ(lanAddressProblem("192.168.0.10"), "");
    EXPECT_EQ(lanAddressProblem("127.0.0.1:5025"), "");
    EXPECT_NE(lanAddressProblem("instrument.lab"), "");
    EXPECT_NE(lanAddressProblem("10.0.0.1:99999"), "");

    const std::vector<std::string> present = {"/dev/ttyS1", "/dev/ttyUSB0"};
    EXPECT_EQ(serialPortLabel(1, present), "1: /dev/ttyS0");
    EXPECT_EQ(serialPortLabel(2, present), "2: /dev/ttyS1  (present)");
}

TEST(ConnectionRecord, ASerialDeviceIsChosenByNumberOrName) {
    Configuration c;
    c.RS232.port = 4;
    EXPECT_EQ(chooseSerialPort(c, "/dev/ttyUSB0"), "");
    EXPECT_EQ(c.RS232.device, "/dev/ttyUSB0");
    EXPECT_EQ(c.RS232.port, 4);  // kept for programs that know only numbers
    EXPECT_EQ(Formatconfig(c).RS232.device, "/dev/ttyUSB0");
    // A name a number reaches is stored as the number.
    EXPECT_EQ(chooseSerialPort(c, "/dev/ttyS2"), "");
    EXPECT_EQ(c.RS232.device, "");
    EXPECT_EQ(c.RS232.port, 3);
    EXPECT_EQ(chooseSerialPort(c, "/dev/ttyACM1"), "");
    EXPECT_EQ(chooseSerialPort(c, "9"), "");
    EXPECT_EQ(c.RS232.device, "");
    EXPECT_EQ(c.RS232.port, 9);
    const Configuration before = c;
    EXPECT_NE(chooseSerialPort(c, "10"), "");
    EXPECT_NE(chooseSerialPort(c, ""), "");
    EXPECT_NE(chooseSerialPort(c, "/dev/tty\nUSB0"), "");
    EXPECT_EQ(c, before);

    // The dialog's list: the numbered ports, the adapters the system
    // reports, then the record's own device although it is unplugged.
    const std::vector<std::string> present = {"/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyACM0"};
    const SerialPortList list = serialPortList(present, "/dev/ttyUSB5");
    ASSERT_EQ(list.labels.size(), static_cast<std::size_t>(kSerialPorts) + 3);
    EXPECT_EQ(list.labels[0], "1: /dev/ttyS0  (present)");
    EXPECT_EQ(list.labels[9], "/dev/ttyUSB0  (present)");
    EXPECT_EQ(list.labels[11], "/dev/ttyUSB5");
    c.RS232.device = "/dev/ttyUSB5";
    c.RS232.port = 2;
    ConnectionControls k = connectionControlsOf(c);
    EXPECT_EQ(serialPortItem(list, k), 12);
    EXPECT_EQ(connectionFromControls(k, Configuration{}).RS232, c.RS232);
    chooseSerialPortItem(list, 10, k);
    EXPECT_EQ(k.device, "/dev/ttyUSB0");
    EXPECT_EQ(k.port, 2);
    EXPECT_EQ(serialPortItem(list, k), 10);
    chooseSerialPortItem(list, 7, k);
    EXPECT_EQ(k.device, "");
    EXPECT_EQ(k.port, 7);
    EXPECT_EQ(serialPortItem(list, k), 7);
}

TEST(ConnectionRecord, ControlsGiveWhatTheIoLayerReceives) {
    // The secondary address "none" reaches HwIO as -1, the baud rate as a
    // whole number.
    ConnectionControls k;
    k.secondary = 1;
    k.baudRate = 2;
    const IoConfig io = Formatconfig(connectionFromControls(k, {}));
    EXPECT_EQ(io.GPIB.secondary, -1);
    EXPECT_EQ(io.RS232.baudrate, 19200);
}

TEST(ConnectionRecord, ARadioIsAFourthKindThatInstrumentFlowsRefuse) {
    Configuration c;
    c.type = "SDR";
    c.SDR = {"driver=btloop,serial=0", 12.5, "ALT"};
    for (int model : {0, 1, 2}) EXPECT_EQ(chooseConnection(model, kConnectionSdr), kConnectionSdr);
    EXPECT_EQ(openConnectionRecord(c, 1).type, "SDR");
    const ConnectionControls k = connectionControlsOf(c);
    EXPECT_EQ(k.connection, kConnectionSdr);
    EXPECT_EQ(k.sdrGain, "12.5");
    EXPECT_EQ(connectionFromControls(k, Configuration{}), c);

    // A typing slip never turns the radio up: no number keeps the gain,
    // a number is limited.
    ConnectionControls typed = k;
    typed.sdrGain = "3O";
    EXPECT_EQ(connectionFromControls(typed, c).SDR.gain, 12.5);
    typed.sdrGain = "1e6";
    EXPECT_EQ(connectionFromControls(typed, c).SDR.gain, kSdrGainLimit);
    c.SDR.gain = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(openConnectionRecord(c, 2).SDR.gain, 0);

    // Antennas: the device's default first, a saved one the radio does not name kept.
    const std::vector<std::string> named = {"LOOP", "ALT"};
    const SdrAntennaList antennas = sdrAntennaList(named, "TX2");
    EXPECT_EQ(antennas.labels, (std::vector<std::string>{"Default", "LOOP", "ALT", "TX2"}));
    EXPECT_EQ(antennas.values.front(), "");
    c.SDR.args.clear();
    EXPECT_NE(sdrConnectionProblem(c), "");
    // The device field: a label means its radio, other text is taken as arguments.
    const SdrDeviceList devices{{"HackRF One"}, {"driver=hackrf,serial=01"}, ""};
    EXPECT_EQ(sdrArgsOfText(devices, "HackRF One"), "driver=hackrf,serial=01");
    EXPECT_EQ(sdrArgsOfText(devices, " driver=remote,remote=10.0.0.2 "), "driver=remote,remote=10.0.0.2");

    // What only the instrument can do is refused with what to choose instead,
    // down to the I/O layer.
    EXPECT_EQ(instrumentOnlyRefusal(Configuration{}, "The test"), "");
    EXPECT_NE(instrumentOnlyRefusal(c, "The test").find("Sig Gen I/O"), std::string::npos);
    const HwResult ping = HwPing(c);
    EXPECT_EQ(ping.status, io_status::kArgument);
    EXPECT_NE(ping.response.find("software-defined radio"), std::string::npos) << ping.response;
}

}  // namespace
}  // namespace bt
