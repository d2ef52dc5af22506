#include "app/gui/main_window.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <cmath>

#include "bluetooth/generate.h"
#include "bluetooth/user_data_file.h"
#include "lib/dialogs.h"
#include "lib/errors.h"
#include "app/app_state.h"
#include "app/gui/instrument_actions.h"
#include "instrument/connection_editor.h"
#include "windowkit/gui/progress_pacer.h"
#include "windowkit/gui/field_edit.h"

namespace bt::gui {

namespace {

// Parts of the window a partial redraw rewrites.
enum Part : unsigned {
    kFormat = 1,
    kPacketType = 2,
    kPayload = 4,
    kGeneration = 8,
    kProjectedLength = 16,
    kChannel = 32,
    kAll = 63,
};

struct CalculationCancelled {};

// Samples from which a calculation shows its progress window at once.
constexpr double kLargeWaveform = 1e6;

QPixmap splashPixmap(const AppInfo& info) {
    QPixmap pm(460, 260);
    pm.fill(QColor(20, 44, 84));
    QPainter p(&pm);
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setPointSize(11);
    p.setFont(f);
    p.drawText(QRect(24, 24, 412, 24), Qt::AlignLeft, "Veltor Tessaline");
    f.setPointSize(26);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(24, 70, 412, 50), Qt::AlignLeft, QString::fromStdString(info.Name));
    f.setPointSize(11);
    f.setBold(false);
    p.setFont(f);
    p.drawText(QRect(24, 130, 412, 60), Qt::AlignLeft | Qt::TextWordWrap,
               QString::fromStdString(info.NotesLine2 + " " + info.NotesLine3));
    p.drawText(QRect(24, 220, 412, 24), Qt::AlignLeft,
               QString::fromStdString("Revision " + info.Rev + "   " + info.Date));
    return pm;
}

void setText(QLineEdit* e, const FieldView& v) {
    const QString t = QString::fromStdString(v.text);
    if (e->text() != t) e->setText(t);
    e->setEnabled(v.enabled);
}

void setText(QLabel* l, const std::string& text) {
    const QString t = QString::fromStdString(text);
    if (l->text() != t) l->setText(t);
}

void setList(QComboBox* c, const ListView& v) {
    const QSignalBlocker block(c);
    bool same = c->count() == static_cast<int>(v.items.size());
    for (int i = 0; same && i < c->count(); ++i)
        same = c->itemText(i) == QString::fromStdString(v.items[static_cast<std::size_t>(i)]);
    if (!same) {
        c->clear();
        for (const auto& item : v.items) c->addItem(QString::fromStdString(item));
    }
    c->setCurrentIndex(std::clamp(v.item, 1, std::max(1, c->count())) - 1);
    c->setEnabled(v.enabled);
}

void setCheck(QAbstractButton* b, const CheckView& v) {
    const QSignalBlocker block(b);
    b->setChecked(v.checked);
    b->setEnabled(v.enabled);
}

}  // namespace

int splashRemainingMs(qint64 elapsedMs, int minimumMs) {
    return elapsedMs >= minimumMs ? 0 : static_cast<int>(minimumMs - elapsedMs);
}

// ----------------------------------------------------------------- start-up

