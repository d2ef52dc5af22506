#pragma once
// The application window (bt_GUI): shows the settings record in its
// controls, passes every edit to the settings editor, calculates the signal
// and opens the other windows. The common frame around it brings the
// menus, the Calculate / Download / Refresh buttons and the files.
//
// Wiring in other windows (each in its own file, see the bottom of this
// class): child windows are created once at start-up as children of
// parentWidget() and stored in figureList; the signal-generator panel is
// loaded into sigGenPanelHost() and registers its routines
// ("InitializeSigGenScreenObjects", "redrawSigGenSettings",
// "updateFrequency") in sigGenPanel(); after changing the records a window
// calls redraw().
#include <QElapsedTimer>
#include <QMainWindow>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QSplashScreen>
#include <memory>
#include <optional>
#include <string>

#include "bluetooth/main_window_view.h"
#include "bluetooth/settings_editor.h"
#include "app/gui/common_frame.h"
#include "windowkit/gui/dispatch.h"
#include "windowkit/gui/figure.h"

namespace bt::gui {

struct StartOptions {
    char platform = 'c';            // 'c' R7720K (Bt_c), 'b' IXO-B
    bool showSplash = true;
    int splashMinimumMs = 3000;     // the splash stays at least this long
    std::string settingsFile;       // opened once the window is shown
    std::string lanAddress;         // "HOST[:PORT]": use this LAN instrument
};

// How long the splash must still stay after `elapsedMs` of start-up.
int splashRemainingMs(qint64 elapsedMs, int minimumMs);

class MainWindow : public QObject {
    Q_OBJECT
public:
    // The start-up: splash, records, window, menus, frame, child windows,
    // redraw, splash wait, window shown.
    explicit MainWindow(const StartOptions& options = {});
    ~MainWindow() override;

    // bt_GUI(name, ...): runs the routine `name` (a callback or one of the
    // window's operations); an escaping error is printed on stderr.
    QVariant bt_GUI(const std::string& name, const QVariantList& args = {});
    Dispatcher& dispatcher() { return dispatcher_; }

    // The window; null once shut down.
    QMainWindow* window() const { return window_; }
    // The parent for child windows and dialogs.
    QWidget* parentWidget() const { return window_; }
    CommonFrame* frame() const { return frame_; }
    // The window's controls by tag (the panel's included once loaded).
    const Handles& handles() const { return handles_; }
    // Re-reads the tags after a layout was loaded into the window.
    void refreshHandles();

    // Where the signal-generator panel goes, and its routines by name.
    QWidget* sigGenPanelHost() const;
    Dispatcher& sigGenPanel() { return sigGenPanel_; }

    // Child windows by name ("Impairments", "DirtyTransmitter", ...).
    QMap<QString, QPointer<QWidget>> figureList;

    // The instrument the edits are checked against.
    EditContext editContext() const;

    // ----------------------------------------------- redraw and calculate
    void redraw();
    void redrawFormatParameters();
    void redrawPacketType();
    void redrawPayloadSetup();
    void redrawGenerationParameters();
    void redrawProjectedLength();
    void redrawChannel();
    // Generates the signal of the current settings into the application
    // state, with a progress window and Cancel for long ones. False when it
    // failed (the error is shown) or was cancelled.
    bool Calculate();

    // Milliseconds from the start of start-up to the window shown, without
    // the splash wait.
    qint64 startupMs() const { return startupMs_; }
    QSplashScreen* splash() const { return splash_.get(); }

private:
    void addRoutines();
    void connectControls();
    void InitializeFigure();
    void initializeParameters();
    void initializeSigGenSettings();
    void applyEdit(const EditResult& r);
    void applyView(const MainWindowView& v, unsigned parts);
    void hideAbsentEvents();

    // Callbacks of the window's own controls.
    void pbGenerationMode_Callback();
    void pdLinkType_Callback();
    void pdPacketType_Callback();
    void pdMultiPacket_Callback();
    void pdPayload_Callback();
    void chkDataWhiteningActive_Callback();
    void chkBurstActive_Callback();
    void chkMirrorSpectrum_Callback();
    void textField_Callback(const char* tag, EditResult (*edit)(const Parameters&, std::string_view, const EditContext&));
    void txtFrequency_Callback();
    void txtChannel_Callback();
    void pbCalibrateDelay_Callback();

    // ---------------------------------------- windows built elsewhere
    // Each pair below lives in its own file, owned with its window.
    // main_window_sig_gen.cpp: the signal-generator panel and its advanced
    // dialog ("AdvSettings").
    void initSigGenWindows();
    // main_window_impairments.cpp: the impairment window ("Impairments").
    void initImpairmentsWindow();
    void pbImpairments_Callback();
    // main_window_dirty_tx.cpp: the dirty-transmitter windows
    // ("DirtyTransmitter", "bt_DT_EventMarkers").
    void initDirtyTransmitterWindows();
    void pbDirtyTransmitter_Callback();
    // main_window_calibration.cpp: the calibration window ("CalibrateDelay"),
    // opened by pbCalibrateDelay_Callback once the measurement waveform
    // plays; `keptDelay` is the clock/gate delay before the measurement.
    void initCalibrateDelayWindow();
    void openCalibrateDelayWindow(double keptDelay);

    void showPlaceholder(const std::string& what);

    StartOptions options_;
    std::unique_ptr<QSplashScreen> splash_;
    QPointer<QMainWindow> window_;
    QPointer<CommonFrame> frame_;
    Dispatcher dispatcher_{"bt_GUI"};
    Dispatcher sigGenPanel_{"IXOconfig_b_c"};
    Handles handles_;
    qint64 startupMs_ = 0;
};

}  // namespace bt::gui
