#include "instrument/connection_editor.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "instrument/serial_transport.h"
#include "instrument/tcp_transport.h"
#include "lib/numtext.h"

namespace bt {

namespace {

std::string upper(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return out;
}

double limit(double v, double lo, double hi) { return std::max(std::min(v, hi), lo); }

// Item number (from 1) of `text` in `list`, case ignored; 1 when absent.
int itemOf(const std::vector<std::string>& list, std::string_view text) {
    for (std::size_t k = 0; k < list.size(); ++k)
        if (upper(list[k]) == upper(text)) return static_cast<int>(k) + 1;
    return 1;
}

int item(double v, int count) { return static_cast<int>(limit(roundHalfAway(v), 1, count)); }

// The record's type for a connection list item.
std::string typeOfItem(int item) {
    return item == 1 ? "RS232" : item == 3 ? "TCPIP" : item == kConnectionSdr ? "SDR" : "GPIB";
}

double sdrGain(double v, double kept) { return std::isfinite(v) ? limit(v, -kSdrGainLimit, kSdrGainLimit) : kept; }

}  // namespace

Configuration fromLegacyConfig(const LegacyIoConfig& flat, std::span<const std::string> handshakeChoices) {
    Configuration c;
    c.type = flat.Connection == 1 ? "RS232" : "GPIB";
    c.GPIB.board = flat.GPIBboard;
    c.GPIB.primary = flat.Primary;
    c.GPIB.secondary = flat.Secondary;
    c.RS232.port = flat.RS232Port;
    c.RS232.baudrate = flat.BaudRate;
    const double hs = flat.HandShake;
    c.RS232.handshake = (hs >= 1 && hs <= static_cast<double>(handshakeChoices.size()) && hs == std::trunc(hs))
                            ? handshakeChoices[static_cast<std::size_t>(hs) - 1]
                            : "Xon/Xoff";
    c.TCPIP.address = "0.0.0.0";
    c.TCPIP.board = 0;
    return c;
}

int connectionModel(std::string_view platform) {
    if (platform == "b") return 1;
    if (platform == "c") return 2;
    return 0;
}

bool connectionKindAllowed(int model, std::string_view type) {
    const std::string t = upper(type);
    if (model == 1 && t == "TCPIP") return false;
    if (model == 2 && t == "RS232") return false;
    return true;
}

bool isRadioConnection(const Configuration& c) { return upper(c.type) == "SDR"; }

std::string instrumentOnlyRefusal(const Configuration& c, std::string_view what) {
    if (!isRadioConnection(c)) return {};
    return std::string(what) +
           " needs the IXO signal generator: the software-defined radio chosen in Configuration > Sig Gen I/O "
           "only loops the main window's waveform. Choose GPIB, RS-232 or TCP/IP there to reach the instrument.";
}

Configuration openConnectionRecord(const ConnectionInput& in, int model) {
    Configuration c;
    if (const auto* current = std::get_if<Configuration>(&in)) c = *current;
    if (const auto* flat = std::get_if<LegacyIoConfig>(&in)) c = fromLegacyConfig(*flat, handshakeChoices());
    c.GPIB.board = limit(c.GPIB.board, 0, kGpibBoards - 1);
    c.GPIB.primary = limit(c.GPIB.primary, 0, kPrimaryAddresses - 1);
    c.GPIB.secondary = limit(c.GPIB.secondary, -1, kSecondaryAddresses - 2);
    c.RS232.port = limit(c.RS232.port, 1, kSerialPorts);
    const auto& bauds = baudRateChoices();
    c.RS232.baudrate = limit(c.RS232.baudrate, *parseNumber(bauds[0]), *parseNumber(bauds[2]));
    c.TCPIP.board = 0;
    c.SDR.gain = sdrGain(c.SDR.gain, 0);
    if (!connectionKindAllowed(model, c.type)) c.type = "GPIB";
    return c;
}

const std::vector<std::string>& connectionChoices() {
    static const std::vector<std::string> list = {"RS232", "GPIB", "TCP/IP", "SDR"};
    return list;
}

const std::vector<std::string>& baudRateChoices() {
    static const std::vector<std::string> list = {"9600", "19200", "38400"};
    return list;
}

const std::vector<std::string>& handshakeChoices() {
    static const std::vector<std::string> list = {"None", "Xon/Xoff", "RTS/CTS"};
    return list;
}

ConnectionControls connectionControlsOf(const Configuration& c) {
    ConnectionControls k;
    k.connection = itemOf(connectionChoices(), upper(c.type) == "TCPIP" ? "TCP/IP" : c.type);
    k.gpibBoard = item(c.GPIB.board + 1, kGpibBoards);
    k.primary = item(c.GPIB.primary + 1, kPrimaryAddresses);
    k.secondary = item(c.GPIB.secondary + 2, kSecondaryAddresses);
    k.port = item(c.RS232.port, kSerialPorts);
    k.device = c.RS232.device;
    k.baudRate = itemOf(baudRateChoices(), formatNumber(c.RS232.baudrate));
    k.handshake = itemOf(handshakeChoices(), c.RS232.handshake);
    k.address = c.TCPIP.address;
    k.sdrArgs = c.SDR.args;
    k.sdrGain = formatNumber(c.SDR.gain);
    k.sdrAntenna = c.SDR.antenna;
    return k;
}

Configuration connectionFromControls(const ConnectionControls& k, const Configuration& base) {
    Configuration c = base;
    c.type = typeOfItem(k.connection);
    c.GPIB.board = k.gpibBoard - 1;
    c.GPIB.primary = k.primary - 1;
    c.GPIB.secondary = k.secondary - 2;
    c.RS232.port = k.port;
    c.RS232.device = k.device;
    const auto& bauds = baudRateChoices();
    c.RS232.baudrate = *parseNumber(bauds[static_cast<std::size_t>(std::clamp(k.baudRate, 1, int(bauds.size()))) - 1]);
    const auto& hs = handshakeChoices();
    c.RS232.handshake = hs[static_cast<std::size_t>(std::clamp(k.handshake, 1, int(hs.size()))) - 1];
    c.TCPIP.address = k.address;
    c.TCPIP.board = 0;
    c.SDR.args = k.sdrArgs;
    const std::optional<double> gain = parseNumber(k.sdrGain);
    c.SDR.gain = sdrGain(gain ? *gain : base.SDR.gain, base.SDR.gain);
    c.SDR.antenna = k.sdrAntenna;
    return c;
}

int chooseConnection(int model, int item) {
    if (item < 1 || item > static_cast<int>(connectionChoices().size())) return kConnectionGpib;
    return connectionKindAllowed(model, typeOfItem(item)) ? item : kConnectionGpib;
}

std::string connectionRefusal(int model, int item) {
    if (chooseConnection(model, item) == item) return {};
    if (model == 1) return "The IXO-B has no LAN port: connect it through GPIB or RS-232.";
    return "The IXO-C has no RS-232 port: connect it through GPIB or TCP/IP.";
}

int sdrDeviceItem(const SdrDeviceList& list, const std::string& args) {
    const auto it = std::find(list.args.begin(), list.args.end(), args);
    return it == list.args.end() ? 0 : static_cast<int>(it - list.args.begin()) + 1;
}

std::string sdrArgsOfText(const SdrDeviceList& list, const std::string& text) {
    const auto blank = [](unsigned char ch) { return std::isspace(ch) != 0; };
    const auto first = std::find_if_not(text.begin(), text.end(), blank);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), blank).base();
    const std::string typed = first < last ? std::string(first, last) : std::string();
    const auto it = std::find(list.labels.begin(), list.labels.end(), typed);
    if (it != list.labels.end() && std::size_t(it - list.labels.begin()) < list.args.size())
        return list.args[std::size_t(it - list.labels.begin())];
    return typed;
}

