#pragma once
// The signal-generator panel (IXOconfig_b_c): carrier frequency with its
// unit, output power, waveform title and the advanced-settings button,
// loaded into a container of a host window and bound to one instrument
// settings record. Its edits go through the signal-generator editor.
//
// A host loads it, registers its routines by name, and calls
// InitializeSigGenScreenObjects once and redrawSigGenSettings after
// changing the record:
//
//     auto* panel = new SigGenPanel(host, [&]() -> SigGenSettings& { return settings; },
//                                   [&] { return platform; });
//     panel->addRoutinesTo(hostDispatcher);
//     panel->InitializeSigGenScreenObjects();
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>

#include "instrument/instrument_settings.h"
#include "windowkit/gui/dispatch.h"
#include "windowkit/gui/figure.h"

namespace bt::gui {

class SigGenAdvancedDialog;

class SigGenPanel : public QObject {
    Q_OBJECT
public:
    using Record = std::function<SigGenSettings&()>;
    using Platform = std::function<char()>;

    // Loads "IXOconfig_b_c.ui" into `host` (into its layout when it has
    // one). `record` gives the settings the panel edits; `advanced` is the
    // dialog the advanced button opens (when null, the panel makes its own
    // for the instrument generation `platform` names, IXO-C when empty).
    // The panel lives as long as `host`.
    explicit SigGenPanel(QWidget* host, Record record, Platform platform = {},
                         SigGenAdvancedDialog* advanced = nullptr);
    // The panel loaded into `host`, if any.
    static SigGenPanel* of(QWidget* host);

    // Puts the panel's routines (callbacks and the three actions) into a
    // host's dispatcher, so that the host can call them by name.
    void addRoutinesTo(Dispatcher& d);
    QVariant IXOconfig_b_c(const std::string& action, const QVariantList& args = {});

    // The tooltips.
    void InitializeSigGenScreenObjects();
    // Frequency in its unit, power and title from the record.
    void redrawSigGenSettings();
    // Reads the frequency field and unit list, stores the carrier, redraws.
    void updateFrequency();

    // What an entry in the frequency field or a new unit runs: the panel's
    // own txtFrequency_Callback (updateFrequency) unless a host that must
    // follow the carrier (the main window's channel) sets its routine here.
    void setFrequencyCallback(std::function<void()> callback) { frequencyCallback_ = std::move(callback); }
    // Runs after an edit of the panel or the advanced dialog's "OK" has
    // stored into the record (a host may mark its settings as changed).
    void setEditedCallback(std::function<void()> callback) { edited_ = std::move(callback); }

    QWidget* widget() const { return widget_; }
    const Handles& handles() const { return handles_; }
    SigGenAdvancedDialog* advancedDialog() const;

private:
    void addRoutines();
    void connectControls();
    void txtAmplitude_Callback();
    void txtWaveformTitle_Callback();
    void pbAdvancedSettings_Callback();
    void frequencyEntered();

    QPointer<QWidget> widget_;
    Handles handles_;
    Dispatcher dispatcher_{"IXOconfig_b_c"};
    Record record_;
    Platform platform_;
    QPointer<QObject> advanced_;
    std::function<void()> frequencyCallback_;
    std::function<void()> edited_;
    void edited() const {
        if (edited_) edited_();
    }
};

}  // namespace bt::gui
