#pragma once
// Bt_DT_EventMarkers: what the instrument's two rear-panel event outputs
// carry during the dirty-transmitter sequence. Created once, hidden on Exit.
#include <QObject>
#include <QVariant>
#include <string>

#include "ui/gui/dispatch.h"
#include "ui/gui/figure.h"

namespace bt::gui {

class DtEventMarkersWindow : public QObject {
    Q_OBJECT
public:
    // Loads the layout bt_DT_EventMarkers as a window over `parent`, hidden.
    // The object belongs to its window and goes with it.
    explicit DtEventMarkersWindow(QWidget* parent = nullptr);
    ~DtEventMarkersWindow() override;

    QWidget* window() const { return h_.root(); }
    const Handles& handles() const { return h_; }

    // Shows the window refilled from the dirty-transmitter state.
    void open();
    // Runs the window routine `action` ("pdEvent1Marker_Callback", ...).
    QVariant call(const std::string& action, const QVariantList& args = {}) const { return d_.call(action, args); }

signals:
    // A marker field changed (the dirty-transmitter window refills).
    void edited();

private:
    void initializeFigure();
    void redraw();
    void showTimingControls(bool shown);

    Handles h_;
    Dispatcher d_{"Bt_DT_EventMarkers"};
};

}  // namespace bt::gui
