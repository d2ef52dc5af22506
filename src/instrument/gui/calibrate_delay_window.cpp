#include "instrument/gui/calibrate_delay_window.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QEventLoop>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <chrono>
#include <cmath>
#include <fstream>
#include <qcustomplot.h>

#include "instrument/hw_wrappers.h"
#include "lib/dialogs.h"
#include "lib/errors.h"
#include "lib/numtext.h"
#include "windowkit/gui/field_edit.h"

namespace bt::gui {

namespace {

constexpr const char* kRequiredFirmware = "B.03.83";
constexpr const char* kFirmwareWarning =
    "For proper operation, the Clock/Gate Delay Calibration requires IXO firmware version B.03.81 or higher";

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

QString q(const std::string& s) { return QString::fromStdString(s); }

// The combo boxes list "Negative", "Positive" (fields 1, 2) and "75 Ohm",
// "TTL" (1, 2): item index + 1 is the field.
double comboField(QComboBox* box) { return box->currentIndex() + 1; }
void setCombo(QComboBox* box, double field) {
    const int index = int(field) - 1;
    box->setCurrentIndex(index >= 0 && index < box->count() ? index : box->count() - 1);
}

// The busy pointer for the lifetime of the object.
struct BusyPointer {
    BusyPointer() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyPointer() { QApplication::restoreOverrideCursor(); }
};

}  // namespace

CalibrateDelayWindow::CalibrateDelayWindow(QWidget* parent) {
    QWidget* w = loadFigure("bt_CalibrateDelay.fig", parent);
    dialog_ = qobject_cast<QDialog*>(w);
    if (!dialog_) {
        delete w;
        throw Error("The calibration layout is not a dialog.");
    }
    dialog_->setModal(true);
    dialog_->hide();
    handles_ = Handles(dialog_);
    plot_ = handles_.get<QCustomPlot>("plotAxis");
    plot_->xAxis->setLabel("Clock/Gate Delay (us)");
    plot_->yAxis->setLabel("BER (%)");
    plot_->legend->setVisible(true);
    plot_->legend->setFont(QFont(plot_->font().family(), 8));
    // The legend sits in a row of its own under the axes, one entry beside
    // the other, so it never hides a part of the curve.
    if (QCPLayoutInset* inset = plot_->axisRect()->insetLayout(); inset->elementCount() > 0) {
        inset->take(plot_->legend);
        inset->simplify();
    }
    plot_->plotLayout()->addElement(1, 0, plot_->legend);
    plot_->plotLayout()->setRowStretchFactor(1, 0.001);
    plot_->legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
    plot_->legend->setMargins(QMargins(4, 0, 4, 0));
    connect(plot_, &QCustomPlot::mousePress, this, &CalibrateDelayWindow::plotClicked);
    // Closing the window counts as Cancel.
    connect(dialog_, &QDialog::rejected, this, [this] { finish("Cancel"); });
    registerCallbacks();
    drawSettings();
    drawPlot();
    drawResults();
}

CalibrateDelayWindow::~CalibrateDelayWindow() { delete dialog_.data(); }

QDialog* CalibrateDelayWindow::window() const { return dialog_; }

void CalibrateDelayWindow::InitializeFigure() {
    const std::pair<const char*, const char*> tips[] = {
        {"editStart", "Sets start clock/gate delay of the sweep \nValid Range: 0 to 24999.9 us"},
        {"editEnd", "Sets end clock/gate delay of the sweep \nValid Range: 0 to 24999.9 us  and >=Start"},
        {"editStep", "Sets sweep step size from the start to the end\nValid Range: greater than or equal to 0.1 us"},
        {"editRepeat", "Sets the number of repeated measurement for each delay \nValid Range: 1 to 99"},
        {"editTotalBits", "Sets the total bits \nValid Range: 100 to 4294967295"},
        {"popupClkP", "Selects the clock polarity negative or positive "},
        {"popupDataP", "Selects the data polarity negative or positive "},
        {"txtGateOnOff", "Gate status\n"},
        {"popupClockGate", "Selects the gate polarity negative or positive"},
        {"popupImpedance", "Selects impedance type: TTL or 75 Ohm "},
        {"pbLeft", "Move the cursor in the plot left by one step"},
        {"pbRight", "Move the cursor in the plot right by one step"},
        {"labelMaxBER", "Maximum BERT result at current delay"},
        {"textMaxBER", "Maximum BERT result at current delay"},
        {"labelMinBER", "Minimum BERT result at current delay"},
        {"textMinBER", "Minimum BERT result at current delay"},
        {"labelBER", "Average BERT result at current delay"},
        {"textAvgBER", "Average BERT result at current delay"},
        {"txtCurrentDelay", "Current delay pointed to by the cursor in the plot"},
        {"textDelay", "Current delay pointed to by the cursor in the plot"},
        {"pbOK", "Close the dialog box and save the settings"},
        {"pbStart", "Start measurement"},
        {"pbCancel", "Close the dialog box and ingore the settings"},
        {"pbSetDelay", "Select the green cursor's position as the clock/gate delay"},
    };
    for (const auto& [tag, tip] : tips) handles_.get<QWidget>(tag)->setToolTip(tip);
    const QScreen* screen = dialog_->screen();
    resizeAllFonts(handles_, screen ? screen->logicalDotsPerInch() : 0);
}

void CalibrateDelayWindow::registerCallbacks() {
    auto& d = dispatcher_;
    d.add("editStart_Callback", [this] { edit("editStart", editStart); });
    d.add("editEnd_Callback", [this] { edit("editEnd", editEnd); });
    d.add("editStep_Callback", [this] { edit("editStep", editDelayStep); });
    d.add("editRepeat_Callback", [this] { edit("editRepeat", editRepeat); });
    d.add("editTotalBits_Callback", [this] { edit("editTotalBits", editTotalBits); });
    d.add("popupClkP_Callback", [this] { config_.ClockPolarity = comboField(handles_.get<QComboBox>("popupClkP")); });
    d.add("popupDataP_Callback", [this] { config_.DataPolarity = comboField(handles_.get<QComboBox>("popupDataP")); });
    d.add("popupClockGate_Callback",
          [this] { config_.GatePolarity = comboField(handles_.get<QComboBox>("popupClockGate")); });
    d.add("popupImpedance_Callback",
          [this] { config_.Impedance = comboField(handles_.get<QComboBox>("popupImpedance")); });
    d.add("pbLeft_Callback", [this] { moveCursor(-1); });
    d.add("pbRight_Callback", [this] { moveCursor(1); });
    d.add("pbSetDelay_Callback", [this] {
        const auto i = std::size_t(config_.CurSelDelayIdx);
        if (i >= 1 && i <= config_.Delay.size()) config_.MinBERDelay = config_.Delay[i - 1];
        drawResults();
    });
    d.add("pbStart_Callback", [this] {
        if (measuring_) {  // the button reads "Stop"
            status_ = 0;
            return;
        }
        status_ = 1;
        const SweepHooks hooks{[this](double s) { return pause(s); },
                               [this](const DelayFinderConfig& c, std::size_t i) { progress(c, i); },
                               [this](const std::string& t, const std::string& m) { report(t, m); }};
        setMeasuring(true);
        sweepStarted_ = now();
        lastReport_.clear();
        bool started = false;
        try {
            started = runDelayMeasurement(io_, config_, hooks);
        } catch (const std::exception& e) {
            report(kErrorTitle, e.what());
        }
        setMeasuring(false);
        // The line under the plot says how the sweep ended, not only that
        // it ended: a refused start or a failed exchange is no finished sweep.
        QString outcome;
        if (!started)
            outcome = "Sweep not started" + (lastReport_.empty() ? QString() : ": " + q(lastReport_));
        else if (!lastReport_.empty())
            outcome = "Sweep ended by an error: " + q(lastReport_);
        else
            outcome = status_ ? "Sweep finished" : "Sweep stopped";
        handles_.get<QLabel>("lblProgress")->setText(outcome);
        drawSettings();
        drawPlot();
        drawResults();
    });
    d.add("pbOK_Callback", [this] { finish("OK"); });
    d.add("pbCancel_Callback", [this] { finish("Cancel"); });
    d.add("pbSaveCsv_Callback", [this] { saveCsv(); });
    d.add("pbSaveImage_Callback", [this] { saveImage(); });

    // Controls call their routine by name, like every window of the program.
    for (const char* tag : {"editStart", "editEnd", "editStep", "editRepeat", "editTotalBits"}) {
        auto* e = handles_.get<QLineEdit>(tag);
        onFieldEdited(e, this, [this, tag] { call(std::string(tag) + "_Callback"); });
    }
    for (const char* tag : {"popupClkP", "popupDataP", "popupClockGate", "popupImpedance"}) {
        auto* c = handles_.get<QComboBox>(tag);
        connect(c, &QComboBox::activated, this, [this, tag] { call(std::string(tag) + "_Callback"); });
    }
    for (const char* tag :
         {"pbLeft", "pbRight", "pbSetDelay", "pbStart", "pbOK", "pbCancel", "pbSaveCsv", "pbSaveImage"}) {
        auto* b = handles_.get<QPushButton>(tag);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, [this, tag] { call(std::string(tag) + "_Callback"); });
    }
}

