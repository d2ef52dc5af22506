#include "bluetooth/gui/dt_event_markers_window.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include "bluetooth/dirty_tx_entries.h"
#include "windowkit/gui/field_edit.h"

namespace bt::gui {

namespace {
}  // namespace

DtEventMarkersWindow::DtEventMarkersWindow(DirtyTxState& dirtyTx, QWidget* parent) : dt_(dirtyTx) {
    QWidget* w = loadFigure("bt_DT_EventMarkers.fig", parent);
    w->hide();
    setParent(w);
    h_ = Handles(w);

    d_.add("pdEvent1Marker_Callback", [this] {
        dtSelectMarker1Type(dt_, h_.get<QComboBox>("pdEvent1Marker")->currentIndex() + 1);
        showTimingControls(dtEventMarkerView(dt_).timingShown);
        emit edited();
    });
    d_.add("editMarker1Timing_Callback", [this] {
        dtEnterMarker1Timing(dt_, h_.get<QLineEdit>("editMarker1Timing")->text().toStdString());
        h_.get<QLineEdit>("editMarker1Timing")->setText(QString::fromStdString(dtEventMarkerView(dt_).marker1Timing));
        emit edited();
    });
    d_.add("pdEvent2Marker_Callback", [this] {
        dtSelectMarker2Type(dt_, h_.get<QComboBox>("pdEvent2Marker")->currentIndex() + 1);
        emit edited();
    });
    d_.add("pbExit_Callback", [this] { window()->hide(); });
    d_.add("redrawDT_EventMarkers", [this] { redraw(); });
    d_.add("InitializeFigure", [this] { initializeFigure(); });

    connect(h_.get<QComboBox>("pdEvent1Marker"), &QComboBox::activated, this,
            [this] { call("pdEvent1Marker_Callback"); });
    onFieldEdited(h_.get<QLineEdit>("editMarker1Timing"), this, [this] { call("editMarker1Timing_Callback"); });
    connect(h_.get<QComboBox>("pdEvent2Marker"), &QComboBox::activated, this,
            [this] { call("pdEvent2Marker_Callback"); });
    connect(h_.get<QPushButton>("pbExit"), &QPushButton::clicked, this, [this] { call("pbExit_Callback"); });
    call("InitializeFigure");
}

DtEventMarkersWindow::~DtEventMarkersWindow() = default;

void DtEventMarkersWindow::initializeFigure() {
    const QScreen* screen = window()->screen();
    resizeAllFonts(h_, screen ? screen->logicalDotsPerInch() : 96);
    h_.get<QComboBox>("pdEvent1Marker")->setToolTip("Sets the use of Event Marker 1 \nrear panel BNC output.");
    h_.get<QLineEdit>("editMarker1Timing")
        ->setToolTip("Sets the position of the Event Marker 1 relative \nto the start of the packet preamble.  This "
                     "offset \ncan be negative unless \"Omit Poll Periods\" is checked.");
    h_.get<QComboBox>("pdEvent2Marker")
        ->setToolTip("Sets the use of Event Marker 2 rear panel \nBNC output. When \"Burst\" is selected, this\nsignal "
                     "is also connected to RF Blanking to\nblank the carrier when the burst is off.");
    h_.get<QPushButton>("pbExit")->setToolTip("Exits from the Event Marker Setup. ");
}

void DtEventMarkersWindow::open() {
    redraw();
    window()->show();
    window()->raise();
}

void DtEventMarkersWindow::showTimingControls(bool shown) {
    h_.get<QLabel>("textMarker1TimingLabel")->setVisible(shown);
    h_.get<QLineEdit>("editMarker1Timing")->setVisible(shown);
    h_.get<QLabel>("textMarker1TimingUnits")->setVisible(shown);
}

void DtEventMarkersWindow::redraw() {
    const DtEventMarkerView v = dtEventMarkerView(dt_);
    h_.get<QComboBox>("pdEvent1Marker")->setCurrentIndex(v.marker1Item - 1);
    h_.get<QComboBox>("pdEvent2Marker")->setCurrentIndex(v.marker2Item - 1);
    h_.get<QLineEdit>("editMarker1Timing")->setText(QString::fromStdString(v.marker1Timing));
    showTimingControls(v.timingShown);
}

}  // namespace bt::gui
