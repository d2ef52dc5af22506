// The clock/gate delay calibration window, figureList["CalibrateDelay"].
#include <cmath>

#include "app/gui/main_window.h"
#include "instrument/gui/calibrate_delay_window.h"
#include "app/app_state.h"
#include "lib/numtext.h"
#include "windowkit/gui/dialog_figure.h"

namespace bt::gui {

void MainWindow::initCalibrateDelayWindow() {
    auto* calibration = new CalibrateDelayWindow(window_);
    calibration->setParent(window_);  // lives as long as the main window
    calibration->InitializeFigure();
    setWindowOwner(calibration->window(), calibration);
    figureList["CalibrateDelay"] = calibration->window();
}

void MainWindow::openCalibrateDelayWindow(double keptDelay) {
    auto* calibration = qobject_cast<CalibrateDelayWindow*>(windowOwner(figureList.value("CalibrateDelay")));
    AppState& s = appState();
    if (!calibration) {
        s.parameters.CGdelay = keptDelay;
        return;
    }
    DelayFinderConfig& c = s.DelayFinderConfig;
    c.BERTData = s.parameters.payloadType == 6 || s.parameters.payloadSetup == 2 ? 2 : 1;
    c.FileName = s.SigGenSettings.Title;
    c.OversamplingRate = s.parameters.OverSampling;
    // The markers just downloaded carry no delay: the sweep's rotations
    // count from there, not from the delay the settings held before.
    c.CurrentCGDelay = 0;
    c.GateOnOff = s.parameters.generationMode;  // packet mode gates the clock with the payload marker
    const CalibrateDelayWindow::Result r = calibration->Bt_CalibrateDelay(s.configuration, c);
    s.parameters.CGdelay = keptDelay;
    if (r.answer != "OK") return;
    c = r.config;
    // The chosen delay goes through the delay field's own rules (range,
    // sample grid), as if typed.
    if (c.MinBERDelay >= 0) applyEdit(editCGdelay(s.parameters, formatNumber(c.MinBERDelay), editContext()));
}

}  // namespace bt::gui
