#include "plots/gui/plot_window.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QLabel>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPrintDialog>
#include <QPrinter>
#include <QRubberBand>
#include <QScreen>
#include <QSvgGenerator>
#include <QVBoxLayout>
#include <cmath>
#include <qcustomplot.h>
#include <set>

#include "lib/dialogs.h"
#include "lib/errors.h"

namespace bt::gui {

namespace {

std::set<const QWidget*>& openWindows() {
    static std::set<const QWidget*> s;
    return s;
}

QString number(double v) { return QString::number(v, 'g', 6); }

}  // namespace

PlotWindow::PlotWindow(plots::PlotKind kind, const QString& name, QWidget* parent) {
    QWidget* w = loadFigure("Ux_PlotFrame", parent);
    window_ = qobject_cast<QMainWindow*>(w);
    if (!window_) throw Error("The plot frame layout is not a main window.");
    setParent(window_);
    window_->setAttribute(Qt::WA_DeleteOnClose);
    window_->setWindowTitle(name);
    handles_ = Handles(window_);
    openWindows().insert(window_);

    // Placement: over the parent at 0.8 of its size, or a fixed place.
    const QScreen* screen = parent && parent->screen() ? parent->screen() : QGuiApplication::primaryScreen();
    const double screenH = screen ? screen->geometry().height() : 1080;
    std::optional<WindowRect> parentRect;
    if (parent) {
        const QRect g = parent->geometry();
        parentRect = plots::fromTopDown(g.x(), g.y(), g.width(), g.height(), screenH);
    }
    const WindowRect r = plots::toTopDown(plots::plotWindowRect(kind, parentRect), screenH);
    window_->setGeometry(int(std::lround(r.left)), int(std::lround(r.bottom)), int(std::lround(r.width)),
                         int(std::lround(r.height)));

    plot_ = new QCustomPlot(handles_.get<QWidget>("plotArea"));
    plot_->setObjectName("plotAxes");
    handles_.get<QWidget>("plotArea")->layout()->addWidget(plot_);
    plot_->setNoAntialiasingOnDrag(true);
    plot_->installEventFilter(this);
    plot_->setMouseTracking(true);
    band_ = new QRubberBand(QRubberBand::Rectangle, plot_);
    updateInteractions();

    auto* close = handles_.get<QAction>("menuFileClose");
    connect(close, &QAction::triggered, window_, &QWidget::close);
    connect(handles_.get<QAction>("menuFileSaveImage"), &QAction::triggered, this, &PlotWindow::menuSaveImage);
    connect(handles_.get<QAction>("menuFilePrint"), &QAction::triggered, this, [this] {
        QPrinter printer;
        QPrintDialog dialog(&printer, window_);
        if (dialog.exec() != QDialog::Accepted) return;
        QCPPainter painter(&printer);
        const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
        plot_->toPainter(&painter, page.width(), page.height());
    });
    connect(handles_.get<QAction>("menuFilePrintSetup"), &QAction::triggered, this, [this] {
        QPrinter printer;
        QPrintDialog dialog(&printer, window_);
        dialog.setOption(QAbstractPrintDialog::PrintToFile, false);
        dialog.exec();
    });
    connect(handles_.get<QAction>("menuEditCopy"), &QAction::triggered, this,
            [this] { QApplication::clipboard()->setPixmap(plot_->toPixmap()); });
    connect(handles_.get<QAction>("Ux_Zoom"), &QAction::triggered, this, [this] {
        // The action's own check state is the callback's to decide.
        handles_.get<QAction>("Ux_Zoom")->setChecked(zoom_.on);
        Ux_Zoom();
    });
    connect(handles_.get<QAction>("Ux_Rotate"), &QAction::triggered, this, [this] {
        handles_.get<QAction>("Ux_Rotate")->setChecked(rotating_);
        Ux_Rotate();
    });
    connect(handles_.get<QAction>("Ux_ZoomReset"), &QAction::triggered, this, &PlotWindow::zoomOut);
}

PlotWindow::~PlotWindow() { openWindows().erase(window_.data()); }

void PlotWindow::show() {
    plot_->replot();
    // The full view is kept as drawn: the wheel and the drag change the
    // limits without a zoom click, and Zoom Reset must still find them.
    for (QCPAxisRect* r : plot_->axisRects())
        if (!stored_.count(r)) stored_[r] = limits(r);
    // A mirror axis (the box's top and right, without labels) carries the
    // ticks of the axis it mirrors, whatever ticker that one was given.
    for (QCPAxisRect* r : plot_->axisRects()) {
        for (auto [from, to] : {std::pair{QCPAxis::atBottom, QCPAxis::atTop}, std::pair{QCPAxis::atLeft, QCPAxis::atRight}}) {
            QCPAxis* a = r->axis(from);
            QCPAxis* m = r->axis(to);
            if (!a || !m || !m->visible() || m->tickLabels()) continue;
            m->setScaleType(a->scaleType());
            m->setTicker(a->ticker());
            m->setRange(a->range());
        }
    }
    plot_->replot();
    window_->show();
}

PlotWindow* PlotWindow::of(const QWidget* w) {
    if (!w || !openWindows().count(w)) return nullptr;
    return w->findChild<PlotWindow*>(QString(), Qt::FindDirectChildrenOnly);
}

bool PlotWindow::isOpen(std::uintptr_t handle) {
    return openWindows().count(reinterpret_cast<const QWidget*>(handle)) != 0;
}

bool PlotWindow::close(std::uintptr_t handle) {
    if (!isOpen(handle)) return false;
    auto* w = const_cast<QWidget*>(reinterpret_cast<const QWidget*>(handle));
    openWindows().erase(w);
    w->close();
    return true;
}

void PlotWindow::updateInteractions() {
    // Outside the modes the mouse pans and the wheel zooms; in zoom mode
    // the buttons belong to the zoom, in rotate mode to the rotation.
    QCP::Interactions i = QCP::iRangeZoom;
    if (!zoom_.on && !rotating_) i |= QCP::iRangeDrag;
    plot_->setInteractions(i);
    window_->setCursor(zoom_.on ? Qt::CrossCursor : rotating_ ? Qt::SizeAllCursor : Qt::ArrowCursor);
}

void PlotWindow::enableRotate(bool on) { handles_.get<QAction>("Ux_Rotate")->setEnabled(on); }

void PlotWindow::Ux_Zoom() {
    auto* zoomItem = handles_.get<QAction>("Ux_Zoom");
    auto* rotateItem = handles_.get<QAction>("Ux_Rotate");
    if (!zoomItem->isChecked()) {
        zoom_.on = true;
        zoom_.direction = "both";
        rotating_ = false;
        zoomItem->setChecked(true);
        rotateItem->setChecked(false);
    } else {
        zoom_.on = false;
        zoomItem->setChecked(false);
    }
    updateInteractions();
}

void PlotWindow::Ux_Rotate() {
    auto* zoomItem = handles_.get<QAction>("Ux_Zoom");
    auto* rotateItem = handles_.get<QAction>("Ux_Rotate");
    if (!rotateItem->isChecked()) {
        rotating_ = true;
        zoom_.on = false;
        rotateItem->setChecked(true);
        zoomItem->setChecked(false);
    } else {
        rotating_ = false;
        rotateItem->setChecked(false);
    }
    updateInteractions();
}

void PlotWindow::zoomOut() {
    for (QCPAxisRect* r : plot_->axisRects()) {
        const auto it = stored_.find(r);
        if (it != stored_.end()) setLimits(r, it->second);
    }
    plot_->replot(QCustomPlot::rpQueuedReplot);
}

plots::AxisLimits PlotWindow::limits(QCPAxisRect* r) const {
    const QCPRange x = r->axis(QCPAxis::atBottom)->range(), y = r->axis(QCPAxis::atLeft)->range();
    return {x.lower, x.upper, y.lower, y.upper};
}

void PlotWindow::setLimits(QCPAxisRect* r, const plots::AxisLimits& l) {
    r->axis(QCPAxis::atBottom)->setRange(l.xmin, l.xmax);
    r->axis(QCPAxis::atLeft)->setRange(l.ymin, l.ymax);
    emit rangesChanged();
}

QCPAxisRect* PlotWindow::currentAxes() const {
    if (current_) return current_;
    return plot_->axisRectCount() > 0 ? plot_->axisRect(0) : nullptr;
}

QVariant PlotWindow::Bt_zoom(const std::string& command, bool wantOutput) {
    QCPAxisRect* r = currentAxes();
    if (!r) return {};
    plots::ZoomState s = zoom_;
    if (stored_.count(r)) s.stored = stored_[r];
    const bool logX = r->axis(QCPAxis::atBottom)->scaleType() == QCPAxis::stLogarithmic;
    const bool logY = r->axis(QCPAxis::atLeft)->scaleType() == QCPAxis::stLogarithmic;
    const plots::ZoomOutcome out = plots::zoomCommand(s, command, limits(r), wantOutput, logX, logY);
    const bool wasOn = zoom_.on;
    zoom_.on = s.on;
    zoom_.direction = s.direction;
    zoom_.figureMode = s.figureMode;
    if (s.stored) stored_[r] = *s.stored;
    if (wasOn != zoom_.on) {
        handles_.get<QAction>("Ux_Zoom")->setChecked(zoom_.on);
        if (zoom_.on) {
            rotating_ = false;
            handles_.get<QAction>("Ux_Rotate")->setChecked(false);
        }
        updateInteractions();
    }
    if (out.limits) {
        setLimits(r, *out.limits);
        plot_->replot(QCustomPlot::rpQueuedReplot);
    }
    if (!out.output.empty()) return QString::fromStdString(out.output);
    if (out.storedLimits) {
        const auto& l = *out.storedLimits;
        return QVariantList{l.xmin, l.xmax, l.ymin, l.ymax};
    }
    if (out.connect) return QVariant::fromValue(static_cast<QObject*>(r));
    return {};
}

QCPAxisRect* PlotWindow::axesAt(QPoint p) const {
    for (QCPAxisRect* r : plot_->axisRects())
        if (r->rect().contains(p)) return r;
    return nullptr;
}

bool PlotWindow::eventFilter(QObject* o, QEvent* e) {
    if (o != plot_) return QObject::eventFilter(o, e);
    switch (e->type()) {
        case QEvent::MouseButtonPress: {
            auto* m = static_cast<QMouseEvent*>(e);
            if (QCPAxisRect* r = axesAt(m->pos())) current_ = r;
            if (m->button() == Qt::LeftButton && (zoom_.on || rotating_)) {
                mousePress(m->pos());
                return true;
            }
            break;
        }
        case QEvent::MouseMove: {
            auto* m = static_cast<QMouseEvent*>(e);
            if (pressed_ && rotating_) {
                const QPoint d = m->pos() - pressAt_;
                pressAt_ = m->pos();
                rotateBy(d.x() * 0.5, d.y() * 0.5);
                plot_->replot(QCustomPlot::rpQueuedReplot);
            } else if (pressed_ && zoom_.on) {
                band_->setGeometry(QRect(pressAt_, m->pos()).normalized());
                band_->show();
            }
            QString text;
            if (QCPAxisRect* r = axesAt(m->pos()))
                text = readout(r, r->axis(QCPAxis::atBottom)->pixelToCoord(m->pos().x()),
                               r->axis(QCPAxis::atLeft)->pixelToCoord(m->pos().y()));
            handles_.get<QLabel>("txtCursor")->setText(text);
            break;
        }
        case QEvent::MouseButtonRelease: {
            auto* m = static_cast<QMouseEvent*>(e);
            if (pressed_ && m->button() == Qt::LeftButton) {
                mouseRelease(m->pos());
                return true;
            }
            break;
        }
        case QEvent::MouseButtonDblClick: {
            auto* m = static_cast<QMouseEvent*>(e);
            if (zoom_.on && m->button() == Qt::LeftButton) {
                doubleClick(m->pos());
                return true;
            }
            // Outside the zoom mode (wheel and drag) a double-click is the
            // way back to the full view as well.
            if (!rotating_ && m->button() == Qt::LeftButton) {
                if (QCPAxisRect* r = axesAt(m->pos()); r && stored_.count(r)) {
                    setLimits(r, stored_[r]);
                    plot_->replot(QCustomPlot::rpQueuedReplot);
                    return true;
                }
            }
            break;
        }
        case QEvent::Leave: handles_.get<QLabel>("txtCursor")->setText(QString()); break;
        default: break;
    }
    return QObject::eventFilter(o, e);
}

void PlotWindow::mousePress(QPoint p) {
    pressed_ = true;
    pressAt_ = p;
}

void PlotWindow::mouseRelease(QPoint p) {
    pressed_ = false;
    band_->hide();
    if (!zoom_.on) return;
    QCPAxisRect* r = axesAt(pressAt_);
    if (!r) return;
    QCPAxis* x = r->axis(QCPAxis::atBottom);
    QCPAxis* y = r->axis(QCPAxis::atLeft);
    plots::ZoomState s = zoom_;
    if (stored_.count(r)) s.stored = stored_[r];
    const plots::ZoomClick click{x->pixelToCoord(pressAt_.x()), y->pixelToCoord(pressAt_.y()),
                                 x->pixelToCoord(p.x()), y->pixelToCoord(p.y()), false};
    const plots::AxisLimits l = plots::zoomClick(s, limits(r), click, x->scaleType() == QCPAxis::stLogarithmic,
                                                 y->scaleType() == QCPAxis::stLogarithmic);
    stored_[r] = *s.stored;
    setLimits(r, l);
    plot_->replot(QCustomPlot::rpQueuedReplot);
}

void PlotWindow::doubleClick(QPoint p) {
    pressed_ = false;
    QCPAxisRect* r = axesAt(p);
    if (!r) return;
    plots::ZoomState s = zoom_;
    if (stored_.count(r)) s.stored = stored_[r];
    const plots::AxisLimits l = plots::zoomClick(s, limits(r), {0, 0, 0, 0, true});
    stored_[r] = *s.stored;
    setLimits(r, l);
    plot_->replot(QCustomPlot::rpQueuedReplot);
}

QString PlotWindow::readout(QCPAxisRect* r, double x, double y) const {
    QString xl = r->axis(QCPAxis::atBottom)->label(), yl = r->axis(QCPAxis::atLeft)->label();
    if (xl.isEmpty()) xl = "x";
    if (yl.isEmpty()) yl = "y";
    return xl + ": " + number(x) + "    " + yl + ": " + number(y);
}

QString PlotWindow::cursorText() const { return handles_.get<QLabel>("txtCursor")->text(); }

bool PlotWindow::saveImage(const QString& path, int width, int height) {
    const QString ext = QFileInfo(path).suffix().toLower();
    if (width <= 0) width = plot_->width();
    if (height <= 0) height = plot_->height();
    if (ext == "png") return plot_->savePng(path, width, height);
    if (ext == "pdf") return plot_->savePdf(path, width, height);
    if (ext == "svg") {
        QSvgGenerator svg;
        svg.setFileName(path);
        svg.setSize(QSize(width, height));
        svg.setViewBox(QRect(0, 0, width, height));
        svg.setTitle(window_->windowTitle());
        QCPPainter painter;
        if (!painter.begin(&svg)) return false;
        plot_->toPainter(&painter, width, height);
        painter.end();
        return QFileInfo(path).size() > 0;
    }
    return false;
}

void PlotWindow::menuSaveImage() {
    const auto file = dialogs().saveFile("*.png;*.svg;*.pdf", "Save Image", window_->windowTitle().toStdString() + ".png");
    if (!file) return;
    const QString path = QString::fromStdString(*file);
    if (!saveImage(path))
        dialogs().error("Cannot write the image " + *file + " (PNG, SVG or PDF).", "Error Saving " + *file);
}

QVariant Bt_zoom(QWidget* fig, const std::string& command, bool wantOutput) {
    PlotWindow* w = PlotWindow::of(fig);
    if (!w) throw Error("First argument must be a figure handle.");
    return w->Bt_zoom(command, wantOutput);
}

}  // namespace bt::gui
