#pragma once
// Bt_DT_EventMarkers: what the instrument's two rear-panel event outputs
// carry during the dirty-transmitter sequence. Created once, hidden on Exit.
#include <QObject>
#include <QVariant>
#include <string>

#include "bluetooth/dirty_tx_state.h"
#include "windowkit/gui/dispatch.h"
#include "windowkit/gui/figure.h"

namespace bt::gui {

class DtEventMarkersWindow : public QObject {
    Q_OBJECT
public:
    // Loads the layout bt_DT_EventMarkers as a window over `parent`, hidden,
    // on the dirty-transmitter state `dirtyTx`, which outlives it. The object
    // belongs to its window and goes with it.
    explicit DtEventMarkersWindow(DirtyTxState& dirtyTx, QWidget* parent = nullptr);
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

    DirtyTxState& dt_;
    Handles h_;
    Dispatcher d_{"Bt_DT_EventMarkers"};
};

}  // namespace bt::gui
