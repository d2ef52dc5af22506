// The waterfall: slice spectra drawn in a 3-D view, one curve per time
// slice closed down to the floor and filled with the background, drawn from
// the farthest slice to the nearest so that nearer slices hide what lies
// behind them. Edges are coloured by height. QCustomPlot has no 3-D
// element, so the view is one layer of its own over a plain axes whose
// (hidden) ranges are the frequency and time limits: zooming works on them
// as on any plot, and the Rotate mode turns the view.
#include <QMainWindow>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <qcustomplot.h>

#include "plots/gui/plot_style.h"
#include "plots/gui/plot_window.h"
#include "plots/gui/plots.h"
#include "plots/spectrum.h"

namespace bt::gui {

namespace {

// About five round steps over [lo, hi].
std::vector<double> niceTicks(double lo, double hi) {
    std::vector<double> t;
    const double span = hi - lo;
    if (!(span > 0)) return {lo};
    const double raw = span / 5;
    const double mag = std::pow(10.0, std::floor(std::log10(raw)));
    double step = mag;
    for (double m : {1.0, 2.0, 2.5, 5.0, 10.0})
        if (m * mag >= raw) {
            step = m * mag;
            break;
        }
    for (double v = std::ceil(lo / step - 1e-9) * step; v <= hi + 1e-9 * span; v += step)
        t.push_back(std::fabs(v) < 1e-12 * span ? 0 : v);
    return t;
}

class WaterfallLayer : public QCPLayerable {
public:
    WaterfallLayer(QCustomPlot* plot, QCPAxisRect* axes, const plots::WaterfallData* d)
        : QCPLayerable(plot, "main"), axes_(axes), d_(d) {
        gradient_.loadPreset(QCPColorGradient::gpJet);
    }
    // Seen from the front right, above: frequency runs to the right, time
    // away from the viewer.
    double azimuth = 37.5, elevation = 30;

protected:
    void applyDefaultAntialiasingHint(QCPPainter* painter) const override {
        applyAntialiasingHint(painter, true, QCP::aePlottables);
    }

