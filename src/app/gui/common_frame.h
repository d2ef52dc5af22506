#pragma once
// The common frame around an application window (rfCommonUI): the menu bar,
// the Calculate / Download / Refresh buttons, the title bar, settings files,
// waveform saving, the readiness check, the plot menu and shutdown. It knows
// nothing about Bluetooth: the application is reached through its
// dispatcher with the action words "Calculate", "InitializeParameters",
// "InitializeSigGenSettings" and "redraw".
//
// Wiring in from other windows:
// - plot windows: the menuPlot*_Callback routines live in frame_plots.cpp;
//   each opens its window over main() and hands it to addClientWindow();
// - the connection dialog: menuConfigSigGenIO_Callback in frame_connection.cpp;
// - every routine is also reachable by name: rfCommonUI("pbCalculate_Callback").
#include <QLabel>
#include <QList>
#include <QMainWindow>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <memory>
#include <optional>
#include <string>

#include "app/frame_logic.h"
#include "bluetooth/settings.h"

#include "windowkit/gui/dialog_figure.h"
#include "windowkit/gui/dispatch.h"
#include "windowkit/gui/figure.h"

namespace bt::radio {
class LoopPlayer;
}

namespace bt::gui {

struct RadioSource;

// The five top-level menus of the menu bar.
struct MenuHeaders {
    QMenu* File = nullptr;
    QMenu* Plot = nullptr;
    QMenu* Config = nullptr;
    QMenu* Special = nullptr;
    QMenu* Help = nullptr;
};

// Builds the frame's menu bar on `figure`: every item tagged (objectName)
// as its routine is named, hidden items present but invisible, the
// Baseband Generator submenu only on platform 'c'. Items are not connected.
MenuHeaders Ux_AddMenu(QMainWindow* figure, char platform);

class CommonFrame : public QObject {
    Q_OBJECT
public:
    // `main` holds the frame's controls (pbCalculate, pbDownload, pbRefresh,
    // txtNumberOfSamples, txtEvent1..4); `application` runs the
    // application's routines by name.
    CommonFrame(QMainWindow* main, Dispatcher& application);
    ~CommonFrame() override;

    // rfCommonUI(name, ...): runs the frame routine `name`; an escaping
    // error is printed on stderr.
    QVariant rfCommonUI(const std::string& name, const QVariantList& args = {});
    Dispatcher& dispatcher() { return dispatcher_; }

    QMainWindow* main() const { return main_; }
    const MenuHeaders& menus() const { return menus_; }
    // The window's controls by tag, menu items included.
    const Handles& handles() const { return handles_; }
    // Re-reads the tags (after another layout was loaded into the window).
    void refreshHandles();

    // ------------------------------------------------------ the routines
    void InitializeFigure();
    // The title bar, with a star while the settings differ from the last
    // file opened or saved (or the start-up / File New defaults).
    void redrawAppTitle();
    // The status line under the window: whether the waveform is current
    // and where it was downloaded. Redrawn with the title.
    void redrawWaveformStatus();
    QString waveformStatus() const;
    // Takes the current settings as the saved state (no star).
    void markSettingsSaved();
    bool settingsModified() const;

    // Calculates through the application (busy pointer, time stamp, copy of
    // the settings); false when the calculation failed or was cancelled.
    bool executeCalculation();
    // 1 to go on with `action` ("Download", "Plot", "Save"), 0 to stop.
    int checkWaveformReady(const std::string& action);

    void pbCalculate_Callback();
    void pbDownload_Callback();
    void pbRefresh_Callback();
    void menuFileNew_Callback();
    void menuFileOpen_Callback();
    void menuFileSave_Callback();
    void menuFileSaveAs_Callback();
    void menuFileExit_Callback();
    void menuSpecialSaveWave_Callback();
    void menuConfigBBG1Opt1_Callback();
    void menuConfigBBG1Opt2_Callback();
    void menuHelpHelp_Callback();
    void menuHelpAbout_Callback();
    // Saves the waveform under `path` in the layout the user picks.
    void saveWaveform(const std::string& path);
    // Opens the settings file `path` (File Open after its dialog).
    bool loadParameters(const std::string& path);

    // Plot windows (frame_plots.cpp).
    void menuPlotSpectrum_Callback();
    void menuPlotWaterfall_Callback();
    void menuPlotIQTime_Callback();
    void menuPlotIQTimeSameAxes_Callback();
    void menuPlotEyeDiagram_Callback();
    void menuPlotScatterDiagram_Callback();
    void menuPlotCCDF_Callback();
    // Beyond the menu's table: what GFSK engineers read, the frequency.
    void menuPlotFrequencyEye_Callback();
    void menuPlotFrequency_Callback();
    // The connection dialog (frame_connection.cpp).
    void menuConfigSigGenIO_Callback();

    // A software-defined radio as the connection (frame_radio.cpp): Download
    // loops the waveform on it, Refresh retunes it, and a loop that ends on
    // its own is reported.
    bool radioPlaying() const;
    // Stops the loop (a new calculation, another connection, shutdown).
    void stopRadio();
    // What the connection dialog offers as radios.
    RadioSource radioSource();
    radio::LoopPlayer& radioPlayer();

    // Windows opened from the frame, closed at shutdown; each is also listed
    // in appInfo.ClientWindows.
    void addClientWindow(QWidget* w);
    QList<QWidget*> clientWindows() const;

    // Closes the client windows, writes rfIOConfig.mat and deletes the
    // frame window. Runs once; closing the window runs it too.
    void AppShutDown();
    bool isShutDown() const { return shutDown_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void addRoutines();
    void connectControls();
    void setBbgOption(const std::string& option);
    void shutDownSteps();
    void radioDownload();
    void radioRefresh();
    void watchRadio();
public:
    // Says that `what` is not part of this build (for windows still to come).
    void showPlaceholder(const std::string& what);

private:

    QPointer<QMainWindow> main_;
    Dispatcher& application_;
    Dispatcher dispatcher_{"rfCommonUI"};
    MenuHeaders menus_;
    Handles handles_;
    QList<QPointer<QWidget>> clients_;
    bool shutDown_ = false;
    // The settings as last opened, saved or reset, for the title's star.
    std::optional<Parameters> savedParameters_;
    std::optional<SigGenSettings> savedSigGen_;
    QPointer<QLabel> status_;
    std::optional<DownloadRecord> lastDownload_;
    std::unique_ptr<radio::LoopPlayer> radio_;
    QTimer radioWatch_;
};

}  // namespace bt::gui
