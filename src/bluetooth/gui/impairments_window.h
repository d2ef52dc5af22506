#pragma once
// The impairment window (Bt_gui_impairments): a modal dialog that edits a
// working copy of the impairment record. Every entry goes through the
// impairment editor, which rounds and clamps it; the window only shows the
// result. Created once, hidden on OK, Cancel or close.
#include <QDialog>
#include <QObject>
#include <QPointer>
#include <optional>
#include <string>

#include "bluetooth/settings.h"
#include "windowkit/gui/dispatch.h"
#include "windowkit/gui/figure.h"

namespace bt::gui {

struct ImpairmentsAnswer {
    std::string answer;  // "OK" or "Cancel"
    Impairments impairments;  // the working copy, whatever the answer
};

class ImpairmentsWindow : public QObject {
    Q_OBJECT
public:
    // Loads "bt_gui_Impairments.fig" as a hidden window over `parent` and
    // runs InitializeFigure. The object belongs to `parent` (to the caller
    // when null) and deletes the window with itself.
    explicit ImpairmentsWindow(QWidget* parent);
    ~ImpairmentsWindow() override;
    // The object behind a window this class created (null for any other).
    static ImpairmentsWindow* of(QWidget* window);

    // Opens the window on `impairments` (the window's defaults when none),
    // waits until it is released, hides it and returns the answer.
    ImpairmentsAnswer open(const std::optional<Impairments>& impairments = std::nullopt);

    // Runs the window's routine `action` (a callback, "redrawImpairments",
    // "InitializeFigure"); an escaping error is printed on stderr.
    QVariant Bt_gui_impairments(const std::string& action, const QVariantList& args = {});

    QDialog* window() const { return window_; }
    const Handles& handles() const { return handles_; }
    const Impairments& workingCopy() const { return impairments_; }

    void redrawImpairments();

private:
    void InitializeFigure();
    void addRoutines();
    void connectControls();
    void textField_Callback(const char* tag, const char* field);
    void active_Callback(const char* tag, const char* field);
    void pdFreqDriftType_Callback();
    void pdFreqDriftRate_Callback();
    void release(const char* answer);

    QPointer<QDialog> window_;
    Handles handles_;
    Dispatcher dispatcher_{"Bt_gui_impairments"};
    Impairments impairments_;
    std::string answer_ = "Cancel";
};

}  // namespace bt::gui