MainWindow::MainWindow(const StartOptions& options) : options_(options) {
    QElapsedTimer stopwatch;
    stopwatch.start();
    AppState& s = appState();
    if (options_.showSplash) {
        splash_ = std::make_unique<QSplashScreen>(splashPixmap(defaultAppInfo()));
        splash_->show();
        QApplication::processEvents();
    }

    initializeAppState(s);
    s.appInfo.Platform = options_.platform;

    QWidget* loaded = loadFigure("bt_GUI.fig", nullptr);
    window_ = qobject_cast<QMainWindow*>(loaded);
    if (!window_) {
        delete loaded;
        throw Error("The main window layout bt_GUI.ui is not a main window.");
    }
    window_->setAttribute(Qt::WA_DeleteOnClose, false);
    frame_ = new CommonFrame(window_, dispatcher_);
    handles_ = frame_->handles();
    addRoutines();
    frame_->rfCommonUI("InitializeFigure");
    if (!options_.lanAddress.empty()) {
        s.configuration.type = "TCPIP";
        s.configuration.TCPIP.address = options_.lanAddress;
    }

    initSigGenWindows();
    initImpairmentsWindow();
    initDirtyTransmitterWindows();
    initCalibrateDelayWindow();
    refreshHandles();
    connectControls();

    InitializeFigure();
    redraw();
    frame_->markSettingsSaved();
    frame_->redrawAppTitle();
    hideAbsentEvents();
    window_->adjustSize();
    positionChildWindow(window_, nullptr);
    startupMs_ = stopwatch.elapsed();

    if (splash_) {
        if (const int wait = splashRemainingMs(stopwatch.elapsed(), options_.splashMinimumMs); wait > 0) {
            QEventLoop loop;
            QTimer::singleShot(wait, &loop, &QEventLoop::quit);
            loop.exec(QEventLoop::ExcludeUserInputEvents);
        }
        splash_->close();
        splash_.reset();
    }
    window_->show();
    if (QGuiApplication::platformName() != "offscreen") {  // nothing to raise there
        window_->raise();
        window_->activateWindow();
    }

    if (!options_.settingsFile.empty()) frame_->loadParameters(options_.settingsFile);
}

MainWindow::~MainWindow() {
    if (window_) {
        if (frame_ && !frame_->isShutDown()) frame_->AppShutDown();
        delete window_.data();
    }
}

void MainWindow::refreshHandles() {
    handles_ = Handles(window_);
    if (frame_) frame_->refreshHandles();
}

QWidget* MainWindow::sigGenPanelHost() const { return handles_.get<QWidget>("IXOconfig_b_c"); }

EditContext MainWindow::editContext() const {
    const AppState& s = appState();
    return {s.appInfo.Platform, s.configuration.BBGtype};
}

QVariant MainWindow::bt_GUI(const std::string& name, const QVariantList& args) { return dispatcher_.call(name, args); }

void MainWindow::addRoutines() {
    using Fn = void (MainWindow::*)();
    static const std::pair<const char*, Fn> routines[] = {
        {"InitializeFigure", &MainWindow::InitializeFigure},
        {"InitializeParameters", &MainWindow::initializeParameters},
        {"InitializeSigGenSettings", &MainWindow::initializeSigGenSettings},
        {"redraw", &MainWindow::redraw},
        {"redrawFormatParameters", &MainWindow::redrawFormatParameters},
        {"redrawPayloadSetup", &MainWindow::redrawPayloadSetup},
        {"redrawPacketType", &MainWindow::redrawPacketType},
        {"redrawGenerationParameters", &MainWindow::redrawGenerationParameters},
        {"redrawProjectedLength", &MainWindow::redrawProjectedLength},
        {"pbGenerationMode_Callback", &MainWindow::pbGenerationMode_Callback},
        {"pdLinkType_Callback", &MainWindow::pdLinkType_Callback},
        {"pdPacketType_Callback", &MainWindow::pdPacketType_Callback},
        {"pdMultiPacket_Callback", &MainWindow::pdMultiPacket_Callback},
        {"pdPayload_Callback", &MainWindow::pdPayload_Callback},
        {"chkDataWhiteningActive_Callback", &MainWindow::chkDataWhiteningActive_Callback},
        {"chkBurstActive_Callback", &MainWindow::chkBurstActive_Callback},
        {"chkMirrorSpectrum_Callback", &MainWindow::chkMirrorSpectrum_Callback},
        {"txtFrequency_Callback", &MainWindow::txtFrequency_Callback},
        {"txtChannel_Callback", &MainWindow::txtChannel_Callback},
        {"pbCalibrateDelay_Callback", &MainWindow::pbCalibrateDelay_Callback},
        {"pbImpairments_Callback", &MainWindow::pbImpairments_Callback},
        {"pbDirtyTransmitter_Callback", &MainWindow::pbDirtyTransmitter_Callback},
    };
    for (const auto& [name, fn] : routines)
        dispatcher_.add(name, std::function<void()>([this, fn = fn] { (this->*fn)(); }));

    using TextEdit = EditResult (*)(const Parameters&, std::string_view, const EditContext&);
    static const std::pair<const char*, TextEdit> fields[] = {
        {"txtBDaddr", editBDaddr},           {"txtAMaddr", editAMaddr},
        {"txtPowerRamp", editBurstLength},   {"txtRampSettling", editBurstSettle},
        {"txtBitPattern", editBitPattern},   {"txtPatternReps", editPatternReps},
        {"txtPatternLength", editPatternLength}, {"txtCGdelay", editCGdelay},
        {"txtOversampleRate", editOverSampling}, {"txtEdrRelativePower", editEdrRelativePower},
    };
    for (const auto& [tag, edit] : fields)
        dispatcher_.add(std::string(tag) + "_Callback",
                        std::function<void()>([this, tag = tag, edit = edit] { textField_Callback(tag, edit); }));

    dispatcher_.add("Calculate", [this](const QVariantList&) { return QVariant(Calculate()); });
    dispatcher_.add("patternLengthOfPayload", [](const QVariantList&) {
        return QVariant(patternPeriod(appState().parameters));
    });
}

