#pragma once
// The clock/gate delay calibration window: a modal dialog that sweeps the
// markers' delay against the instrument's BERT (instrument/delay_calibration.h)
// and plots BER against delay.
#include <QObject>
#include <QPointer>
#include <QVariant>
#include <memory>
#include <string>

#include "instrument/delay_calibration.h"
#include "instrument/instrument_settings.h"
#include "windowkit/gui/dispatch.h"
#include "windowkit/gui/figure.h"

class QCustomPlot;
class QDialog;
class QMouseEvent;

namespace bt::gui {

class CalibrateDelayWindow : public QObject {
    Q_OBJECT
public:
    // Loads the layout as a hidden child of `parent`.
    explicit CalibrateDelayWindow(QWidget* parent = nullptr);
    ~CalibrateDelayWindow() override;

    // Tooltips and fonts, once at start-up.
    void InitializeFigure();

    struct Result {
        std::string answer;  // "OK" or "Cancel"
        DelayFinderConfig config;  // the record handed back (NaN stored as -1)
    };
    // Opens the window on `config` against the instrument `io`, checks the
    // instrument, and waits until OK, Cancel or closing.
    Result Bt_CalibrateDelay(const Configuration& io, const DelayFinderConfig& config);

    // Runs a callback of the window by name ("pbStart_Callback", ...).
    QVariant call(const std::string& name, const QVariantList& args = {});

    QDialog* window() const;
    const Handles& handles() const { return handles_; }
    const DelayFinderConfig& config() const { return config_; }
    // 1 while a sweep may run; Stop, OK, Cancel and closing clear it.
    int symbolDelayFinderStatus() const { return status_; }
    // Scales every pause of the sweep (tests run them in milliseconds).
    void setPauseScale(double scale) { pauseScale_ = scale; }

private:
    void registerCallbacks();
    void drawSettings();
    void drawPlot();
    void drawResults();
    void setMeasuring(bool on);
    bool pause(double seconds);
    void progress(const DelayFinderConfig& c, std::size_t delayIndex);
    void report(const std::string& title, const std::string& text);
    void edit(const char* tag, DelayEdit (*rule)(const DelayFinderConfig&, const std::string&));
    void moveCursor(long step);
    void plotClicked(QMouseEvent* event);
    void checkInstrument();
    void saveCsv();
    void saveImage();
    void finish(const std::string& answer);

    QPointer<QDialog> dialog_;
    Handles handles_;
    Dispatcher dispatcher_{"Bt_CalibrateDelay"};
    QCustomPlot* plot_ = nullptr;
    Configuration io_;
    DelayFinderConfig config_;
    std::string answer_ = "Cancel";
    int status_ = 0;
    bool measuring_ = false;
    std::string lastReport_;  // title of the first failure reported in the current sweep
    double pauseScale_ = 1.0;
    double sweepStarted_ = 0;  // seconds, steady clock
};

}  // namespace bt::gui
