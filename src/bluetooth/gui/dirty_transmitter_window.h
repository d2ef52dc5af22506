#pragma once
// Bt_DirtyTransmitter: the window of the dirty-transmitter test. It shows
// and edits the dirty-transmitter state through the
// core's entry rules, runs the calculation and the download with the set in
// progress highlighted and Cancel between sets, and opens the event-marker
// window. Created once at start-up and hidden on Exit.
#include <QObject>
#include <QPointer>
#include <QVariant>
#include <string>
#include <vector>

#include "bluetooth/dirty_tx_state.h"
#include "bluetooth/settings.h"
#include "windowkit/gui/dispatch.h"
#include "windowkit/gui/figure.h"

class QLineEdit;

namespace bt::gui {

class DtEventMarkersWindow;
class SigGenPanel;

// The application records the window reads and edits. They outlive it.
struct DtWindowRecords {
    DirtyTxState& dirtyTx;
    Parameters& parameters;  // open() takes the state kept here; Exit writes it back
    const Configuration& configuration;
    SigGenSettings& sigGen;  // the advanced instrument settings the sequence shares
    const AppInfo& appInfo;  // the platform
};

class DirtyTransmitterWindow : public QObject {
    Q_OBJECT
public:
    // Loads the layout bt_DirtyTransmitter as a window over `parent`, hidden,
    // with its event-marker window, and initialises both. The object belongs
    // to its window and goes with it.
    explicit DirtyTransmitterWindow(DtWindowRecords records, QWidget* parent = nullptr);
    ~DirtyTransmitterWindow() override;
    // The object behind a window this class made (null for any other).
    static DirtyTransmitterWindow* of(const QWidget* window);

    QWidget* window() const { return h_.root(); }
    const Handles& handles() const { return h_; }
    DtEventMarkersWindow* eventMarkers() const { return markers_; }
    SigGenPanel* sigGenPanel() const { return panel_; }

    // Opening from the main window: takes the state kept in `parameters`,
    // shows the window and refills it. Exit writes the state back.
    void open();
    // Runs the window routine `action` ("pbCalculate_Callback", ...); the
    // per-set callbacks take the control as their argument.
    QVariant call(const std::string& action, const QVariantList& args = {}) const { return d_.call(action, args); }

    // The disabled-while-busy rule: "off" disables every enabled control that
    // has a callback and returns those; anything else enables `controls`.
    std::vector<QPointer<QWidget>> setDirtyTransmitterControls(const QString& state,
                                                               const std::vector<QPointer<QWidget>>& controls);

protected:
    bool eventFilter(QObject* o, QEvent* e) override;

signals:
    // Test set `set` (1 … 10) is highlighted as in progress.
    void progressShown(int set, bool downloading);

private:
    class Busy;
    enum class Highlight { None, Calculating, Downloading };

    void initializeFigure();
    void redraw();
    void restyleSet(int set);
    std::vector<QLineEdit*> setEdits(int set) const;
    bool showProgress(int set, bool downloading, bool finished);
    void calculate();
    void download();
    void exit();

    DirtyTxState& dt() const { return r_.dirtyTx; }
    char platform() const { return r_.appInfo.Platform; }

    DtWindowRecords r_;
    Handles h_;
    Dispatcher d_{"Bt_DirtyTransmitter"};
    DtEventMarkersWindow* markers_ = nullptr;
    SigGenPanel* panel_ = nullptr;
    std::vector<QWidget*> controls_;  // the controls with a callback
    Highlight highlight_[10] = {};
    bool cancelRequested_ = false;
    bool placed_ = false;
    Busy* busy_ = nullptr;
};

}  // namespace bt::gui
