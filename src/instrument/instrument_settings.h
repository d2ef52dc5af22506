#pragma once
// The instrument records: how to reach the signal generator and how to set it
// up for playback. Plain structs with the field names the settings files and
// the instrument dialogue use; copied by value.
#include <string>

namespace bt {

// Connection to the signal generator.
struct Configuration {
    std::string type = "GPIB";  // "GPIB", "RS232", "TCPIP" or "SDR" (a software-defined radio)
    struct Gpib {
        double board = 0;
        double primary = 19;
        double secondary = -1;
        bool operator==(const Gpib&) const = default;
    } GPIB;
    struct Rs232 {
        double port = 1;
        double baudrate = 19200;
        std::string handshake = "Xon/Xoff";
        // A serial device by name ("/dev/ttyUSB0"), for the adapters no port
        // number reaches; empty: the platform's device of `port`. Files from
        // before it lack it and so keep meaning the port number.
        std::string device;
        bool operator==(const Rs232&) const = default;
    } RS232;
    struct Tcpip {
        std::string address = "0.0.0.0";
        double board = 0;
        bool operator==(const Tcpip&) const = default;
    } TCPIP;
    // A software-defined radio in the instrument's place: Download loops the
    // waveform on it. Files from before it lack it and read these defaults.
    struct Sdr {
        std::string args;     // device arguments ("driver=hackrf,serial=...")
        double gain = 0;      // dB, overall transmit gain
        std::string antenna;  // empty: the device's default
        bool operator==(const Sdr&) const = default;
    } SDR;
    std::string BBGtype = "002";  // baseband generator option; "001" has less memory
    std::string LastParameterFilename;
    bool operator==(const Configuration&) const = default;
};

struct SigGenSettings {
    std::string Title = "BT";
    double Frequency = 2402e6;  // Hz; channel k is 2402 + k MHz
    double Amplitude = 0;       // dBm
    double SamplingRate = 10e6;
    double RFblanking = 0;
    double ArbRefSource = 0;
    double MarkerPolarity = 0;
    double ALC = 1;
    double ReconFilter = 2;
    double BBfilter = 2;
    double Scaling = 95;
    double ModAtten = 0;
    bool operator==(const SigGenSettings&) const = default;
};

}  // namespace bt
