#pragma once
// The connection dialog (Ux_SigGen): how the instrument is reached (GPIB,
// RS-232 or LAN) or which software-defined radio stands in for it, with a
// check that asks the instrument (or radio) who it is. The
// rules (kinds per model, limits, legacy records, hints) are the
// connection editor's; the window shows them. Created once, hidden after
// each answer.
#include <QDialog>
#include <QObject>
#include <QPointer>
#include <functional>
#include <string>
#include <vector>

#include "instrument/connection_editor.h"
#include "instrument/transport.h"
#include "windowkit/gui/dispatch.h"
#include "windowkit/gui/figure.h"

namespace bt::gui {

struct ConnectionAnswer {
    std::string response;  // "OK" or "Cancel"
    Configuration config;  // the record built from the controls on "OK"
};

// The radios the dialog offers. The window sits below the radio layer, so
// the application hands it these routines; without them the radio kind is
// greyed.
struct RadioSource {
    // The device list, the record's own radio kept when it is not found now.
    std::function<SdrDeviceList(const Configuration::Sdr& current)> devices;
    // The transmit antennas of a device (empty when it cannot be asked).
    std::function<std::vector<std::string>(const std::string& args)> antennas;
    // Check Connection for a radio.
    std::function<HwResult(const Configuration::Sdr& radio)> check;
};

class ConnectionDialog : public QObject {
    Q_OBJECT
public:
    // Loads "Ux_SigGen.fig" as a hidden window over `parent`. The object
    // belongs to `parent` (to the caller when null) and deletes the window
    // with itself.
    explicit ConnectionDialog(QWidget* parent);
    ~ConnectionDialog() override;
    static ConnectionDialog* of(QWidget* window);

    // Ux_SigGen(figure, config, platform): `platform` is the generation
    // letter ("b", "c") or the name of another connection. Waits for OK or
    // Cancel; on Cancel `config` is the record as opened.
    ConnectionAnswer open(const ConnectionInput& config, const std::string& platform);

    QVariant Ux_SigGen(const std::string& action, const QVariantList& args = {});
    void setRadioSource(RadioSource source) { radios_ = std::move(source); }

    QDialog* window() const { return window_; }
    const Handles& handles() const { return handles_; }
    // True while a connection check runs.
    bool checking() const { return checking_; }
    // The record the controls describe now.
    Configuration configFromControls() const;

private:
    void addRoutines();
    void connectControls();
    void fillLists();
    void redraw(const Configuration& c);
    void showChosenGroup();
    void pmConnection_Callback();
    void pmHandShake_Callback();
    void editTCPIPAddress_Callback();
    void pbCheckHardware_Callback();
    void pmSdrDevice_Callback();
    void editSdrGain_Callback();
    // The radio group's lists, filled when the radio kind is first shown
    // (enumeration can take seconds).
    void fillSdrDevices();
    void fillSdrAntennas(const std::string& args, const std::string& antenna);
    std::string chosenSdrArgs() const;
    void release(const char* response);
    // The status line; a failed check is shown in red.
    void setStatus(const std::string& text, bool failed = false);
    bool eventFilter(QObject* watched, QEvent* event) override;

    QPointer<QDialog> window_;
    Handles handles_;
    Dispatcher dispatcher_{"Ux_SigGen"};
    QString defaultTitle_;
    int model_ = 0;
    Configuration opened_;
    SerialPortList serialPorts_;
    RadioSource radios_;
    SdrDeviceList sdrDevices_;
    SdrAntennaList sdrAntennas_;
    bool sdrListed_ = false;
    double sdrGain_ = 0;  // the gain shown, kept when the field holds no number
    std::string response_ = "Cancel";
    bool checking_ = false;
};

}  // namespace bt::gui
