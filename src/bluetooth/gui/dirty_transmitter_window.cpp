#include "bluetooth/gui/dirty_transmitter_window.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include "bluetooth/dirty_tx_download.h"
#include "bluetooth/dirty_tx_entries.h"
#include "bluetooth/gui/dt_event_markers_window.h"
#include "instrument/gui/siggen_panel.h"
#include "lib/dialogs.h"
#include "lib/errors.h"
#include "windowkit/gui/field_edit.h"

namespace bt::gui {

namespace {

constexpr int kSets = static_cast<int>(kDtTestSets);
constexpr const char* kWindowTitle = "Dirty Transmitter";
constexpr const char* kDownloadErrorTitle = "Error Occurred During Waveform Download";

QString q(const std::string& s) { return QString::fromStdString(s); }
std::string text(const QLineEdit* e) { return e->text().toStdString(); }

// The set a per-set control belongs to, from its user data.
int setOf(const QVariantList& args) {
    const QObject* control = args.isEmpty() ? nullptr : args.first().value<QObject*>();
    const int set = control ? control->property("UserData").toInt() : 0;
    if (set < 1 || set > kSets) throw Error("The control has no test set number.");
    return set;
}

const struct {
    const char* tag;
    const char* tip;
} kTooltips[] = {
    {"pdPacketType", "Selects the packet type for \nthe Dirty Transmitter tests."},
    {"editMasterAddr", "Set the Master Address.  "},
    {"editAM_Addr", "Selects the active member address."},
    {"chkOmitPollPeriods", "Eliminates all slots with \nno ouput packet information."},
    {"editPowerRamp", "Sets the burst power ramp length.\nValid Range: 1 to 100 us."},
    {"editRampSettling", "Sets the settling time after \nthe burst power ramp. This includes\nthe burst power ramp time "
                         "Bluetooth requires.\nValid Range: power ramp to \n             power ramp + 20 us"},
    {"editRFBurstPower", "Sets the RF power level during \nthe packet.  This needs to be \n Downloaded to take effect."},
    {"editRFFrequency", "Sets the RF carrier frequency.\n This needs to be Downloaded to\n take effect."},
    {"editChannel", "Sets the RF frequency based on \nthe Bluetooth channel number."},
    {"chkUseQ7395", "Sets up the waveform and the signal generator\nto work with an external repetitive frame "
                    "sync\napplied to \"Pattern Trigger In\". "},
    {"editTriggerDelay", "The time from an external frame trigger on \n\"Pattern Trigger In\" to the first symbol "
                         "in\nthe packet in microseconds, with a two frame\ninitial latency."},
    {"pbEventMarkerSetup", "Brings up a window to set \nthe Event Marker outputs."},
    {"txtWaveformTitle", "Sets the waveform file names \nused in the signal generator."},
    {"pbCalculate", "Calculates the waveform \nbased on current settings."},
    {"pbDownload", "Downloads the waveform to the signal generator based\non the current settings.  A calculation "
                   "is done if \nneeded.  Also downloads the signal generator settings \nand turns the RF output on."},
    {"pbExit", "Exit from the Dirty Transmitter Impairments."},
    {"txtSelectLabel", "Select which tests to run.  All tests must be\nselected to meet the Bluetooth spec.  Other "
                       "\ncombinations may be used for other verification."},
    {"pdFreqDriftRate", "Sets the frequency drift\nrate for all tests."},
    {"editFreqDriftDeviation", "Sets the peak frequency \ndeviation for all tests."},
    {"editInitialDriftPhase", "Sets the initial phase \nfor the frequency drift."},
    {"pbSetDefaults", "Sets all impairments to the values \nof the Bluetooth RF test \nprocedures."},
    {"txtDTProjectedLength", "Estimates the amount of Signal Generator \nwaveform memory needed expressed in \nnumber of "
                             "waveform points."},
    {"pbCancel", "Stops the calculation or the download\nbefore the next test set."},
};

QString setTag(const char* prefix, int set) { return QString(prefix) + QString::number(set); }

}  // namespace

// While a calculation or download runs: the busy pointer, the controls
// disabled, the pressed button showing the stage, and no user input reaching
// anything but Cancel (and a dialog the action itself asks), since events
// are processed between sets.
class DirtyTransmitterWindow::Busy : public QObject {
public:
    Busy(DirtyTransmitterWindow& w, QPushButton* pressed)
        : w_(w), pressed_(pressed), cancel_(w.h_.get<QPushButton>("pbCancel")) {
        hadCursor_ = w_.window()->testAttribute(Qt::WA_SetCursor);
        cursor_ = w_.window()->cursor();
        pressedText_ = pressed_->text();
        pressedStyle_ = pressed_->styleSheet();
        w_.window()->setCursor(Qt::WaitCursor);
        disabled_ = w_.setDirtyTransmitterControls("off", {});
        w_.cancelRequested_ = false;
        cancel_->setEnabled(true);
        cancel_->setCursor(Qt::ArrowCursor);
        w_.busy_ = this;
        qApp->installEventFilter(this);
    }
    ~Busy() override {
        qApp->removeEventFilter(this);
        w_.busy_ = nullptr;
        pressed_->setText(pressedText_);
        pressed_->setStyleSheet(pressedStyle_);
        for (int n = 1; n <= kSets; ++n) {
            w_.highlight_[n - 1] = Highlight::None;
            w_.restyleSet(n);
        }
        cancel_->setEnabled(false);
        w_.setDirtyTransmitterControls("on", disabled_);
        if (hadCursor_)
            w_.window()->setCursor(cursor_);
        else
            w_.window()->unsetCursor();
    }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