void MainWindow::connectControls() {
    const auto call = [this](const std::string& routine) { return [this, routine] { bt_GUI(routine); }; };
    connect(handles_.get<QAbstractButton>("pbGenerationMode"), &QAbstractButton::clicked, this,
            call("pbGenerationMode_Callback"));
    for (const char* tag : {"pdLinkType", "pdPacketType", "pdMultiPacket", "pdPayload"})
        connect(handles_.get<QComboBox>(tag), &QComboBox::activated, this, call(std::string(tag) + "_Callback"));
    for (const char* tag : {"chkDataWhiteningActive", "chkBurstActive", "chkMirrorSpectrum"})
        connect(handles_.get<QAbstractButton>(tag), &QAbstractButton::clicked, this,
                call(std::string(tag) + "_Callback"));
    for (const char* tag : {"txtBDaddr", "txtAMaddr", "txtPowerRamp", "txtRampSettling", "txtBitPattern",
                            "txtPatternReps", "txtPatternLength", "txtCGdelay", "txtOversampleRate", "txtChannel",
                            "txtEdrRelativePower"})
        onFieldEdited(handles_.get<QLineEdit>(tag), this, call(std::string(tag) + "_Callback"));
    for (const char* tag : {"pbCalibrateDelay", "pbImpairments", "pbDirtyTransmitter"})
        connect(handles_.get<QAbstractButton>(tag), &QAbstractButton::clicked, this,
                call(std::string(tag) + "_Callback"));
}

void MainWindow::InitializeFigure() {
    static const std::pair<const char*, const char*> tooltips[] = {
        {"pbGenerationMode", "Selects packet or stream mode."},
        {"pdLinkType", "Selects synchronous or asynchronous link type."},
        {"pdPacketType", "Selects the packet type."},
        {"txtEdrRelativePower", "Sets the power of the DPSK section of EDR packets\nrelative to their GFSK section "
                                "(access code\nand header). Compliant transmitters: -4 to 1 dB.\nValid Range: -10 to 10 dB"},
        {"pdMultiPacket", "Selects either single or multi packet setup."},
        {"txtBDaddr", "Sets the baseband device (BD) address.\nValid Range: 0 to FFFFFFFFFFFF\nHexadecimal representation"},
        {"txtAMaddr", "Sets the active member (AM) address.\nValid Range: 0 to 7"},
        {"chkBurstActive", "Enables/disables bursting."},
        {"txtPowerRamp", "Sets the burst power ramp length.\nValid Range: 1 to 10 us."},
        {"txtRampSettling", "Sets the settling time after \nthe burst power ramp. This includes\nthe burst power ramp "
                            "time Bluetooth requires.\nValid Range: power ramp to \n             power ramp + 10 us"},
        {"pdPayload", "Selects the payload data pattern."},
        {"txtBitPattern", "Sets the bit pattern.\nValid Range: 0 to FF\nHexadecimal representation\nLSB transmitted first."},
        {"txtPatternReps", "Sets the number of pattern repetitions."},
        {"txtPatternLength", "Sets the length of the payload data pattern."},
        {"txtOversampleRate", "Sets the oversampling ratio.\nValid Range: 2 to 20"},
        {"chkMirrorSpectrum", "Enables/disables spectrum mirroring."},
        {"txtCGdelay", "Sets the Clock/Gate delay.\nValid Range: 0 to 100 us"},
        {"pbCalibrateDelay", "Calibrates the Clock/Gate (G/C) delay."},
        {"pbImpairments", "Set up signal impairments."},
        {"pbDirtyTransmitter", "Configure and execute Dirty Transmitter tests."},
        {"txtEvent1", "Description of the signal available on\nthe Event 1 Connector of the rear panel."},
        {"txtEvent2", "Description of the signal available on\nthe Event 2 Connector of the rear panel."},
        {"txtChannel", "Selects the RF Carrier Frequency\nfrom the channel number."},
    };
    for (const auto& [tag, tip] : tooltips) handles_.get<QWidget>(tag)->setToolTip(QString::fromUtf8(tip));
    handles_.get<QWidget>("txtNumberOfSamples")
        ->setToolTip(QString::fromStdString(projectedLengthTooltip(appState().appInfo.Platform)));
    if (sigGenPanel_.has("InitializeSigGenScreenObjects")) sigGenPanel_.call("InitializeSigGenScreenObjects");
}