QVariant CalibrateDelayWindow::call(const std::string& name, const QVariantList& args) {
    return dispatcher_.call(name, args);
}

CalibrateDelayWindow::Result CalibrateDelayWindow::Bt_CalibrateDelay(const Configuration& io,
                                                                     const DelayFinderConfig& config) {
    io_ = io;
    config_ = openDelayFinder(config);
    answer_ = "Cancel";
    status_ = 1;
    drawSettings();
    drawPlot();
    drawResults();
    handles_.get<QLabel>("lblProgress")->setText("Ready");
    dialog_->show();
    QApplication::processEvents();
    checkInstrument();
    if (status_ == 1 && dialog_->isVisible()) dialog_->exec();
    dialog_->hide();
    return {answer_, storedDelayFinder(config_)};
}

void CalibrateDelayWindow::finish(const std::string& answer) {
    if (!dialog_->isVisible() && status_ == 0) return;
    answer_ = answer;
    status_ = 0;
    // A running sweep sees the cleared flag at its next pause and unwinds;
    // the window closes once it has.
    QTimer::singleShot(0, dialog_, [d = dialog_] {
        if (d) d->done(0);
    });
}

void CalibrateDelayWindow::checkInstrument() {
    BusyPointer busy;
    HwResult r = VerifyComm(io_);
    if (r.ok()) {
        const InstrModel m = GetInstrModel(io_);
        if (m.status != 0)
            r = {m.status, m.desp};
        else if (m.model == "b" || m.model == "B")
            r = VerifyFirmwareVersion(io_, kRequiredFirmware);
    }
    if (!r.ok()) dialogs().message(r.status == -101 ? kFirmwareWarning : r.response, "Warning");
}

