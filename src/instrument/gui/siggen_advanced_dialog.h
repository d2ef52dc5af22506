#pragma once
// The advanced signal-generator dialog (IxoConfigAdv_b_c): sample clock,
// filters, scaling, attenuation and the switches, edited on a copy of the
// settings that is handed back only on OK. The controls the connected
// generation lacks are hidden. Created once, hidden after each answer.
#include <QDialog>
#include <QObject>
#include <QPointer>
#include <string>

#include "instrument/instrument_settings.h"
#include "instrument/siggen_editor.h"
#include "windowkit/gui/dispatch.h"
#include "windowkit/gui/figure.h"

namespace bt::gui {

struct SigGenAnswer {
    std::string answer;  // "OK" or "Cancel"
    SigGenSettings settings;  // the edited copy on "OK", else the settings given
};

class SigGenAdvancedDialog : public QObject {
    Q_OBJECT
public:
    // Loads "IxoConfigAdv_b_c.fig" as a hidden window over `parent` and
    // initialises it for the generation `platform` ('b' or 'c'). The object
    // belongs to `parent` (to the caller when null) and deletes the window
    // with itself.
    SigGenAdvancedDialog(QWidget* parent, char platform);
    ~SigGenAdvancedDialog() override;
    static SigGenAdvancedDialog* of(QWidget* window);

    // IxoConfigAdv_b_c(figure, settings): waits for OK or Cancel.
    SigGenAnswer open(const SigGenSettings& settings);

    // Runs the routine `action` ("InitializeFigure", a callback).
    QVariant IxoConfigAdv_b_c(const std::string& action, const QVariantList& args = {});

    QDialog* window() const { return window_; }
    const Handles& handles() const { return handles_; }
    const SigGenSettings& copy() const { return settings_; }
    SigGenModel model() const { return model_; }

private:
    void InitializeFigure();
    void addRoutines();
    void connectControls();
    void redraw();
    void samplingRate_Callback();
    void textField_Callback(const char* tag, SigGenEdit (*edit)(const SigGenSettings&, std::string_view));
    void release(const char* answer);

    QPointer<QDialog> window_;
    Handles handles_;
    Dispatcher dispatcher_{"IxoConfigAdv_b_c"};
    SigGenModel model_;
    SigGenSettings settings_;
    std::string answer_ = "Cancel";
};

}  // namespace bt::gui
