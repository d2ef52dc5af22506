#include "instrument/gui/siggen_advanced_dialog.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>
#include <functional>

#include "lib/numtext.h"
#include "windowkit/gui/dialog_figure.h"
#include "windowkit/gui/unit_entry.h"
#include "windowkit/gui/field_edit.h"

namespace bt::gui {

namespace {

constexpr std::pair<const char*, const char*> kFlags[] = {
    {"chkRFblanking", "RFblanking"},
    {"chkALC", "ALC"},
    {"chkBBrefSource", "ArbRefSource"},
    {"chkMarkerPolarity", "MarkerPolarity"},
};

void setText(const Handles& h, const char* tag, const std::string& text) {
    h.get<QLineEdit>(tag)->setText(QString::fromStdString(text));
}

void setItem(const Handles& h, const char* tag, int item) {
    auto* list = h.get<QComboBox>(tag);
    const QSignalBlocker block(list);
    list->setCurrentIndex(item - 1);
}

}  // namespace

SigGenAdvancedDialog::SigGenAdvancedDialog(QWidget* parent, char platform)
    : QObject(parent), model_(sigGenModelOf(platform)) {
    window_ = loadDialogFigure("IxoConfigAdv_b_c.fig", parent);
    setWindowOwner(window_, this);
    handles_ = Handles(window_);
    addRoutines();
    connectControls();
    IxoConfigAdv_b_c("InitializeFigure");
}

SigGenAdvancedDialog::~SigGenAdvancedDialog() { delete window_.data(); }

SigGenAdvancedDialog* SigGenAdvancedDialog::of(QWidget* window) {
    return qobject_cast<SigGenAdvancedDialog*>(windowOwner(window));
}

QVariant SigGenAdvancedDialog::IxoConfigAdv_b_c(const std::string& action, const QVariantList& args) {
    return dispatcher_.call(action, args);
}

void SigGenAdvancedDialog::addRoutines() {
    const auto add = [this](const std::string& name, std::function<void()> fn) { dispatcher_.add(name, std::move(fn)); };
    add("InitializeFigure", [this] { InitializeFigure(); });
    add("txtSamplingRate_Callback", [this] { samplingRate_Callback(); });
    add("pdSamplingRateUnits_Callback", [this] { samplingRate_Callback(); });
    add("txtScaling_Callback", [this] { textField_Callback("txtScaling", editScaling); });
    add("txtModAtten_Callback", [this] { textField_Callback("txtModAtten", editModAtten); });
    add("pdReconFilter_Callback", [this] {
        settings_ = selectReconFilter(settings_, handles_.get<QComboBox>("pdReconFilter")->currentIndex() + 1);
    });
    add("pdBBfilter_Callback", [this] {
        settings_ = selectBBfilter(settings_, handles_.get<QComboBox>("pdBBfilter")->currentIndex() + 1);
    });
    for (const auto& [tag, field] : kFlags)
        add(std::string(tag) + "_Callback", [this, tag = tag, field = field] {
            settings_ = setSigGenFlag(settings_, field, handles_.get<QAbstractButton>(tag)->isChecked());
        });
    add("pbOK_Callback", [this] { release("OK"); });
    add("pbCancel_Callback", [this] { release("Cancel"); });
    add("close_Callback", [this] { answer_ = "Cancel"; });
}

void SigGenAdvancedDialog::connectControls() {
    const auto call = [this](std::string routine) { return [this, routine] { IxoConfigAdv_b_c(routine); }; };
    new UnitEntry(handles_.get<QLineEdit>("txtSamplingRate"), handles_.get<QComboBox>("pdSamplingRateUnits"),
                  call("txtSamplingRate_Callback"));
    for (const char* tag : {"txtScaling", "txtModAtten"})
        onFieldEdited(handles_.get<QLineEdit>(tag), this, call(std::string(tag) + "_Callback"));
    for (const char* tag : {"pdReconFilter", "pdBBfilter"})
        connect(handles_.get<QComboBox>(tag), &QComboBox::activated, this, call(std::string(tag) + "_Callback"));
    for (const auto& [tag, field] : kFlags)
        connect(handles_.get<QAbstractButton>(tag), &QAbstractButton::clicked, this,
                call(std::string(tag) + "_Callback"));
    connect(handles_.get<QAbstractButton>("pbOK"), &QAbstractButton::clicked, this, call("pbOK_Callback"));
    connect(handles_.get<QAbstractButton>("pbCancel"), &QAbstractButton::clicked, this, call("pbCancel_Callback"));
    connect(window_, &QDialog::rejected, this, call("close_Callback"));
}

void SigGenAdvancedDialog::InitializeFigure() {
    resizeAllFonts(handles_, window_->logicalDpiY());
    const AdvancedControls shown = advancedControlsOf(model_);
    const std::pair<const char*, bool> controls[] = {
        {"pdReconFilter", shown.reconFilter},
        {"txtReconstructionFilterLabel", shown.reconFilter},
        {"pdBBfilter", shown.bbFilter},
        {"txtBasebandFilterLabel", shown.bbFilter},
        {"txtScaling", shown.scaling},
        {"txtWaveformScalingLabel", shown.scaling},
        {"txtWaveformScalingUnits", shown.scaling},
        {"txtModAtten", shown.modAtten},
        {"txtModulatorAttenuationLabel", shown.modAtten},
        {"txtModulatorAttenuationUnits", shown.modAtten},
    };
    for (const auto& [tag, visible] : controls) handles_.get<QWidget>(tag)->setVisible(visible);

    const std::pair<const char*, std::string> tips[] = {
        {"txtSamplingRate", samplingRateTooltip(model_)},
        {"pdReconFilter", siggen_tips::kReconFilter},
        {"pdBBfilter", siggen_tips::kBBfilter},
        {"txtScaling", siggen_tips::kScaling},
        {"txtModAtten", siggen_tips::kModAtten},
        {"chkRFblanking", siggen_tips::kRFblanking},
        {"chkALC", siggen_tips::kALC},
        {"chkBBrefSource", siggen_tips::kBBrefSource},
        {"chkMarkerPolarity", siggen_tips::kMarkerPolarity},
        {"pbOK", siggen_tips::kOK},
        {"pbCancel", siggen_tips::kCancel},
    };
    for (const auto& [tag, tip] : tips) handles_.get<QWidget>(tag)->setToolTip(QString::fromStdString(tip));
    window_->adjustSize();
}

SigGenAnswer SigGenAdvancedDialog::open(const SigGenSettings& settings) {
    settings_ = settings;
    answer_ = "Cancel";
    if (!window_) return {answer_, settings};
    redraw();
    const QPointer<QDialog> dialog = window_;
    dialog->exec();
    if (!dialog) return {"Cancel", settings};
    dialog->hide();
    if (answer_ != "OK") return {answer_, settings};
    return {answer_, settings_};
}

void SigGenAdvancedDialog::redraw() {
    const ScaledText rate = samplingRateText(settings_.SamplingRate);
    setText(handles_, "txtSamplingRate", rate.text);
    setItem(handles_, "pdSamplingRateUnits", rate.unit);
    setItem(handles_, "pdReconFilter", static_cast<int>(settings_.ReconFilter));
    setItem(handles_, "pdBBfilter", static_cast<int>(settings_.BBfilter));
    setText(handles_, "txtScaling", formatNumber(settings_.Scaling));
    setText(handles_, "txtModAtten", formatNumber(settings_.ModAtten));
    const std::pair<const char*, double> flags[] = {
        {"chkRFblanking", settings_.RFblanking},
        {"chkALC", settings_.ALC},
        {"chkBBrefSource", settings_.ArbRefSource},
        {"chkMarkerPolarity", settings_.MarkerPolarity},
    };
    for (const auto& [tag, value] : flags) handles_.get<QAbstractButton>(tag)->setChecked(value != 0);
}

void SigGenAdvancedDialog::samplingRate_Callback() {
    const SigGenEdit e = editSamplingRate(settings_, handles_.get<QLineEdit>("txtSamplingRate")->text().toStdString(),
                                          handles_.get<QComboBox>("pdSamplingRateUnits")->currentIndex() + 1, model_);
    settings_ = e.settings;
    setText(handles_, "txtSamplingRate", e.shown.text);
    setItem(handles_, "pdSamplingRateUnits", e.shown.unit);
}

void SigGenAdvancedDialog::textField_Callback(const char* tag,
                                              SigGenEdit (*edit)(const SigGenSettings&, std::string_view)) {
    const SigGenEdit e = edit(settings_, handles_.get<QLineEdit>(tag)->text().toStdString());
    settings_ = e.settings;
    setText(handles_, tag, e.shown.text);
}

void SigGenAdvancedDialog::release(const char* answer) {
    answer_ = answer;
    if (answer_ == "OK") window_->accept();
    else window_->reject();
}

}  // namespace bt::gui