void CalibrateDelayWindow::edit(const char* tag, DelayEdit (*rule)(const DelayFinderConfig&, const std::string&)) {
    auto* field = handles_.get<QLineEdit>(tag);
    const DelayEdit e = rule(config_, field->text().toStdString());
    if (!e.message.empty()) dialogs().error(e.message, kInvalidInputTitle);
    config_ = e.config;
    field->setText(q(e.shown));
}

void CalibrateDelayWindow::drawSettings() {
    handles_.get<QLineEdit>("editStart")->setText(q(formatNumber(config_.Start)));
    handles_.get<QLineEdit>("editEnd")->setText(q(formatNumber(config_.End)));
    handles_.get<QLineEdit>("editStep")->setText(q(formatNumber(config_.DelayStep)));
    handles_.get<QLineEdit>("editRepeat")->setText(q(formatNumber(config_.Repeat)));
    handles_.get<QLineEdit>("editTotalBits")->setText(q(formatNumber(config_.TotalBits)));
    setCombo(handles_.get<QComboBox>("popupClkP"), config_.ClockPolarity);
    setCombo(handles_.get<QComboBox>("popupDataP"), config_.DataPolarity);
    setCombo(handles_.get<QComboBox>("popupClockGate"), config_.GatePolarity);
    setCombo(handles_.get<QComboBox>("popupImpedance"), config_.Impedance);
    const bool gate = config_.GateOnOff == 1;
    handles_.get<QLabel>("txtGateOnOff")->setText(gate ? "Gate: on" : "Gate: off");
    handles_.get<QComboBox>("popupClockGate")->setEnabled(gate && !measuring_);
}