SdrAntennaList sdrAntennaList(std::span<const std::string> deviceAntennas, const std::string& recordAntenna) {
    SdrAntennaList list{{"Default"}, {""}};
    const auto add = [&list](const std::string& a) {
        if (a.empty() || std::find(list.values.begin(), list.values.end(), a) != list.values.end()) return;
        list.labels.push_back(a);
        list.values.push_back(a);
    };
    for (const std::string& a : deviceAntennas) add(a);
    add(recordAntenna);
    return list;
}

std::string sdrConnectionProblem(const Configuration& c) {
    if (!isRadioConnection(c) || !c.SDR.args.empty()) return {};
    return "Choose the radio that plays the waveform; none was found or chosen.";
}

std::string rs232PacingHint(int handshakeItem) {
    std::string hint = "Set the Instrument's RS-232 Pace to:\n  Transmit Pace = None\n";
    if (handshakeItem == 2) return hint + "  Receive Pace  = Xon\n  RTS/CTS       = Off";
    if (handshakeItem == 3) return hint + "  Receive Pace  = None\n  RTS/CTS       = RTS/CTS Pacing";
    return hint + "  Receive Pace  = None\n  RTS/CTS       = Off";
}

std::string connectionWindowTitle(std::string_view platform) {
    if (platform.empty() || connectionModel(platform) != 0) return {};
    return std::string(platform) + " IO Connection";
}

