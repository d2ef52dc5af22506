#include "instrument/gui/siggen_panel.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>

#include "instrument/gui/siggen_advanced_dialog.h"
#include "instrument/siggen_editor.h"
#include "windowkit/gui/dialog_figure.h"
#include "windowkit/gui/unit_entry.h"
#include "windowkit/gui/field_edit.h"

namespace bt::gui {

SigGenPanel::SigGenPanel(QWidget* host, Record record, Platform platform, SigGenAdvancedDialog* advanced)
    : record_(std::move(record)), platform_(std::move(platform)), advanced_(advanced) {
    widget_ = loadPanelFigure("IXOconfig_b_c.ui", host);
    setParent(widget_);
    setWindowOwner(host, this);
    handles_ = Handles(widget_);
    addRoutines();
    connectControls();
}

SigGenPanel* SigGenPanel::of(QWidget* host) { return qobject_cast<SigGenPanel*>(windowOwner(host)); }

SigGenAdvancedDialog* SigGenPanel::advancedDialog() const { return qobject_cast<SigGenAdvancedDialog*>(advanced_); }

void SigGenPanel::addRoutines() { addRoutinesTo(dispatcher_); }

void SigGenPanel::addRoutinesTo(Dispatcher& d) {
    d.add("InitializeSigGenScreenObjects", [this] { InitializeSigGenScreenObjects(); });
    d.add("redrawSigGenSettings", [this] { redrawSigGenSettings(); });
    d.add("updateFrequency", [this] { updateFrequency(); });
    d.add("txtFrequency_Callback", [this] { updateFrequency(); });
    d.add("pdFrequencyUnits_Callback", [this] { updateFrequency(); });
    d.add("txtAmplitude_Callback", [this] { txtAmplitude_Callback(); });
    d.add("txtWaveformTitle_Callback", [this] { txtWaveformTitle_Callback(); });
    d.add("pbAdvancedSettings_Callback", [this] { pbAdvancedSettings_Callback(); });
}

QVariant SigGenPanel::IXOconfig_b_c(const std::string& action, const QVariantList& args) {
    return dispatcher_.call(action, args);
}

void SigGenPanel::connectControls() {
    const auto call = [this](std::string routine) { return [this, routine] { IXOconfig_b_c(routine); }; };
    new UnitEntry(handles_.get<QLineEdit>("txtFrequency"), handles_.get<QComboBox>("pdFrequencyUnits"),
                  [this] { frequencyEntered(); });
    onFieldEdited(handles_.get<QLineEdit>("txtAmplitude"), this, call("txtAmplitude_Callback"));
    onFieldEdited(handles_.get<QLineEdit>("txtWaveformTitle"), this, call("txtWaveformTitle_Callback"));
    connect(handles_.get<QAbstractButton>("pbAdvancedSettings"), &QAbstractButton::clicked, this,
            call("pbAdvancedSettings_Callback"));
}

void SigGenPanel::frequencyEntered() {
    if (frequencyCallback_) frequencyCallback_();
    else IXOconfig_b_c("txtFrequency_Callback");
}

void SigGenPanel::InitializeSigGenScreenObjects() {
    handles_.get<QWidget>("txtFrequency")->setToolTip(siggen_tips::kFrequency);
    handles_.get<QWidget>("txtAmplitude")->setToolTip(siggen_tips::kAmplitude);
    handles_.get<QWidget>("txtWaveformTitle")->setToolTip(siggen_tips::kWaveformTitle);
    handles_.get<QWidget>("pbAdvancedSettings")->setToolTip(siggen_tips::kAdvancedSettings);
}

void SigGenPanel::redrawSigGenSettings() {
    const SigGenSettings& s = record_();
    const ScaledText f = frequencyText(s.Frequency);
    handles_.get<QLineEdit>("txtFrequency")->setText(QString::fromStdString(f.text));
    auto* units = handles_.get<QComboBox>("pdFrequencyUnits");
    const QSignalBlocker block(units);
    units->setCurrentIndex(f.unit - 1);
    handles_.get<QLineEdit>("txtAmplitude")->setText(QString::fromStdString(amplitudeText(s.Amplitude)));
    handles_.get<QLineEdit>("txtWaveformTitle")->setText(QString::fromStdString(s.Title));
}

void SigGenPanel::updateFrequency() {
    SigGenSettings& s = record_();
    s = editFrequency(s, handles_.get<QLineEdit>("txtFrequency")->text().toStdString(),
                      handles_.get<QComboBox>("pdFrequencyUnits")->currentIndex() + 1)
            .settings;
    redrawSigGenSettings();
    edited();
}

void SigGenPanel::txtAmplitude_Callback() {
    SigGenSettings& s = record_();
    const SigGenEdit e = editAmplitude(s, handles_.get<QLineEdit>("txtAmplitude")->text().toStdString());
    s = e.settings;
    handles_.get<QLineEdit>("txtAmplitude")->setText(QString::fromStdString(e.shown.text));
    edited();
}

void SigGenPanel::txtWaveformTitle_Callback() {
    SigGenSettings& s = record_();
    const SigGenEdit e = editTitle(s, handles_.get<QLineEdit>("txtWaveformTitle")->text().toStdString());
    s = e.settings;
    handles_.get<QLineEdit>("txtWaveformTitle")->setText(QString::fromStdString(e.shown.text));
    edited();
}

void SigGenPanel::pbAdvancedSettings_Callback() {
    SigGenAdvancedDialog* dialog = advancedDialog();
    if (!dialog) {
        dialog = new SigGenAdvancedDialog(widget_->window(), platform_ ? platform_() : 'c');
        advanced_ = dialog;
    }
    const SigGenAnswer a = dialog->open(record_());
    if (a.answer != "OK") return;
    record_() = a.settings;
    edited();
}

}  // namespace bt::gui
