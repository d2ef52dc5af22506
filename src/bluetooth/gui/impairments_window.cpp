#include "bluetooth/gui/impairments_window.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>
#include <functional>

#include "bluetooth/impairment_editor.h"
#include "windowkit/gui/dialog_figure.h"
#include "windowkit/gui/field_edit.h"

namespace bt::gui {

namespace {

// Text fields: tag and field of the impairment record.
constexpr std::pair<const char*, const char*> kTextFields[] = {
    {"txtModIndex", "ModIndex"},
    {"txtAWGNratio", "AWGNratio"},
    {"txtAWGNseed", "AWGNseed"},
    {"txtFreqDriftDeviation", "FreqDriftDeviation"},
    {"txtFreqOffset", "FreqOffset"},
    {"txtSymbolTimingError", "SymbolTimingError"},
    {"txtGainImbalance", "GainImbalance"},
    {"txtQuadratureSkew", "QuadratureSkew"},
    {"txtCarrierLeakage", "CarrierLeakage"},
    {"txtPhaseNoiseLevel", "PhaseNoiseLevel"},
    {"txtPhaseNoiseOffset", "PhaseNoiseOffset"},
};

constexpr std::pair<const char*, const char*> kActiveBoxes[] = {
    {"chkModIndexActive", "ModIndexActive"},
    {"chkAWGNactive", "AWGNactive"},
    {"chkFreqDriftActive", "FreqDriftActive"},
    {"chkFreqOffsetActive", "FreqOffsetActive"},
    {"chkSymTimErrActive", "SymbolTimingErrorActive"},
    {"chkGainImbalanceActive", "GainImbalanceActive"},
    {"chkQuadratureSkewActive", "QuadratureSkewActive"},
    {"chkCarrierLeakageActive", "CarrierLeakageActive"},
    {"chkPhaseNoiseActive", "PhaseNoiseActive"},
};

constexpr std::pair<const char*, const char*> kTooltips[] = {
    {"chkModIndexActive", "Enables/disables the\nmodulation index impairment."},
    {"txtModIndex", "Sets the modulation index.\nValid Range: 0.250 to 0.400"},
    {"chkAWGNactive", "Enables/disables the additive white\nGaussian noise (AWGN) impairment."},
    {"txtAWGNratio", "Sets the carrier-to-noise (C/N) ratio.\nValid Range: 10 to 40 dB"},
    {"txtAWGNseed", "Sets the AWGN random generator seed.\nValid Range: 1 to 65535"},
    {"chkFreqDriftActive", "Enables/disables the frequency drift impairment."},
    {"pdFreqDriftType", "Selects the frequency drift type."},
    {"txtFreqDriftDeviation", "Sets maximum frequency deviation.\nValid Range: -100 to +100 kHz"},
    {"pdFreqDriftRate", "Selects the rate of frequency deviation."},
    {"chkFreqOffsetActive", "Enables/disables the frequency offset impairment."},
    {"txtFreqOffset", "Sets the frequency offset.\nValid Range: -100 to +100 kHz"},
    {"chkSymTimErrActive", "Enables/disables the symbol timing error impairment."},
    {"txtSymbolTimingError", "Sets the symbol timing error impairment.\nValid Range: -50 to +50 ppm"},
    {"chkGainImbalanceActive", "Enables/disables the I/Q gain imbalance impairment."},
    {"txtGainImbalance", "Sets the gain of the I branch over the Q branch.\nValid Range: -6.00 to +6.00 dB"},
    {"chkQuadratureSkewActive", "Enables/disables the I/Q quadrature skew impairment."},
    {"txtQuadratureSkew", "Sets the departure of the I and Q carriers from 90 degrees.\nValid Range: -30.00 to +30.00 deg"},
    {"chkCarrierLeakageActive", "Enables/disables the DC offset (carrier leakage) impairment."},
    {"txtCarrierLeakage", "Sets the leaked carrier relative to the signal,\nequal DC offsets on I and Q.\nValid Range: -80.0 to -10.0 dBc"},
    {"chkPhaseNoiseActive", "Enables/disables the oscillator phase noise impairment."},
    {"txtPhaseNoiseLevel", "Sets the phase noise at the offset frequency.\nValid Range: -140.0 to -60.0 dBc/Hz"},
    {"txtPhaseNoiseOffset", "Sets the offset of the phase noise level: the spectrum is\nflat well inside it and falls 20 dB per decade beyond.\nValid Range: 10 to 400 kHz"},
};

}  // namespace

ImpairmentsWindow::ImpairmentsWindow(QWidget* parent) : QObject(parent) {
    window_ = loadDialogFigure("bt_gui_Impairments.fig", parent);
    setWindowOwner(window_, this);
    handles_ = Handles(window_);
    addRoutines();
    connectControls();
    Bt_gui_impairments("InitializeFigure");
}

ImpairmentsWindow::~ImpairmentsWindow() { delete window_.data(); }

ImpairmentsWindow* ImpairmentsWindow::of(QWidget* window) {
    return qobject_cast<ImpairmentsWindow*>(windowOwner(window));
}

QVariant ImpairmentsWindow::Bt_gui_impairments(const std::string& action, const QVariantList& args) {
    return dispatcher_.call(action, args);
}

void ImpairmentsWindow::addRoutines() {
    const auto add = [this](const std::string& name, std::function<void()> fn) { dispatcher_.add(name, std::move(fn)); };
    add("InitializeFigure", [this] { InitializeFigure(); });
    add("redrawImpairments", [this] { redrawImpairments(); });
    for (const auto& [tag, field] : kTextFields)
        add(std::string(tag) + "_Callback", [this, tag = tag, field = field] { textField_Callback(tag, field); });
    for (const auto& [tag, field] : kActiveBoxes)
        add(std::string(tag) + "_Callback", [this, tag = tag, field = field] { active_Callback(tag, field); });
    add("pdFreqDriftType_Callback", [this] { pdFreqDriftType_Callback(); });
    add("pdFreqDriftRate_Callback", [this] { pdFreqDriftRate_Callback(); });
    add("pbOk_Callback", [this] { release("OK"); });
    add("pbCancel_Callback", [this] { release("Cancel"); });
    add("close_Callback", [this] { answer_ = "Cancel"; });
}

void ImpairmentsWindow::connectControls() {
    const auto call = [this](std::string routine) { return [this, routine] { Bt_gui_impairments(routine); }; };
    for (const auto& [tag, field] : kTextFields)
        onFieldEdited(handles_.get<QLineEdit>(tag), this, call(std::string(tag) + "_Callback"));
    for (const auto& [tag, field] : kActiveBoxes)
        connect(handles_.get<QAbstractButton>(tag), &QAbstractButton::clicked, this,
                call(std::string(tag) + "_Callback"));
    for (const char* tag : {"pdFreqDriftType", "pdFreqDriftRate"})
        connect(handles_.get<QComboBox>(tag), &QComboBox::activated, this, call(std::string(tag) + "_Callback"));
    connect(handles_.get<QAbstractButton>("pbOk"), &QAbstractButton::clicked, this, call("pbOk_Callback"));
    connect(handles_.get<QAbstractButton>("pbCancel"), &QAbstractButton::clicked, this, call("pbCancel_Callback"));
    // Closing the window (its close box, Escape) rejects the dialog.
    connect(window_, &QDialog::rejected, this, call("close_Callback"));
}

void ImpairmentsWindow::InitializeFigure() {
    resizeAllFonts(handles_, window_->logicalDpiY());
    for (const auto& [tag, tip] : kTooltips) handles_.get<QWidget>(tag)->setToolTip(tip);
}

ImpairmentsAnswer ImpairmentsWindow::open(const std::optional<Impairments>& impairments) {
    impairments_ = impairments ? *impairments : initImpairments();
    answer_ = "Cancel";
    if (!window_) return {answer_, impairments_};
    redrawImpairments();
    const QPointer<QDialog> dialog = window_;
    dialog->exec();
    // A window destroyed while open answers "Cancel".
    if (!dialog) return {"Cancel", impairments_};
    dialog->hide();
    return {answer_, impairments_};
}

void ImpairmentsWindow::redrawImpairments() {
    for (const auto& [tag, field] : kActiveBoxes)
        handles_.get<QAbstractButton>(tag)->setChecked(impairmentDisplayText(impairments_, field) != "0");
    for (const auto& [tag, field] : kTextFields)
        handles_.get<QLineEdit>(tag)->setText(QString::fromStdString(impairmentDisplayText(impairments_, field)));
    {
        auto* type = handles_.get<QComboBox>("pdFreqDriftType");
        const QSignalBlocker block(type);
        type->setCurrentIndex(impairments_.FreqDriftType == 2 ? 1 : 0);
        auto* rate = handles_.get<QComboBox>("pdFreqDriftRate");
        const QSignalBlocker blockRate(rate);
        rate->setCurrentIndex(driftRateItem(impairments_.FreqDriftRate) - 1);
    }
    const ImpairmentEnables e = impairmentEnables(impairments_);
    const std::pair<const char*, bool> enables[] = {
        {"txtModIndex", e.ModIndex},
        {"txtAWGNratio", e.AWGNratio},
        {"txtAWGNseed", e.AWGNseed},
        {"pdFreqDriftType", e.FreqDriftType},
        {"txtFreqDriftDeviation", e.FreqDriftDeviation},
        {"pdFreqDriftRate", e.FreqDriftRate},
        {"txtFreqOffset", e.FreqOffset},
        {"txtSymbolTimingError", e.SymbolTimingError},
        {"txtGainImbalance", e.GainImbalance},
        {"txtQuadratureSkew", e.QuadratureSkew},
        {"txtCarrierLeakage", e.CarrierLeakage},
        {"txtPhaseNoiseLevel", e.PhaseNoiseLevel},
        {"txtPhaseNoiseOffset", e.PhaseNoiseOffset},
    };
    for (const auto& [tag, on] : enables) {
        handles_.get<QWidget>(tag)->setEnabled(on);
        // The field's caption and unit follow it, so a disabled row reads as one.
        const QString name = QString(tag).mid(tag[0] == 't' ? 3 : 2);
        for (const QString& label : {"lbl" + name, "lbl" + name + "Units"})
            if (handles_.has(label)) handles_.get<QWidget>(label)->setEnabled(on);
    }
}

void ImpairmentsWindow::textField_Callback(const char* tag, const char* field) {
    auto* edit = handles_.get<QLineEdit>(tag);
    const ImpairmentEdit r = editImpairmentText(impairments_, field, edit->text().toStdString());
    impairments_ = r.impairments;
    edit->setText(QString::fromStdString(r.shown));
}

void ImpairmentsWindow::active_Callback(const char* tag, const char* field) {
    impairments_ = setImpairmentActive(impairments_, field, handles_.get<QAbstractButton>(tag)->isChecked()).impairments;
    redrawImpairments();
}

void ImpairmentsWindow::pdFreqDriftType_Callback() {
    impairments_ = selectDriftType(impairments_, handles_.get<QComboBox>("pdFreqDriftType")->currentIndex() + 1).impairments;
    redrawImpairments();
}

void ImpairmentsWindow::pdFreqDriftRate_Callback() {
    impairments_ = selectDriftRate(impairments_, handles_.get<QComboBox>("pdFreqDriftRate")->currentIndex() + 1).impairments;
}

void ImpairmentsWindow::release(const char* answer) {
    answer_ = answer;
    if (answer_ == "OK") window_->accept();
    else window_->reject();
}

}  // namespace bt::gui
