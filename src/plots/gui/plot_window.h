#pragma once
// The frame every plot window shares: the window from its layout
// (Ux_PlotFrame.ui) with the File, Edit and Tools menus, placed over its
// parent, one QCustomPlot, the zoom and rotate modes of the Tools menu, the
// zoom command set, image export and the cursor read-out. One subclass per
// kind of plot draws into it.
#include <QMainWindow>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QVariant>
#include <cstdint>
#include <map>
#include <string>

#include "plots/placement.h"
#include "plots/zoom.h"
#include "windowkit/gui/figure.h"

class QCustomPlot;
class QCPAxisRect;

class QRubberBand;
class QWidget;

namespace bt::gui {

class PlotWindow : public QObject {
    Q_OBJECT
public:
    // Loads the frame named `name` ("CCDF BLUETOOTH (...)"), placed for
    // `kind` over `parent` (the screen when null). The window is deleted
    // when closed; it is shown by show() once the plot is complete.
    PlotWindow(plots::PlotKind kind, const QString& name, QWidget* parent);
    ~PlotWindow() override;

    QMainWindow* window() const { return window_; }
    QCustomPlot* plot() const { return plot_; }
    const Handles& handles() const { return handles_; }
    void show();

    // The plot window that `w` is (null for any other window), and whether
    // a handle still names an open plot window.
    static PlotWindow* of(const QWidget* w);
    static bool isOpen(std::uintptr_t handle);
    static std::uintptr_t handleOf(const QWidget* w) { return reinterpret_cast<std::uintptr_t>(w); }
    // Closes the plot window `handle` names; false when it names none.
    static bool close(std::uintptr_t handle);

    // Tools menu: zoom and rotate are exclusive; Zoom Reset returns every
    // axes to the limits the first zoom stored ("zoom out").
    void Ux_Zoom();
    void Ux_Rotate();
    void zoomOut();
    // The zoom command set on the current axes: "on", "off", "xon", "out",
    // "reset", "2", "getmode", "getlimits" ([xmin xmax ymin ymax]) ...
    // Throws bt::Error with the command set's messages.
    QVariant Bt_zoom(const std::string& command, bool wantOutput = false);
    const plots::ZoomState& zoomState() const { return zoom_; }
    plots::AxisLimits limits(QCPAxisRect* r) const;
    void setLimits(QCPAxisRect* r, const plots::AxisLimits& l);
    // The axes commands and clicks apply to: the last one clicked, at
    // first the first.
    QCPAxisRect* currentAxes() const;

    // Writes the plot as PNG, SVG or PDF, by the file's extension, at the
    // window's size or the one given. False when it cannot.
    bool saveImage(const QString& path, int width = 0, int height = 0);
    // File > Save Image...: asks for the file through the dialog service.
    void menuSaveImage();
    // The read-out under the plot: the position of the mouse in the axes'
    // units, or "" outside them.
    QString cursorText() const;

signals:
    void rangesChanged();

protected:
    // What the read-out says at (x, y) of axes `r`; the default names both
    // axes by their labels.
    virtual QString readout(QCPAxisRect* r, double x, double y) const;
    // 3-D views turn under the mouse in rotate mode.
    virtual bool canRotate() const { return false; }
    virtual void rotateBy(double /*dAzimuth*/, double /*dElevation*/) {}
    void enableRotate(bool on);
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    void mousePress(QPoint p);
    void mouseRelease(QPoint p);
    void doubleClick(QPoint p);
    void updateInteractions();
    QCPAxisRect* axesAt(QPoint p) const;

    QPointer<QMainWindow> window_;
    QCustomPlot* plot_ = nullptr;
    Handles handles_;
    plots::ZoomState zoom_;
    bool rotating_ = false;
    std::map<QCPAxisRect*, plots::AxisLimits> stored_;
    QPointer<QCPAxisRect> current_;
    QRubberBand* band_ = nullptr;
    QPoint pressAt_;
    bool pressed_ = false;
};

// The zoom command set addressed to a window: `fig` must be a plot window
// ("First argument must be a figure handle." otherwise).
QVariant Bt_zoom(QWidget* fig, const std::string& command, bool wantOutput = false);

}  // namespace bt::gui