void MainWindow::hideAbsentEvents() {
    const bool four = appState().appInfo.Platform != 'b';
    for (const char* tag : {"txtEvent3", "txtEvent4", "txtMarker3Signal", "txtMarker4Signal"})
        handles_.get<QWidget>(tag)->setVisible(four);
}

void MainWindow::initializeParameters() { bt::initializeParameters(appState()); }
void MainWindow::initializeSigGenSettings() { bt::initializeSigGenSettings(appState()); }

// ------------------------------------------------------------------ redraw

void MainWindow::applyView(const MainWindowView& v, unsigned parts) {
    const Handles& h = handles_;
    if (parts & kFormat) {
        auto* mode = h.get<QPushButton>("pbGenerationMode");
        {
            const QSignalBlocker block(mode);
            mode->setChecked(v.streamMode);
        }
        mode->setText(QString::fromStdString(v.generationMode));
        setList(h.get<QComboBox>("pdLinkType"), v.linkType);
        setText(h.get<QLineEdit>("txtBDaddr"), v.BDaddr);
        setText(h.get<QLineEdit>("txtAMaddr"), v.AMaddr);
        setCheck(h.get<QAbstractButton>("chkDataWhiteningActive"), v.dataWhitening);
        setCheck(h.get<QAbstractButton>("chkBurstActive"), v.burstActive);
        setText(h.get<QLineEdit>("txtPowerRamp"), v.powerRamp);
        setText(h.get<QLineEdit>("txtRampSettling"), v.rampSettling);
        h.get<QWidget>("lblPowerRamp")->setEnabled(v.powerRamp.enabled);
        h.get<QWidget>("lblRampSettling")->setEnabled(v.rampSettling.enabled);
    }
    if (parts & kPacketType) {
        setList(h.get<QComboBox>("pdPacketType"), v.packetType);
        setText(h.get<QLineEdit>("txtEdrRelativePower"), v.edrRelativePower);
        h.get<QWidget>("lblEdrRelativePower")->setEnabled(v.edrRelativePower.enabled);
    }
    if (parts & kPayload) {
        setList(h.get<QComboBox>("pdMultiPacket"), v.multiPacket);
        setList(h.get<QComboBox>("pdPayload"), v.payload);
        setText(h.get<QLineEdit>("txtBitPattern"), v.bitPattern);
        h.get<QWidget>("txtBitPatternLabel")->setEnabled(v.bitPattern.enabled);
        setText(h.get<QLineEdit>("txtPatternReps"), v.patternReps);
        setText(h.get<QLineEdit>("txtPatternLength"), v.patternLength);
        setText(h.get<QLabel>("txtFullPackets"), v.fullPackets.text);
        setText(h.get<QLabel>("txtPartialPackets"), v.partialPackets.text);
        setText(h.get<QLabel>("txtPadPackets"), v.padPackets.text);
        h.get<QWidget>("pbCalibrateDelay")->setEnabled(v.calibrateDelayEnabled);
        for (int e = 1; e <= 4; ++e) setText(h.get<QLabel>(QString("txtEvent%1").arg(e)), v.event[e - 1]);
    }
    if (parts & kGeneration) {
        setText(h.get<QLineEdit>("txtOversampleRate"), v.overSampling);
        setCheck(h.get<QAbstractButton>("chkMirrorSpectrum"), v.mirrorSpectrum);
        setText(h.get<QLineEdit>("txtCGdelay"), v.CGdelay);
    }
    if (parts & kProjectedLength) setText(h.get<QLabel>("txtNumberOfSamples"), v.numberOfSamples);
    if (parts & kChannel) {
        auto* channel = h.get<QLineEdit>("txtChannel");
        const QString t = QString::fromStdString(v.channel);
        if (channel->text() != t) channel->setText(t);
    }
}