    void stage(bool downloading) {
        pressed_->setText(downloading ? "Downloading" : "Calculating");
        pressed_->setStyleSheet(downloading ? "QPushButton { background-color: #00ff00; color: black; }"
                                            : "QPushButton { background-color: #ffff00; color: black; }");
    }

protected:
    bool eventFilter(QObject* o, QEvent* e) override {
        switch (e->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::Close:
            break;
        default:
            return false;
        }
        auto* widget = qobject_cast<QWidget*>(o);
        if (!widget) return false;
        if (widget == cancel_) return false;
        if (QWidget* modal = QApplication::activeModalWidget(); modal && modal->isAncestorOf(widget)) return false;
        if (QWidget* modal = QApplication::activeModalWidget(); modal == widget) return false;
        if (e->type() == QEvent::Close) e->ignore();
        return true;
    }

private:
    DirtyTransmitterWindow& w_;
    QPushButton* pressed_;
    QPushButton* cancel_;
    bool hadCursor_ = false;
    QCursor cursor_;
    QString pressedText_, pressedStyle_;
    std::vector<QPointer<QWidget>> disabled_;
};

DirtyTransmitterWindow::DirtyTransmitterWindow(DtWindowRecords records, QWidget* parent) : r_(records) {
    QWidget* w = loadFigure("bt_DirtyTransmitter.fig", parent);
    w->hide();
    setParent(w);
    h_ = Handles(w);
    markers_ = new DtEventMarkersWindow(r_.dirtyTx, w);
    connect(markers_, &DtEventMarkersWindow::edited, this, [this] { redraw(); });
    // The signal-generator panel on the application's instrument settings:
    // the sequence plays with this window's own carrier, power and title,
    // so of the panel only the advanced settings (filters, scaling, ALC,
    // reference), which the sequence shares, are offered.
    panel_ = new SigGenPanel(
        h_.get<QWidget>("IXOconfig_b_c"), [this]() -> SigGenSettings& { return r_.sigGen; },
        [this] { return platform(); });
    for (const char* tag : {"lblFrequency", "txtFrequency", "pdFrequencyUnits", "lblAmplitude", "txtAmplitude",
                            "lblAmplitudeUnits", "lblWaveformTitle", "txtWaveformTitle"})
        panel_->handles().get<QWidget>(tag)->hide();
    controls_.push_back(panel_->handles().get<QWidget>("pbAdvancedSettings"));

    // Entries by text: each stores through the core's rule, then the window
    // is refilled so every control shows what is stored.
    const auto entry = [this](const char* tag, void (*rule)(DirtyTxState&, std::string_view)) {
        d_.add(std::string(tag) + "_Callback", [this, tag, rule] {
            rule(dt(), text(h_.get<QLineEdit>(tag)));
            redraw();
        });
    };
    entry("editMasterAddr", dtEnterMasterAddr);
    entry("editAM_Addr", dtEnterAmAddr);
    entry("editPowerRamp", dtEnterPowerRamp);
    entry("editRampSettling", dtEnterRampSettling);
    entry("editRFBurstPower", dtEnterRfPower);
    entry("editRFFrequency", dtEnterRfFrequency);
    entry("editChannel", dtEnterChannel);
    entry("editTriggerDelay", dtEnterTriggerDelay);
    entry("txtWaveformTitle", dtEnterTitle);

    const auto shared = [this](const char* tag, const char* field) {
        d_.add(std::string(tag) + "_Callback", [this, tag, field] {
            dtEnterImpairment(dt(), 0, field, text(h_.get<QLineEdit>(tag)));
            redraw();
        });
    };
    shared("editFreqDriftDeviation", "FreqDriftDeviation");
    shared("editInitialDriftPhase", "InitialDriftPhase");

    const auto perSet = [this](const char* prefix, const char* field) {
        d_.add(std::string(prefix) + "_Callback", [this, prefix, field](const QVariantList& args) {
            const int set = setOf(args);
            dtEnterImpairment(dt(), static_cast<std::size_t>(set - 1), field,
                              text(h_.get<QLineEdit>(setTag(prefix, set))));
            redraw();
            return QVariant();
        });
    };
    perSet("editFreqOffset", "FreqOffset");
    perSet("editModIndex", "ModIndex");
    perSet("editSymbolTiming", "SymbolTimingError");

    d_.add("chkTestSelect_Callback", [this](const QVariantList& args) {
        const int set = setOf(args);
        dtSetTestSelect(dt(), static_cast<std::size_t>(set - 1),
                        h_.get<QCheckBox>(setTag("chkTestSelect", set))->isChecked());
        redraw();
        return QVariant();
    });
    d_.add("pdPacketType_Callback", [this] {
        dtSelectPacketType(dt(), dtPacketTypeOfItem(h_.get<QComboBox>("pdPacketType")->currentIndex() + 1, platform()));
        redraw();
    });
    d_.add("pdFreqDriftRate_Callback", [this] {
        dtEditImpairment(dt(), 0, "FreqDriftRate",
                         dtDriftRateOfItem(h_.get<QComboBox>("pdFreqDriftRate")->currentIndex() + 1));
        redraw();
    });
    d_.add("chkOmitPollPeriods_Callback", [this] {
        dtSetOmitPoll(dt(), h_.get<QCheckBox>("chkOmitPollPeriods")->isChecked());
        redraw();
        markers_->call("redrawDT_EventMarkers");
    });
    d_.add("chkUseQ7395_Callback", [this] {
        dtSetExternalTrigger(dt(), h_.get<QCheckBox>("chkUseQ7395")->isChecked());
        redraw();
    });
    d_.add("pbSetDefaults_Callback", [this] {
        initDtImpairments(dt());
        initDtTestSelect(dt());
        dtSelectPacketType(dt(), dt().dtParameters.packetType);
        redraw();
    });
    d_.add("pbEventMarkerSetup_Callback", [this] {
        dtOpenEventMarkers(dt());
        if (!markers_->window()->isVisible()) positionChildWindow(markers_->window(), window());
        markers_->open();
    });
    d_.add("pbCalculate_Callback", [this] { calculate(); });
    d_.add("pbDownload_Callback", [this] { download(); });
    d_.add("pbCancel_Callback", [this] { cancelRequested_ = true; });
    d_.add("pbExit_Callback", [this] { exit(); });
    d_.add("redrawDtImpairments", [this] { redraw(); });
    d_.add("InitializeFigure", [this] { initializeFigure(); });
    // The start-up steps the main window runs by name.
    d_.add("initDtParameters", [this] { initDtParameters(dt(), r_.parameters); });
    d_.add("initDtImpairments", [this] { initDtImpairments(dt()); });
    d_.add("initDtSigGenSettings", [this] { initDtSigGenSettings(dt()); });
    d_.add("initDtTestSelect", [this] { initDtTestSelect(dt()); });
    d_.add("initDtQ7395", [this] { initDtQ7395(dt()); });

    // Controls to callbacks: typed text when editing ends, lists and boxes
    // when the user picks.
    const auto onEdit = [this](QLineEdit* e, const std::string& action, bool passControl) {
        controls_.push_back(e);
        onFieldEdited(e, this, [this, e, action, passControl] {
            call(action, passControl ? QVariantList{QVariant::fromValue<QObject*>(e)} : QVariantList{});
        });
    };
    for (const char* tag : {"editMasterAddr", "editAM_Addr", "editPowerRamp", "editRampSettling", "editRFBurstPower",
                            "editRFFrequency", "editChannel", "editTriggerDelay", "txtWaveformTitle",
                            "editFreqDriftDeviation", "editInitialDriftPhase"})
        onEdit(h_.get<QLineEdit>(tag), std::string(tag) + "_Callback", false);
    for (int n = 1; n <= kSets; ++n) {
        for (const char* prefix : {"editFreqOffset", "editModIndex", "editSymbolTiming"})
            onEdit(h_.get<QLineEdit>(setTag(prefix, n)), std::string(prefix) + "_Callback", true);
        auto* box = h_.get<QCheckBox>(setTag("chkTestSelect", n));
        controls_.push_back(box);
        connect(box, &QCheckBox::clicked, this,
                [this, box] { call("chkTestSelect_Callback", {QVariant::fromValue<QObject*>(box)}); });
    }
    for (const char* tag : {"pdPacketType", "pdFreqDriftRate"}) {
        auto* list = h_.get<QComboBox>(tag);
        controls_.push_back(list);
        connect(list, &QComboBox::activated, this, [this, tag] { call(std::string(tag) + "_Callback"); });
    }
    for (const char* tag : {"chkOmitPollPeriods", "chkUseQ7395", "pbEventMarkerSetup", "pbSetDefaults", "pbCalculate",
                            "pbDownload", "pbExit"}) {
        auto* button = h_.get<QAbstractButton>(tag);
        controls_.push_back(button);
        connect(button, &QAbstractButton::clicked, this, [this, tag] { call(std::string(tag) + "_Callback"); });
    }
    connect(h_.get<QPushButton>("pbCancel"), &QPushButton::clicked, this, [this] { call("pbCancel_Callback"); });
    // Closing the window is its Exit: the state goes back into `parameters`.
    w->installEventFilter(this);

    call("InitializeFigure");
}

DirtyTransmitterWindow::~DirtyTransmitterWindow() = default;

DirtyTransmitterWindow* DirtyTransmitterWindow::of(const QWidget* window) {
    return window ? window->findChild<DirtyTransmitterWindow*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

bool DirtyTransmitterWindow::eventFilter(QObject* o, QEvent* e) {
    if (o == window() && e->type() == QEvent::Close && !busy_) {
        e->ignore();
        call("pbExit_Callback");
        return true;
    }
    return QObject::eventFilter(o, e);
}

void DirtyTransmitterWindow::initializeFigure() {
    const QScreen* screen = window()->screen();
    resizeAllFonts(h_, screen ? screen->logicalDotsPerInch() : 96);
    auto* packets = h_.get<QComboBox>("pdPacketType");
    packets->clear();
    for (const std::string& item : dtPacketTypeItems(platform())) packets->addItem(q(item));
    for (const auto& t : kTooltips) h_.get<QWidget>(t.tag)->setToolTip(t.tip);
    for (int n = 1; n <= kSets; ++n) {
        const QString k = QString::number(n);
        h_.get<QWidget>(setTag("chkTestSelect", n))->setToolTip("Selects test set " + k + " to run.");
        h_.get<QWidget>(setTag("editFreqOffset", n))->setToolTip("Sets the frequency offset for test set " + k + ".");
        h_.get<QWidget>(setTag("editModIndex", n))->setToolTip("Sets the modulation index for test set " + k + ".");
        h_.get<QWidget>(setTag("editSymbolTiming", n))
            ->setToolTip("Sets the symbol timing error for test set " + k + ".");
        h_.get<QWidget>(setTag("txtEdited", n))
            ->setToolTip("Differs from the Bluetooth RF test's value for set " + k + " (shown in bold).");
    }
    panel_->InitializeSigGenScreenObjects();
    redraw();
}

void DirtyTransmitterWindow::open() {
    dtOpenFromParameters(dt(), r_.parameters);
    panel_->redrawSigGenSettings();
    redraw();
    // Over the main window the first time; where the user left it after.
    if (!placed_) positionChildWindow(window(), window()->parentWidget());
    placed_ = true;
    window()->show();
    window()->raise();
    window()->activateWindow();
}

void DirtyTransmitterWindow::exit() {
    saveDtState(dt(), r_.parameters);
    markers_->window()->hide();
    window()->hide();
}

std::vector<QLineEdit*> DirtyTransmitterWindow::setEdits(int set) const {
    return {h_.get<QLineEdit>(setTag("editFreqOffset", set)), h_.get<QLineEdit>(setTag("editModIndex", set)),
            h_.get<QLineEdit>(setTag("editSymbolTiming", set))};
}

void DirtyTransmitterWindow::restyleSet(int set) {
    const DtSetView row = dtWindowView(dt(), platform()).sets[static_cast<std::size_t>(set - 1)];
    const Highlight hl = highlight_[set - 1];
    const bool edited[3] = {row.freqOffsetEdited, row.modIndexEdited, row.symbolTimingEdited};
    const std::vector<QLineEdit*> edits = setEdits(set);
    for (std::size_t i = 0; i < edits.size(); ++i) {
        QString style;
        // The set in progress stays readable while its boxes are disabled.
        if (hl == Highlight::Calculating) style += "background-color: #ffff00; color: black;";
        if (hl == Highlight::Downloading) style += "background-color: #00ff00; color: black;";
        if (!row.selected && hl == Highlight::None) style += "color: #a0a0a0; background-color: #eeeeee;";
        if (edited[i]) style += "font-weight: bold;";
        edits[i]->setStyleSheet(style.isEmpty() ? QString() : "QLineEdit { " + style + " }");
    }
    auto* mark = h_.get<QLabel>(setTag("txtEdited", set));
    mark->setText(row.edited() ? "edited" : "");
    mark->setStyleSheet(row.selected ? "QLabel { color: #b05000; font-style: italic; }"
                                     : "QLabel { color: #a0a0a0; font-style: italic; }");
}

void DirtyTransmitterWindow::redraw() {
    DirtyTxState& s = dt();
    dtApplyMarkerRules(s);
    const DtWindowView v = dtWindowView(s, platform());
    auto* packets = h_.get<QComboBox>("pdPacketType");
    packets->setCurrentIndex(std::min(v.packetItem, packets->count()) - 1);
    const auto setText = [this](const char* tag, const std::string& value) {
        h_.get<QLineEdit>(tag)->setText(q(value));
        h_.get<QLineEdit>(tag)->setCursorPosition(0);
    };
    setText("editMasterAddr", v.masterAddr);
    setText("editAM_Addr", v.amAddr);
    setText("editRFBurstPower", v.rfPower);
    setText("editRFFrequency", v.rfFrequency);
    setText("editChannel", v.channel);
    setText("editPowerRamp", v.powerRamp);
    setText("editRampSettling", v.rampSettling);
    setText("editTriggerDelay", v.triggerDelay);
    setText("txtWaveformTitle", v.title);
    h_.get<QCheckBox>("chkUseQ7395")->setChecked(v.useQ7395);
    auto* omit = h_.get<QCheckBox>("chkOmitPollPeriods");
    omit->setChecked(v.omitPoll);
    omit->setEnabled(v.omitPollEnabled);
    h_.get<QComboBox>("pdFreqDriftRate")->setCurrentIndex(v.driftRateItem - 1);
    setText("editFreqDriftDeviation", v.driftDeviation);
    setText("editInitialDriftPhase", v.driftPhase);
    const auto bold = [](bool on) { return on ? QString("font-weight: bold;") : QString(); };
    h_.get<QWidget>("pdFreqDriftRate")->setStyleSheet(v.driftRateEdited ? "QComboBox { font-weight: bold; }" : "");
    h_.get<QWidget>("editFreqDriftDeviation")
        ->setStyleSheet(v.driftDeviationEdited ? "QLineEdit { " + bold(true) + " }" : QString());
    h_.get<QWidget>("editInitialDriftPhase")
        ->setStyleSheet(v.driftPhaseEdited ? "QLineEdit { " + bold(true) + " }" : QString());
    for (int n = 1; n <= kSets; ++n) {
        const DtSetView& row = v.sets[static_cast<std::size_t>(n - 1)];
        h_.get<QCheckBox>(setTag("chkTestSelect", n))->setChecked(row.selected);
        const std::vector<QLineEdit*> edits = setEdits(n);
        edits[0]->setText(q(row.freqOffset));
        edits[1]->setText(q(row.modIndex));
        edits[2]->setText(q(row.symbolTiming));
        restyleSet(n);
    }
    h_.get<QLabel>("txtDTProjectedLength")->setText(q(v.projectedLength));
}

std::vector<QPointer<QWidget>> DirtyTransmitterWindow::setDirtyTransmitterControls(
    const QString& state, const std::vector<QPointer<QWidget>>& controls) {
    const bool off = state.left(2).compare("of", Qt::CaseInsensitive) == 0;
    std::vector<QPointer<QWidget>> changed;
    if (controls.empty()) {
        for (QWidget* c : controls_)
            if (c->isEnabled() == off) changed.emplace_back(c);
    } else {
        changed = controls;
    }
    for (const QPointer<QWidget>& c : changed)
        if (c) c->setEnabled(!off);
    return changed;
}

bool DirtyTransmitterWindow::showProgress(int set, bool downloading, bool finished) {
    if (set < 1 || set > kSets) return !cancelRequested_;
    highlight_[set - 1] = finished ? Highlight::None : downloading ? Highlight::Downloading : Highlight::Calculating;
    restyleSet(set);
    if (!finished) {
        if (busy_) busy_->stage(downloading);
        emit progressShown(set, downloading);
    }
    QApplication::processEvents();
    return !cancelRequested_;
}

void DirtyTransmitterWindow::calculate() {
    auto* status = h_.get<QLabel>("txtStatus");
    bool done = false;
    try {
        Busy busy(*this, h_.get<QPushButton>("pbCalculate"));
        done = dtCalculate(dt(), {}, [this](const DtProgressEvent& e) {
            return showProgress(e.set, e.stage == DtStage::Downloading, e.finished);
        });
    } catch (const Error& e) {
        status->setText("Calculation failed.");
        dialogs().error(e.what(), kWindowTitle);
        return;
    }
    if (!done) {
        status->setText("Calculation cancelled: the segments calculated before are kept.");
        return;
    }
    const int count = int(dtSelectedCount(dt().dtTestSelect));
    if (count == 0) {
        // Nothing selected: nothing was made, and the text says so.
        status->setText("No test set is selected: nothing was calculated.");
        return;
    }
    const QString samples = QString::number(dtLayout(dt()).dtLength());
    status->setText(count == 1 ? "Calculated 1 of 10 test sets, " + samples + " samples."
                               : QString("Calculated %1 of 10 test sets, %2 samples each.").arg(count).arg(samples));
}

void DirtyTransmitterWindow::download() {
    DirtyTxState& s = dt();
    // Nothing selected and more than the RF settings to send: nothing at all.
    if (s.dtCalcNeeded != 2 && dtSelectedCount(s.dtTestSelect) == 0) return;
    auto* status = h_.get<QLabel>("txtStatus");
    DtDownloadOutcome out;
    try {
        Busy busy(*this, h_.get<QPushButton>("pbDownload"));
        out = dtDownload(s, r_.configuration, r_.sigGen, platform(), {},
                         [this](const DtProgressEvent& e) {
                             return showProgress(e.set, e.stage == DtStage::Downloading, e.finished);
                         });
    } catch (const Error& e) {
        status->setText("Calculation failed: nothing was downloaded.");
        dialogs().error(e.what(), kWindowTitle);
        return;
    }
    status->setText(q(out.result.response));
    if (out.cancelled)
        dialogs().message("Download cancelled", kWindowTitle);
    else if (!out.result.ok())
        dialogs().error(out.result.response, kDownloadErrorTitle);
}

}  // namespace bt::gui