void CalibrateDelayWindow::drawPlot() {
    plot_->clearGraphs();
    plot_->clearItems();
    const QVector<double> x(config_.Delay.begin(), config_.Delay.end());
    for (std::size_t r = 0; r < config_.BER.size(); ++r) {
        QCPGraph* g = plot_->addGraph();
        g->setName(QString("Run %1").arg(r + 1));
        g->setPen(QPen(QColor(220, 40, 40), 1));
        g->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssTriangle, 6));
        // Unmeasured points (NaN) leave gaps in the line.
        g->setData(x, QVector<double>(config_.BER[r].begin(), config_.BER[r].end()), true);
    }
    const DelayStats s = delayStatistics(config_);
    QCPGraph* avg = plot_->addGraph();
    avg->setName("Average");
    avg->setPen(QPen(QColor(20, 60, 200), 2));
    avg->setData(x, QVector<double>(s.average.begin(), s.average.end()), true);

    const auto i = std::size_t(config_.CurSelDelayIdx);
    if (i >= 1 && i <= config_.Delay.size()) {
        auto* cursor = new QCPItemStraightLine(plot_);
        cursor->setPen(QPen(QColor(0, 160, 0), 2));
        cursor->point1->setCoords(config_.Delay[i - 1], 0);
        cursor->point2->setCoords(config_.Delay[i - 1], 1);
    }
    double top = 1;
    for (double v : s.maximum)
        if (!std::isnan(v)) top = std::max(top, v);
    const double lo = config_.Delay.empty() ? 0 : config_.Delay.front();
    const double hi = config_.Delay.empty() ? 1 : config_.Delay.back();
    plot_->xAxis->setRange(lo - 0.05, std::max(hi, lo + 0.1) + 0.05);
    plot_->yAxis->setRange(0, top * 1.1);
    plot_->replot(QCustomPlot::rpQueuedReplot);
}

void CalibrateDelayWindow::drawResults() {
    const DelayStats s = delayStatistics(config_);
    const auto i = std::size_t(config_.CurSelDelayIdx);
    const bool ok = i >= 1 && i <= config_.Delay.size();
    handles_.get<QLabel>("textDelay")->setText(ok ? q(formatNumber(config_.Delay[i - 1]) + " us") : "N/A");
    handles_.get<QLabel>("textAvgBER")->setText(q(berText(ok ? s.average[i - 1] : NAN)));
    handles_.get<QLabel>("textMaxBER")->setText(q(berText(ok ? s.maximum[i - 1] : NAN)));
    handles_.get<QLabel>("textMinBER")->setText(q(berText(ok ? s.minimum[i - 1] : NAN)));
    const bool chosen = !std::isnan(config_.MinBERDelay) && config_.MinBERDelay >= 0;
    handles_.get<QPushButton>("pbOK")->setText(chosen ? q("OK (" + formatNumber(config_.MinBERDelay) + " us)")
                                                      : QString("OK"));
}

void CalibrateDelayWindow::setMeasuring(bool on) {
    measuring_ = on;
    auto* start = handles_.get<QPushButton>("pbStart");
    start->setText(on ? "Stop" : "Start");
    start->setToolTip(on ? "Stop measurement" : "Start measurement");
    // The settings stay as they are while a sweep uses them.
    handles_.get<QGroupBox>("groupSweep")->setEnabled(!on);
    handles_.get<QGroupBox>("groupBert")->setEnabled(!on);
    for (const char* tag : {"pbLeft", "pbRight", "pbSetDelay", "pbSaveCsv", "pbSaveImage"})
        handles_.get<QPushButton>(tag)->setEnabled(!on);
    plot_->setAttribute(Qt::WA_TransparentForMouseEvents, on);
    drawSettings();
}