std::string lanAddressProblem(std::string_view address) {
    if (parseTcpAddress(std::string(address))) return {};
    return "Enter the instrument's IPv4 address (192.168.0.10), optionally with a port (192.168.0.10:5025).";
}

std::string serialPortLabel(int port, std::span<const std::string> presentDevices) {
    const std::string device = serialDeviceName(port);
    const bool present = std::find(presentDevices.begin(), presentDevices.end(), device) != presentDevices.end();
    return std::to_string(port) + ": " + device + (present ? "  (present)" : "");
}

namespace {
// The port number (1..kSerialPorts) that reaches `device`; 0 for none.
int numberedPortOf(std::string_view device) {
    for (int p = 1; p <= kSerialPorts; ++p)
        if (serialDeviceName(p) == device) return p;
    return 0;
}
}  // namespace

SerialPortList serialPortList(std::span<const std::string> presentDevices, const std::string& recordDevice) {
    SerialPortList list;
    for (int p = 1; p <= kSerialPorts; ++p) {
        list.labels.push_back(serialPortLabel(p, presentDevices));
        list.devices.emplace_back();
    }
    const auto add = [&list](const std::string& device, const char* mark) {
        if (device.empty() || numberedPortOf(device) != 0) return;
        if (std::find(list.devices.begin(), list.devices.end(), device) != list.devices.end()) return;
        list.labels.push_back(device + mark);
        list.devices.push_back(device);
    };
    for (const std::string& d : presentDevices) add(d, "  (present)");
    add(recordDevice, "");
    return list;
}

int serialPortItem(const SerialPortList& list, const ConnectionControls& k) {
    const int numbered = numberedPortOf(k.device);
    if (k.device.empty() || numbered != 0) return numbered != 0 ? numbered : std::clamp(k.port, 1, kSerialPorts);
    const auto it = std::find(list.devices.begin(), list.devices.end(), k.device);
    return it == list.devices.end() ? std::clamp(k.port, 1, kSerialPorts)
                                    : static_cast<int>(it - list.devices.begin()) + 1;
}

void chooseSerialPortItem(const SerialPortList& list, int item, ConnectionControls& k) {
    if (item < 1 || item > static_cast<int>(list.devices.size())) return;
    const std::string& device = list.devices[static_cast<std::size_t>(item) - 1];
    if (device.empty()) k.port = item;
    k.device = device;
}

std::string chooseSerialPort(Configuration& c, std::string_view text) {
    if (text.empty()) return "give a port number 1.." + std::to_string(kSerialPorts) + " or a device name";
    if (std::all_of(text.begin(), text.end(), [](unsigned char ch) { return std::isdigit(ch); })) {
        const auto n = parseNumber(std::string(text));
        if (!n || *n < 1 || *n > kSerialPorts)
            return "port " + std::string(text) + " is not 1.." + std::to_string(kSerialPorts) +
                   "; give a device name (/dev/ttyUSB0) for any other port";
        c.RS232.port = *n;
        c.RS232.device.clear();
        return {};
    }
    if (text.find_first_of("\r\n") != std::string_view::npos) return "a device name is one line";
    c.RS232.device = std::string(text);
    if (const int p = numberedPortOf(text)) {
        c.RS232.port = p;
        c.RS232.device.clear();
    }
    return {};
}

}  // namespace bt