    void draw(QCPPainter* painter) override {
        const QRect rect = axes_->rect();
        const QCPRange fr = axes_->axis(QCPAxis::atBottom)->range();
        const QCPRange tr = axes_->axis(QCPAxis::atLeft)->range();
        const double zlo = d_->mMin, zhi = d_->mMax;
        const double az = azimuth * std::numbers::pi / 180, el = elevation * std::numbers::pi / 180;
        const double vx = std::sin(az) * std::cos(el), vy = -std::cos(az) * std::cos(el);
        // Right and up on the screen for a point of the unit box.
        auto u = [&](double x, double y) { return std::cos(az) * x + std::sin(az) * y; };
        auto v = [&](double x, double y, double z) {
            return -std::sin(az) * std::sin(el) * x + std::cos(az) * std::sin(el) * y + std::cos(el) * z;
        };
        double umin = 1e9, umax = -1e9, vmin = 1e9, vmax = -1e9;
        for (double x : {-0.5, 0.5})
            for (double y : {-0.5, 0.5})
                for (double z : {-0.5, 0.5}) {
                    umin = std::min(umin, u(x, y));
                    umax = std::max(umax, u(x, y));
                    vmin = std::min(vmin, v(x, y, z));
                    vmax = std::max(vmax, v(x, y, z));
                }
        // The box fills the window: across and up are scaled each to the
        // room there is (a stretched view, as the plots of the numeric
        // environment draw a 3-D axes), leaving room for the labels.
        const double margin = 64;
        const double scaleU = std::max(1.0, (rect.width() - 2 * margin) / (umax - umin));
        const double scaleV = std::max(1.0, (rect.height() - 2 * margin) / (vmax - vmin));
        const QPointF centre(rect.center().x() - scaleU * (umax + umin) / 2,
                             rect.center().y() + scaleV * (vmax + vmin) / 2);
        auto nx = [&](double f) { return (f - fr.lower) / fr.size() - 0.5; };
        auto ny = [&](double t) { return (t - tr.lower) / tr.size() - 0.5; };
        auto nz = [&](double z) { return (std::clamp(z, zlo, zhi) - zlo) / (zhi - zlo) - 0.5; };
        auto project = [&](double x, double y, double z) {
            return QPointF(centre.x() + scaleU * u(x, y), centre.y() - scaleV * v(x, y, z));
        };

        painter->save();
        painter->setClipRect(rect);
        // The box's three back planes' floor outline, for orientation.
        painter->setPen(QPen(QColor(200, 200, 200), 0));
        const double xn = vx > 0 ? 0.5 : -0.5, yn = vy > 0 ? 0.5 : -0.5;
        painter->drawLine(project(-xn, -yn, -0.5), project(xn, -yn, -0.5));
        painter->drawLine(project(-xn, -yn, -0.5), project(-xn, yn, -0.5));
        painter->drawLine(project(-xn, -yn, -0.5), project(-xn, -yn, 0.5));

        // Slices in view, farthest first.
        std::vector<std::size_t> slices;
        for (std::size_t k = 0; k < d_->m; ++k) {
            const double t = static_cast<double>(k) * d_->t;
            if (t >= tr.lower - 1e-12 && t <= tr.upper + 1e-12) slices.push_back(k);
        }
        std::sort(slices.begin(), slices.end(), [&](std::size_t a, std::size_t b) {
            return vy * ny(static_cast<double>(a) * d_->t) < vy * ny(static_cast<double>(b) * d_->t);
        });
        std::vector<std::size_t> cols;
        for (std::size_t c = 0; c < d_->columns; ++c) {
            const double f = d_->columnFrequency(c);
            if (f >= fr.lower && f <= fr.upper) cols.push_back(c);
        }
        // At most about a column a pixel: neighbours merged keep their peak.
        const std::size_t per = std::max<std::size_t>(1, cols.size() / std::max(1, rect.width()));
        const QColor background = axes_->backgroundBrush().style() == Qt::NoBrush
                                      ? QColor(Qt::white)
                                      : axes_->backgroundBrush().color();
        for (std::size_t k : slices) {
            if (cols.empty()) break;
            const double y = ny(static_cast<double>(k) * d_->t);
            QPolygonF line;
            std::vector<double> heights;
            for (std::size_t i = 0; i < cols.size(); i += per) {
                float z = -1e30f;
                for (std::size_t j = i; j < std::min(cols.size(), i + per); ++j) z = std::max(z, d_->at(k, cols[j]));
                line << project(nx(d_->columnFrequency(cols[i])), y, nz(z));
                heights.push_back(std::clamp(double(z), zlo, zhi));
            }
            // A slice wholly on the floor (silence between bursts) draws
            // nothing: its fill would only cut the box's outline.
            if (*std::max_element(heights.begin(), heights.end()) <= zlo + (zhi - zlo) / 32) continue;
            QPolygonF shape = line;
            shape << project(nx(d_->columnFrequency(cols.back())), y, -0.5)
                  << project(nx(d_->columnFrequency(cols.front())), y, -0.5);
            painter->setPen(Qt::NoPen);
            painter->setBrush(background);
            painter->drawPolygon(shape);
            // Edges in runs of one colour.
            std::size_t start = 0;
            auto level = [&](std::size_t i) { return int(std::floor((heights[i] - zlo) / (zhi - zlo) * 31.999)); };
            for (std::size_t i = 1; i <= heights.size(); ++i) {
                if (i < heights.size() && level(i) == level(start)) continue;
                const std::size_t end = std::min(i, heights.size() - 1);
                // A slice with a signal is drawn whole, its stretches on the
                // floor too, so that no fragment of it stands alone.
                painter->setPen(QPen(QColor(gradient_.color(heights[start], QCPRange(zlo, zhi))), 1));
                painter->drawPolyline(line.constData() + start, int(end - start + 1));
                start = i;
            }
        }
        painter->setClipping(false);

        // Axes: frequency along the near floor edge, time along the far
        // side edge, level up the left corner.
        painter->setPen(QPen(Qt::black, 0));
        painter->setFont(QFont(painter->font().family(), 8));
        const QFontMetrics fm(painter->font());
        auto label = [&](QPointF at, QPointF away, const QString& text) {
            const QRectF box = fm.boundingRect(text);
            QPointF c = at + away;
            painter->drawText(QRectF(c.x() - box.width() / 2 - 2, c.y() - box.height() / 2, box.width() + 4, box.height()),
                              Qt::AlignCenter, text);
        };
        // Labels of a floor edge sit off the edge, on the side away from
        // the box.
        const QPointF boxCentre = project(0, 0, -0.5);
        auto away = [&](QPointF a, QPointF b, double dist) {
            QPointF n(-(b.y() - a.y()), b.x() - a.x());
            const double len = std::hypot(n.x(), n.y());
            if (len == 0) return QPointF(0, dist);
            n /= len;
            const QPointF mid = (a + b) / 2;
            if (QPointF::dotProduct(n, mid - boxCentre) < 0) n = -n;
            return n * dist;
        };
        const QPointF x0 = project(-0.5, yn, -0.5), x1 = project(0.5, yn, -0.5);
        painter->drawLine(x0, x1);
        for (double f : niceTicks(fr.lower, fr.upper)) {
            const QPointF p = project(nx(f), yn, -0.5);
            painter->drawLine(p, p + away(x0, x1, 4));
            label(p, away(x0, x1, 16), QString::number(f, 'g', 4));
        }
        label((x0 + x1) / 2, away(x0, x1, 38), axes_->axis(QCPAxis::atBottom)->label());
        const QPointF y0 = project(-xn, -0.5, -0.5), y1 = project(-xn, 0.5, -0.5);
        painter->drawLine(y0, y1);
        for (double t : niceTicks(tr.lower, tr.upper)) {
            const QPointF p = project(-xn, ny(t), -0.5);
            painter->drawLine(p, p + away(y0, y1, 4));
            label(p, away(y0, y1, 18), QString::number(t, 'g', 4));
        }
        label((y0 + y1) / 2, away(y0, y1, 46), axes_->axis(QCPAxis::atLeft)->label());
        const QPointF zc0 = project(xn, -yn, -0.5), zc1 = project(xn, -yn, 0.5);
        const QPointF left(-1, 0);
        painter->drawLine(zc0, zc1);
        for (double z : niceTicks(zlo, zhi)) {
            const QPointF p = project(xn, -yn, nz(z));
            painter->drawLine(p, p + left * 4);
            label(p, left * 18, QString::number(z, 'g', 4));
        }
        painter->save();
        const QPointF zm = (zc0 + zc1) / 2 + left * 44;
        painter->translate(zm);
        painter->rotate(-90);
        painter->drawText(QRectF(-60, -8, 120, 16), Qt::AlignCenter, zLabel);
        painter->restore();
        painter->restore();
    }

public:
    QString zLabel;

private:
    QCPAxisRect* axes_;
    const plots::WaterfallData* d_;
    QCPColorGradient gradient_;
};

class WaterfallWindow : public PlotWindow {
public:
    WaterfallWindow(plots::WaterfallData data, const QString& label, QWidget* parent)
        : PlotWindow(plots::PlotKind::Waterfall, "Spectrum Waterfall " + label, parent), d_(std::move(data)) {
        QCPAxisRect* axes = plot()->axisRect();
        addTitle(plot(), axes, QString::fromStdString(d_.title));
        axes->axis(QCPAxis::atBottom)->setLabel(QString::fromStdString(d_.xLabel));
        axes->axis(QCPAxis::atLeft)->setLabel(QString::fromStdString(d_.yLabel));
        axes->axis(QCPAxis::atBottom)->setRange(d_.fMin, d_.fMax);
        axes->axis(QCPAxis::atLeft)->setRange(d_.tMin, d_.tMax > d_.tMin ? d_.tMax : d_.tMin + 1);
        for (QCPAxis* a : axes->axes()) a->setVisible(false);
        axes->setAutoMargins(QCP::msNone);
        axes->setMargins(QMargins(0, 0, 0, 0));
        layer_ = new WaterfallLayer(plot(), axes, &d_);
        layer_->zLabel = QString::fromStdString(d_.zLabel);
        enableRotate(true);
    }

    const plots::WaterfallData& data() const { return d_; }

protected:
    bool canRotate() const override { return true; }
    void rotateBy(double dAz, double dEl) override {
        layer_->azimuth -= dAz;
        layer_->elevation = std::clamp(layer_->elevation + dEl, -90.0, 90.0);
    }
    QString readout(QCPAxisRect*, double, double) const override {
        return QString("Azimuth %1°, elevation %2°").arg(layer_->azimuth, 0, 'f', 1).arg(layer_->elevation, 0, 'f', 1);
    }

private:
    plots::WaterfallData d_;
    WaterfallLayer* layer_ = nullptr;
};

}  // namespace

QWidget* Ux_PlotWaterfall(std::span<const Complex> iqWave, double sampleRate, double period, const QString& label,
                          QWidget* parent) {
    // Each slice is kept at about a column a pixel of a large screen; every
    // peak of the full transform stays in its column.
    auto* w = new WaterfallWindow(plots::waterfallData(iqWave, sampleRate, period, 2048), label, parent);
    w->show();
    return w->window();
}

}  // namespace bt::gui