namespace {
MainWindowView currentView() {
    AppState& s = appState();
    applyRedrawRules(s.parameters);
    return mainWindowView(s.parameters, s.SigGenSettings.Frequency);
}
}  // namespace

void MainWindow::redraw() {
    const MainWindowView v = currentView();
    applyView(v, kFormat | kPacketType | kPayload | kProjectedLength | kGeneration);
    if (frame_) frame_->redrawAppTitle();
    if (sigGenPanel_.has("redrawSigGenSettings")) sigGenPanel_.call("redrawSigGenSettings");
    applyView(v, kChannel);
}

void MainWindow::redrawFormatParameters() {
    applyView(currentView(), kFormat | kPacketType | kPayload | kProjectedLength);
}
void MainWindow::redrawPacketType() { applyView(currentView(), kPacketType); }
void MainWindow::redrawPayloadSetup() { applyView(currentView(), kPayload); }
void MainWindow::redrawGenerationParameters() { applyView(currentView(), kGeneration | kProjectedLength); }
void MainWindow::redrawProjectedLength() { applyView(currentView(), kProjectedLength); }
void MainWindow::redrawChannel() { applyView(currentView(), kChannel); }

// --------------------------------------------------------------- callbacks

void MainWindow::applyEdit(const EditResult& r) {
    AppState& s = appState();
    if (r.refused()) {
        dialogs().error(r.check.message, r.check.title);
    } else {
        s.parameters = r.parameters;
        if (r.samplingRate) s.SigGenSettings.SamplingRate = *r.samplingRate;
        if (r.check.result == SizeCheck::Result::Warning) dialogs().message(r.check.message, r.check.title);
    }
    redraw();
}

void MainWindow::pbGenerationMode_Callback() {
    const bool stream = handles_.get<QAbstractButton>("pbGenerationMode")->isChecked();
    applyEdit(selectGenerationMode(appState().parameters, stream ? 2 : 1, editContext()));
}

void MainWindow::pdLinkType_Callback() {
    applyEdit(selectLinkType(appState().parameters, handles_.get<QComboBox>("pdLinkType")->currentIndex() + 1,
                             editContext()));
}

void MainWindow::pdPacketType_Callback() {
    applyEdit(selectPacketType(appState().parameters, handles_.get<QComboBox>("pdPacketType")->currentIndex() + 1,
                               editContext()));
}

void MainWindow::pdMultiPacket_Callback() {
    applyEdit(selectMultiPacket(appState().parameters, handles_.get<QComboBox>("pdMultiPacket")->currentIndex() + 1,
                                editContext()));
}

void MainWindow::pdPayload_Callback() {
    const int item = handles_.get<QComboBox>("pdPayload")->currentIndex() + 1;
    if (item == 8) {
        // "User File ...": the bits come from a file the user picks; a
        // cancelled or unreadable file leaves the payload as it was.
        const UserDataFile file = loadUserDatafile(static_cast<double>(MAXNUMBITS));
        applyEdit(selectPayload(appState().parameters, item, editContext(), file.status == 1 ? &file.bits : nullptr));
        return;
    }
    applyEdit(selectPayload(appState().parameters, item, editContext()));
}

void MainWindow::chkDataWhiteningActive_Callback() {
    applyEdit(setDataWhitening(appState().parameters,
                               handles_.get<QAbstractButton>("chkDataWhiteningActive")->isChecked(), editContext()));
}

void MainWindow::chkBurstActive_Callback() {
    applyEdit(setBurstActive(appState().parameters, handles_.get<QAbstractButton>("chkBurstActive")->isChecked(),
                             editContext()));
}

void MainWindow::chkMirrorSpectrum_Callback() {
    applyEdit(setMirrorSpectrum(appState().parameters,
                                handles_.get<QAbstractButton>("chkMirrorSpectrum")->isChecked(), editContext()));
}