bool CalibrateDelayWindow::pause(double seconds) {
    if (status_ == 0) return false;
    QEventLoop loop;
    QTimer::singleShot(int(std::lround(seconds * pauseScale_ * 1000)), &loop, &QEventLoop::quit);
    loop.exec();
    return status_ == 1;
}

void CalibrateDelayWindow::progress(const DelayFinderConfig& c, std::size_t delayIndex) {
    config_.BER = c.BER;
    config_.Delay = c.Delay;
    config_.CurSelDelayIdx = double(delayIndex + 1);
    drawPlot();
    drawResults();
    const std::size_t n = c.Delay.size();
    const double elapsed = now() - sweepStarted_;
    const double done = double(delayIndex) / double(std::max<std::size_t>(n, 1));
    QString text = QString("Delay %1 of %2 (%3 us), %4 s elapsed")
                       .arg(delayIndex + 1)
                       .arg(n)
                       .arg(q(formatNumber(delayIndex < n ? c.Delay[delayIndex] : 0)))
                       .arg(elapsed, 0, 'f', 1);
    if (done > 0) text += QString(", about %1 s left").arg(elapsed / done * (1 - done), 0, 'f', 0);
    handles_.get<QLabel>("lblProgress")->setText(text);
}

void CalibrateDelayWindow::report(const std::string& title, const std::string& text) {
    if (lastReport_.empty()) lastReport_ = title;
    dialogs().error(text, title);
}

void CalibrateDelayWindow::moveCursor(long step) {
    const long n = long(config_.Delay.size());
    if (n == 0) return;
    long i = long(config_.CurSelDelayIdx) - 1 + step;
    i = ((i % n) + n) % n;  // wraps at both ends
    config_.CurSelDelayIdx = double(i + 1);
    drawPlot();
    drawResults();
}

void CalibrateDelayWindow::plotClicked(QMouseEvent* event) {
    if (measuring_ || config_.Delay.empty()) return;
    const double x = plot_->xAxis->pixelToCoord(event->position().x());
    std::size_t best = 0;
    for (std::size_t i = 1; i < config_.Delay.size(); ++i)
        if (std::fabs(config_.Delay[i] - x) < std::fabs(config_.Delay[best] - x)) best = i;
    config_.CurSelDelayIdx = double(best + 1);
    drawPlot();
    drawResults();
}

void CalibrateDelayWindow::saveCsv() {
    const auto path = dialogs().saveFile("*.csv", "Save the BER curve", "delay_sweep.csv");
    if (!path) return;
    std::ofstream out(*path);
    const DelayStats s = delayStatistics(config_);
    out << "delay_us,average_percent,maximum_percent,minimum_percent";
    for (std::size_t r = 0; r < config_.BER.size(); ++r) out << ",run" << r + 1 << "_percent";
    out << '\n';
    const auto cell = [](double v) { return std::isnan(v) ? std::string() : formatNumber(v); };
    for (std::size_t i = 0; i < config_.Delay.size(); ++i) {
        out << formatNumber(config_.Delay[i]) << ',' << cell(s.average[i]) << ',' << cell(s.maximum[i]) << ','
            << cell(s.minimum[i]);
        for (const auto& row : config_.BER) out << ',' << cell(i < row.size() ? row[i] : NAN);
        out << '\n';
    }
    out.close();
    if (!out) dialogs().error("Could not write " + *path, "Error Saving File");
}

void CalibrateDelayWindow::saveImage() {
    const auto path = dialogs().saveFile("*.png;*.pdf", "Save the plot", "delay_sweep.png");
    if (!path) return;
    const QString p = q(*path);
    const bool ok = p.endsWith(".pdf", Qt::CaseInsensitive) ? plot_->savePdf(p) : plot_->savePng(p);
    if (!ok) dialogs().error("Could not write " + *path, "Error Saving File");
}

}  // namespace bt::gui
