#pragma once
// Rules of the connection dialog, without the window: which connection
// kinds an instrument generation has, the limits a record is brought into
// on opening, the legacy flat record, the mapping between the record and
// the dialog's lists, and the hints the dialog shows.
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "instrument/instrument_settings.h"

namespace bt {

// The connection record's older flat form (still the delay-calibration
// window's default): Connection 1 is RS-232, 2 GPIB; HandShake is an item
// number of the handshake list.
struct LegacyIoConfig {
    double Connection = 2;
    double GPIBboard = 0;
    double Primary = 19;
    double Secondary = -1;
    double RS232Port = 1;
    double BaudRate = 9600;
    double HandShake = 1;
    bool operator==(const LegacyIoConfig&) const = default;
};

// The current form. The handshake text is item `HandShake` of `choices`,
// "Xon/Xoff" when there is no list or no such item; the LAN address is
// "0.0.0.0". The frame's own fields (BBGtype, LastParameterFilename) keep
// their defaults.
Configuration fromLegacyConfig(const LegacyIoConfig& flat, std::span<const std::string> handshakeChoices = {});

// What the dialog may be opened with: nothing (the defaults), a current or
// a legacy record.
using ConnectionInput = std::variant<std::monostate, Configuration, LegacyIoConfig>;

// 1 for "b" (IXO-B), 2 for "c" (IXO-C), 0 for anything else (a connection
// that is not the signal generator's: every kind allowed).
int connectionModel(std::string_view platform);
// The IXO-B has no LAN port and the IXO-C no RS-232 port; a radio stands in
// for either.
bool connectionKindAllowed(int model, std::string_view type);

// True when the record names a software-defined radio, not an instrument.
bool isRadioConnection(const Configuration& c);
// "" when `c` reaches an instrument; else why `what` ("The dirty-transmitter
// test") cannot run on the radio it names, and what to choose instead.
std::string instrumentOnlyRefusal(const Configuration& c, std::string_view what);

// Opening: the record (converted when flat, the defaults when none) with
// its bus numbers limited (GPIB board 0..15, primary 0..30, secondary
// -1..31, serial port 1..9, baud rate between the first and third entry of
// the baud list, LAN board 0), and a kind the model cannot use switched to
// GPIB.
Configuration openConnectionRecord(const ConnectionInput& in, int model);

// The dialog's lists.
const std::vector<std::string>& connectionChoices();  // "RS232", "GPIB", "TCP/IP", "SDR"
const std::vector<std::string>& baudRateChoices();
const std::vector<std::string>& handshakeChoices();  // "None", "Xon/Xoff", "RTS/CTS"
inline constexpr int kGpibBoards = 16;               // boards 0..15
inline constexpr int kPrimaryAddresses = 31;         // 0..30
inline constexpr int kSecondaryAddresses = 33;       // none, 0..31
inline constexpr int kSerialPorts = 9;               // 1..9
inline constexpr int kConnectionGpib = 2;            // item of GPIB in connectionChoices()
inline constexpr int kConnectionSdr = 4;             // item of the radio
inline constexpr double kSdrGainLimit = 200;         // dB either side of 0; the radio limits further

// The list items (counted from 1) and the address text of a record.
struct ConnectionControls {
    int connection = kConnectionGpib;
    int gpibBoard = 1;  // board + 1
    int primary = 20;   // primary + 1
    int secondary = 1;  // secondary + 2; item 1 is "none" (-1)
    int port = 1;       // port
    std::string device;  // a serial device chosen by name ("": the numbered port)
    int baudRate = 1;
    int handshake = 1;
    std::string address;
    // The radio: its arguments (from the device list), gain text, antenna
    // ("" the device's default).
    std::string sdrArgs;
    std::string sdrGain = "0";
    std::string sdrAntenna;
    bool operator==(const ConnectionControls&) const = default;
};
// Texts are matched without regard to case; one missing from its list
// selects item 1.
ConnectionControls connectionControlsOf(const Configuration& c);
// The exact reverse: `base` with its connection fields taken from the
// controls, the baud rate read back as a number and the LAN board 0. A gain
// text that is no number keeps base's gain (a radio is never turned up by a
// typing slip); a number is limited to +-kSdrGainLimit.
Configuration connectionFromControls(const ConnectionControls& k, const Configuration& base);

// The connection item that choosing `item` leaves selected: GPIB when the
// model cannot use the chosen kind.
int chooseConnection(int model, int item);
// Why a kind is not offered for the model ("" when it is).
std::string connectionRefusal(int model, int item);

// How to set the instrument's RS-232 pacing for a handshake item.
std::string rs232PacingHint(int handshakeItem);
// The window's name when the dialog serves a connection named `platform`
// that is no generation letter; "" otherwise (the layout's own name stays).
std::string connectionWindowTitle(std::string_view platform);

// "" for an address HwIO can reach ("a.b.c.d" or "a.b.c.d:port"), else what
// to type instead.
std::string lanAddressProblem(std::string_view address);

// The serial port list's item text for port `port`: the number with the
// device it opens, marked when the system reports that device present.
std::string serialPortLabel(int port, std::span<const std::string> presentDevices);

// The serial port list: ports 1..kSerialPorts by number, then each device
// the system reports that no number reaches (USB adapters), then the
// record's own device when it is none of these (an adapter unplugged now).
struct SerialPortList {
    std::vector<std::string> labels;   // the items' texts
    std::vector<std::string> devices;  // per item: "" for a numbered port, else the device
};
SerialPortList serialPortList(std::span<const std::string> presentDevices, const std::string& recordDevice);
// The item (from 1) showing the controls' port, and the reverse: the
// controls' port and device for an item (a device item keeps `k.port`).
int serialPortItem(const SerialPortList& list, const ConnectionControls& k);
void chooseSerialPortItem(const SerialPortList& list, int item, ConnectionControls& k);

// Points the record's RS-232 connection at `text`: a port number 1..9 or a
// device name. A name that a port number reaches is stored as that number,
// so programs that know only numbers read it the same; any other name goes
// into RS232.device with the number kept. "" when done, else why not.
std::string chooseSerialPort(Configuration& c, std::string_view text);

// The radio group's lists. Devices: what enumeration found (label and
// arguments), `problem` saying why nothing was found.
struct SdrDeviceList {
    std::vector<std::string> labels;
    std::vector<std::string> args;
    std::string problem;
};
// The item (from 1) of `args` in the list; 0 when absent.
int sdrDeviceItem(const SdrDeviceList& list, const std::string& args);
// The arguments the device field means: an item's label stands for its
// arguments; anything else typed there is taken as arguments itself (a
// radio enumeration does not find, "driver=plutosdr,hostname=192.168.2.1").
std::string sdrArgsOfText(const SdrDeviceList& list, const std::string& text);
// Antennas: item 1 the device's default (value ""), then those the device
// names, then the record's own when the device does not name it.
struct SdrAntennaList {
    std::vector<std::string> labels;
    std::vector<std::string> values;
};
SdrAntennaList sdrAntennaList(std::span<const std::string> deviceAntennas, const std::string& recordAntenna);
// What the dialog's OK needs of a radio record: "" or what is missing.
std::string sdrConnectionProblem(const Configuration& c);

namespace connection_tips {
inline constexpr const char* kPrimaryAddress =
    "Select the primary address of your source.\r\nThe default factory setting is 19.";
inline constexpr const char* kBaudRate = "Select the communication baud rate.\r\nNOTE: This must agree with the instrument.";
inline constexpr const char* kChecking = "... Checking ...";
inline constexpr const char* kSdrDevice =
    "Selects the software-defined radio that plays the waveform,\r\nor type its device arguments (driver=...).\r\n"
    "Download loops the waveform on the carrier set in the panel.";
inline constexpr const char* kSdrGain =
    "Sets the radio's overall transmit gain in dB.\r\nThe radio limits it to its own range; Refresh applies a new value.";
inline constexpr const char* kSdrAntenna = "Selects the radio's transmit port.";
}  // namespace connection_tips

}  // namespace bt