void MainWindow::textField_Callback(const char* tag,
                                    EditResult (*edit)(const Parameters&, std::string_view, const EditContext&)) {
    const std::string text = handles_.get<QLineEdit>(tag)->text().toStdString();
    applyEdit(edit(appState().parameters, text, editContext()));
}

void MainWindow::txtFrequency_Callback() {
    if (sigGenPanel_.has("updateFrequency")) sigGenPanel_.call("updateFrequency");
    redrawChannel();
    if (frame_) frame_->redrawAppTitle();
}

void MainWindow::txtChannel_Callback() {
    const ChannelEntry e = enterChannel(handles_.get<QLineEdit>("txtChannel")->text().toStdString());
    handles_.get<QLineEdit>("txtChannel")->setText(QString::fromStdString(e.channelText));
    if (handles_.has("txtFrequency") && handles_.has("pdFrequencyUnits") && sigGenPanel_.has("updateFrequency")) {
        handles_.get<QLineEdit>("txtFrequency")->setText(QString::fromStdString(e.frequencyText));
        auto* units = handles_.get<QComboBox>("pdFrequencyUnits");
        const QSignalBlocker block(units);
        units->setCurrentIndex(kChannelFrequencyUnitItem - 1);
        sigGenPanel_.call("updateFrequency");
    } else {
        // Without the panel the carrier is stored directly.
        appState().SigGenSettings.Frequency = e.frequencyHz;
    }
    redrawChannel();
    if (frame_) frame_->redrawAppTitle();
}

void MainWindow::pbCalibrateDelay_Callback() {
    AppState& s = appState();
    if (const std::string why = instrumentOnlyRefusal(s.configuration, "The delay calibration"); !why.empty())
        return dialogs().error(why, "Calibrate Delay");
    const double keptDelay = s.parameters.CGdelay;
    s.parameters.CGdelay = 0;
    // The measurement needs the delay at 0; whatever stops it gives the
    // user's delay back.
    const auto restore = [&] {
        s.parameters.CGdelay = keptDelay;
        redrawGenerationParameters();
    };
    if (!frame_ || !frame_->checkWaveformReady("Download")) return restore();
    const InstrumentOutcome o =
        runDownload(window_, s.waveform, s.markers, s.SigGenSettings, s.configuration, s.appInfo.Platform);
    if (!o.download.ok()) {
        dialogs().error(o.download.response, "Error Occurred During Waveform Download");
        return restore();
    }
    if (!o.play.ok()) {
        dialogs().error(o.play.response, "Error Occurred During Instrument Setup");
        return restore();
    }
    openCalibrateDelayWindow(keptDelay);
    redrawGenerationParameters();
    if (frame_) frame_->redrawAppTitle();
}

// --------------------------------------------------------------- calculate

bool MainWindow::Calculate() {
    AppState& s = appState();
    // Whole percent steps, paced: each step shown repaints the window on
    // the calculating thread.
    QProgressDialog progress("Calculating the waveform...", "Cancel", 0, 100, window_);
    progress.setWindowTitle("Calculate");
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    progress.setObjectName("calculateProgress");
    // A large waveform takes seconds: its window (and Cancel) comes at once
    // rather than after the first half second.
    if (s.parameters.ProjectedLength >= kLargeWaveform) progress.show();
    ProgressPacer pacer(100);
    try {
        GeneratedSignal signal = bt::Calculate(s.parameters, [&](double fraction) {
            const int value = static_cast<int>(std::lround(std::clamp(fraction, 0.0, 1.0) * 100));
            if (!pacer.take(value)) return;
            progress.setValue(value);
            if (progress.wasCanceled()) throw CalculationCancelled{};
        });
        s.waveform = std::move(signal.waveform);
        s.markers = std::move(signal.markers);
        return true;
    } catch (const CalculationCancelled&) {
        return false;
    } catch (const std::exception& e) {
        progress.close();
        dialogs().error(e.what(), "Error Calculating Waveform");
        return false;
    }
}

void MainWindow::showPlaceholder(const std::string& what) {
    dialogs().message(what + " is not available in this build yet.", "Not Available");
}

}  // namespace bt::gui
