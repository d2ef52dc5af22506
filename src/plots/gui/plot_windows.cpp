// The 2-D plot windows: CCDF, spectrum, I(t) Q(t), eye diagram and
// constellation, each a thin layer that takes its data from the plot data
// routines and hands it to the plot.
#include <QAction>
#include <QMainWindow>
#include <cmath>
#include <memory>
#include <qcustomplot.h>
#include <vector>

#include "lib/dialogs.h"
#include "plots/ccdf.h"
#include "plots/gui/plot_style.h"
#include "plots/gui/plot_window.h"
#include "plots/gui/plots.h"
#include "plots/spectrum.h"
#include "plots/edr_points.h"
#include "plots/time_plots.h"

namespace bt::gui {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

// Above this many points a trace is drawn as a density picture instead of
// lines: QCustomPlot then redraws in a few milliseconds at any zoom.
constexpr std::size_t kMaxLinePoints = 300000;

// A colour map over [xmin, xmax] x [ymin, ymax] from counts laid out row
// by row (row 0 at the bottom), coloured from transparent to `colour` on a
// logarithmic scale of the counts.
QCPColorMap* densityMap(QCPAxisRect* axes, const std::vector<std::uint32_t>& counts, int cols, int rows,
                        double xmin, double xmax, double ymin, double ymax, const QColor& colour) {
    auto* map = new QCPColorMap(axes->axis(QCPAxis::atBottom), axes->axis(QCPAxis::atLeft));
    map->data()->setSize(cols, rows);
    map->data()->setRange(QCPRange(xmin, xmax), QCPRange(ymin, ymax));
    double top = 0;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            const double v = counts[std::size_t(r) * std::size_t(cols) + std::size_t(c)];
            const double z = v > 0 ? std::log10(v) + 1 : 0;
            top = std::max(top, z);
            map->data()->setCell(c, r, z);
        }
    QCPColorGradient g;
    g.setColorStopAt(0, QColor(255, 255, 255, 0));
    g.setColorStopAt(0.001, colour.lighter(170));
    g.setColorStopAt(1, colour.darker(130));
    g.setLevelCount(256);
    map->setGradient(g);
    map->setDataRange(QCPRange(0, std::max(1.0, top)));
    map->setInterpolate(false);
    return map;
}

// A grid of about a pixel a cell over the plot's drawing area.
std::pair<int, int> gridSize(QCPAxisRect* axes) {
    return {std::max(200, axes->width()) * 2, std::max(150, axes->height()) * 2};
}

}  // namespace

// ------------------------------------------------------------------ CCDF

QWidget* Ux_PlotCCDF(std::span<const Complex> iqWave, const QString& label, QWidget* parent) {
    const plots::CcdfData d = plots::ccdfData(iqWave);
    auto* w = new PlotWindow(plots::PlotKind::Ccdf, "CCDF " + label, parent);
    QCustomPlot* p = w->plot();
    QCPAxisRect* axes = p->axisRect();
    axes->setObjectName("Ux_CCDF");
    addTitle(p, axes, qs(d.title));
    styleAxes(axes, qs(d.xLabel), qs(d.yLabel), true);
    const QVector<double> x(d.X.begin(), d.X.end());
    QCPGraph* y = p->addGraph();
    y->setData(x, QVector<double>(d.Y.begin(), d.Y.end()), true);
    y->setPen(QPen(kDefaultBlue, 1.5));
    QCPGraph* ref = p->addGraph();
    ref->setData(x, QVector<double>(d.Y1.begin(), d.Y1.end()), true);
    ref->setPen(QPen(kGrey, 1.5));
    QCPAxis* yAxis = axes->axis(QCPAxis::atLeft);
    yAxis->setScaleType(QCPAxis::stLogarithmic);
    yAxis->setTicker(QSharedPointer<QCPAxisTickerLog>::create());
    axes->axis(QCPAxis::atRight)->setScaleType(QCPAxis::stLogarithmic);
    auto ticks = QSharedPointer<QCPAxisTickerText>::create();
    for (double t : d.xTicks) ticks->addTick(t, QString::number(t));
    axes->axis(QCPAxis::atBottom)->setTicker(ticks);
    axes->axis(QCPAxis::atBottom)->setRange(0, d.maxX);
    yAxis->setRange(d.yMin, 100);
    w->show();
    return w->window();
}

// -------------------------------------------------------------- Spectrum

namespace {

// The spectrum window keeps only what it draws: the envelope's levels. A
// long waveform's row of dB values (a quarter of the waveform's size) is
// never made, or goes when the window is made.
class SpectrumWindow : public PlotWindow {
public:
    SpectrumWindow(plots::SpectrumData data, const QString& label, QWidget* parent)
        : PlotWindow(plots::PlotKind::Spectrum, "Magnitude Spectrum " + label, parent) {
        QCPAxisRect* axes = plot()->axisRect();
        addTitle(plot(), axes, qs(data.title));
        styleAxes(axes, qs(data.xLabel), qs(data.yLabel), true);
        QCPGraph* g = plot()->addGraph();
        g->setPen(QPen(kDefaultBlue, 1));
        axes->axis(QCPAxis::atBottom)->setRange(data.fMin, data.fMax);
        axes->axis(QCPAxis::atLeft)->setRange(data.mMin, data.mMax);
        new EnvelopeTrace(g,
                          data.levelLo.empty()
                              ? plots::Envelope::levelsOf(data.magSignal)
                              : plots::Envelope::ofFinestLevel(std::move(data.levelLo), std::move(data.levelHi),
                                                               data.points),
                          data.fMin, data.fStep);
    }
};

}  // namespace

QWidget* plotSpectrumData(plots::SpectrumData data, const QString& label, QWidget* parent) {
    auto* w = new SpectrumWindow(std::move(data), label, parent);
    w->show();
    return w->window();
}

QWidget* Ux_PlotSpectrum(std::span<const Complex> iqWave, double sampleRate, const QString& label, QWidget* parent) {
    return plotSpectrumData(plots::spectrumData(iqWave, sampleRate, true), label, parent);
}

// ------------------------------------------------------------- I(t) Q(t)

namespace {

// What the I(t) Q(t) windows make from one waveform (its components'
// envelope levels, its marker rows packed to bits), made once and shared by
// every such window open on it (the split and the overlaid views): the
// windows hold it, and it is found here only while one does.
template <class T, class Make>
std::shared_ptr<const T> perWaveform(const std::shared_ptr<const ComplexRow>& wave, int slot, Make make) {
    struct Entry {
        std::weak_ptr<const ComplexRow> wave;
        int slot;
        std::weak_ptr<const T> value;
    };
    static std::vector<Entry> shared;
    std::erase_if(shared, [](const Entry& e) { return e.value.expired() || e.wave.expired(); });
    if (!wave) return std::make_shared<const T>(make());
    for (const Entry& e : shared)
        if (e.slot == slot && !e.wave.owner_before(wave) && !wave.owner_before(e.wave))
            if (auto value = e.value.lock()) return value;
    auto value = std::make_shared<const T>(make());
    shared.push_back({wave, slot, value});
    return value;
}

// A waveform's marker rows in an eighth of their bytes.
struct MarkerBits {
    std::vector<std::uint64_t> row1, row2;
};

class IqTimeWindow : public PlotWindow {
public:
    IqTimeWindow(std::shared_ptr<const ComplexRow> wave, double rate, bool overlay, const QString& label,
                 QWidget* parent, std::shared_ptr<const Markers> markers)
        : PlotWindow(plots::PlotKind::IqTime, QString(), parent), wave_(std::move(wave)) {
        static const ComplexRow none;
        d_ = plots::iqTimeData(wave_ ? std::span<const Complex>(*wave_) : std::span<const Complex>(none), rate,
                               label.toStdString());
        window()->setWindowTitle("I(t) Q(t) " + qs(d_.label));
        const auto s = d_.samples();
        const QStringList titles = overlay ? QStringList{"I(t) Q(t)"} : QStringList{"I(t)", "Q(t)"};
        axes_ = stackAxes(plot(), int(titles.size()), titles);
        const QString xl = qs(d_.xLabel);
        if (overlay) {
            axes_[0]->setObjectName("Ux_IQwave");
            styleAxes(axes_[0], xl, qs(d_.yLabel), false);
            addTrace(axes_[0], s, 0, kDefaultBlue);
            addTrace(axes_[0], s, 1, kMagenta);
        } else {
            axes_[0]->setObjectName("Ux_Iwave");
            axes_[1]->setObjectName("Ux_Qwave");
            styleAxes(axes_[0], QString(), qs(d_.yLabel), false);
            styleAxes(axes_[1], xl, qs(d_.yLabel), false);
            addTrace(axes_[0], s, 0, kDefaultBlue);
            addTrace(axes_[1], s, 1, kDefaultBlue);
        }
        for (QCPAxisRect* a : axes_) {
            a->axis(QCPAxis::atBottom)->setRange(d_.tMin, d_.tMax);
            a->axis(QCPAxis::atLeft)->setRange(d_.iMin, d_.iMax);
        }
        if (markers && markers->size() == s.size() && !s.empty()) {
            // The rows as bits: the caller's copy of the bytes (two a
            // sample) need not be kept.
            markerBits_ = perWaveform<MarkerBits>(wave_, 0, [&] {
                return MarkerBits{plots::Envelope::packBits(markers->row1), plots::Envelope::packBits(markers->row2)};
            });
            auto* item = handles().get<QAction>("Ux_ShowMarkers");
            item->setVisible(true);
            connect(item, &QAction::toggled, this, [this](bool on) { showMarkers(on); });
        }
    }

    void showMarkers(bool on) {
        if (on && !markerAxes_) {
            // Two rows under the plot on the same time axis: marker 1 on
            // top, marker 2 below it.
            const int row = plot()->plotLayout()->rowCount();
            markerAxes_ = new QCPAxisRect(plot());
            markerAxes_->setObjectName("Ux_Markers");
            plot()->plotLayout()->addElement(row, 0, markerAxes_);
            plot()->plotLayout()->setRowStretchFactor(row, 0.25);
            styleAxes(markerAxes_, qs(d_.xLabel), "Markers", false);
            // The same left and right margins as the plots above, so that a
            // marker edge sits under the sample it marks.
            if (!margins_) {
                margins_ = new QCPMarginGroup(plot());
                for (QCPAxisRect* a : axes_) a->setMarginGroup(QCP::msLeft | QCP::msRight, margins_);
            }
            markerAxes_->setMarginGroup(QCP::msLeft | QCP::msRight, margins_);
            QCPAxis* y = markerAxes_->axis(QCPAxis::atLeft);
            auto ticks = QSharedPointer<QCPAxisTickerText>::create();
            ticks->addTick(0.4, "2");
            ticks->addTick(1.6, "1");
            y->setTicker(ticks);
            y->setRange(-0.2, 2.2);
            markerAxes_->axis(QCPAxis::atBottom)->setRange(axes_.back()->axis(QCPAxis::atBottom)->range());
            // The rows follow the time axis of the plot above.
            connect(axes_.back()->axis(QCPAxis::atBottom), qOverload<const QCPRange&>(&QCPAxis::rangeChanged),
                    markerAxes_->axis(QCPAxis::atBottom), qOverload<const QCPRange&>(&QCPAxis::setRange));
            auto add = [&](const std::vector<std::uint64_t>& bits, double base, const QColor& c) {
                QCPGraph* g = plot()->addGraph(markerAxes_->axis(QCPAxis::atBottom), y);
                g->setPen(QPen(c, 1));
                g->setLineStyle(QCPGraph::lsStepLeft);
                new EnvelopeTrace(g, plots::Envelope::ofBits(bits, d_.points), d_.tMin, d_.tStep, 0.8, base);
            };
            add(markerBits_->row1, 1.2, QColor(0, 128, 0));
            add(markerBits_->row2, 0.0, QColor(200, 100, 0));
        } else if (!on && markerAxes_) {
            for (QCPGraph* g : markerAxes_->graphs()) plot()->removeGraph(g);
            plot()->plotLayout()->remove(markerAxes_);
            plot()->plotLayout()->simplify();
            markerAxes_ = nullptr;
        }
        plot()->replot();
    }

private:
    void addTrace(QCPAxisRect* a, std::span<const Complex> s, int component, const QColor& c) {
        QCPGraph* g = plot()->addGraph(a->axis(QCPAxis::atBottom), a->axis(QCPAxis::atLeft));
        g->setPen(QPen(c, 1));
        // The no-data test wave is the window's own.
        const bool own = !wave_ || wave_->data() != s.data();
        new EnvelopeTrace(g,
                          perWaveform<plots::Envelope>(own ? nullptr : wave_, component,
                                                       [&] { return plots::Envelope::ofComponent(s, component); }),
                          d_.tMin, d_.tStep);
    }

    std::shared_ptr<const ComplexRow> wave_;
    std::shared_ptr<const MarkerBits> markerBits_;
    plots::IqTimeData d_;
    QList<QCPAxisRect*> axes_;
    QCPAxisRect* markerAxes_ = nullptr;
    QCPMarginGroup* margins_ = nullptr;
};

}  // namespace

QWidget* Ux_PlotIQTime(std::shared_ptr<const ComplexRow> iqWave, double sampleRate, bool overlay,
                       const QString& label, QWidget* parent, std::shared_ptr<const Markers> markers) {
    auto* w = new IqTimeWindow(std::move(iqWave), sampleRate, overlay, label, parent, std::move(markers));
    w->show();
    return w->window();
}

// ------------------------------------------------------------------- Eye

QWidget* Ux_PlotEyeDiagram(std::span<const Complex> iqWave, double n, double period, double offset,
                           const QString& label, QWidget* parent) {
    const plots::EyeArgs a = plots::clampEyeArgs(n, period, offset);
    PlotWindow* w = nullptr;
    try {
        const plots::EyeData e = plots::eyeDiagram(iqWave, a.n, a.period, a.offset);
        w = new PlotWindow(plots::PlotKind::Eye, "Eye Diagram " + label, parent);
        QStringList titles;
        for (const auto& t : e.titles) titles << qs(t);
        const QList<QCPAxisRect*> axes = stackAxes(w->plot(), int(titles.size()), titles);
        const bool lines = e.traces * e.pointsPerTrace() <= kMaxLinePoints;
        for (int c = 0; c < axes.size(); ++c) {
            QCPAxisRect* r = axes[c];
            styleAxes(r, qs(e.xLabel), qs(e.yLabel), false);
            if (lines) {
                // All traces as one line, broken between traces.
                auto* curve = new QCPCurve(r->axis(QCPAxis::atBottom), r->axis(QCPAxis::atLeft));
                curve->setPen(QPen(kDefaultBlue, 1));
                QVector<QCPCurveData> data;
                data.reserve(int(e.traces * (e.pointsPerTrace() + 1)));
                int t = 0;
                for (std::size_t tr = 0; tr < e.traces; ++tr) {
                    const std::size_t base = e.offset + tr * e.n;
                    for (std::size_t j = 0; j <= e.n && base + j < iqWave.size(); ++j) {
                        const Complex& z = iqWave[base + j];
                        data.append(QCPCurveData(t++, e.time(j) * e.timeFactor, c == 0 ? z.real() : z.imag()));
                    }
                    data.append(QCPCurveData(t++, qQNaN(), qQNaN()));
                }
                curve->data()->set(data, true);
            } else {
                auto [cols, rows] = gridSize(r);
                // A few columns between neighbouring samples show the
                // trace's shape; more would only cost time per trace.
                cols = std::min(cols, std::max(64, 4 * int(e.n)));
                densityMap(r, plots::eyeDensity(iqWave, e, c, std::size_t(cols), std::size_t(rows)), cols, rows,
                           e.tMin * e.timeFactor, e.tMax * e.timeFactor, -e.yLimit, e.yLimit, kDefaultBlue);
            }
            r->axis(QCPAxis::atBottom)->setRange(e.tMin * e.timeFactor, e.tMax * e.timeFactor);
            r->axis(QCPAxis::atBottom)->setNumberFormat("g");
            r->axis(QCPAxis::atLeft)->setRange(-e.yLimit, e.yLimit);
        }
        w->show();
        return w->window();
    } catch (const std::exception& ex) {
        if (w) w->window()->close();
        dialogs().error(std::string("Unable to Plot Eye Diagram\n") + ex.what(), "Plot Error");
        return nullptr;
    }
}

// --------------------------------------------------------------- Scatter

QWidget* Ux_PlotScatterDiagram(std::span<const Complex> iqWave, double n, double offset, bool traceOn,
                               const QString& label, QWidget* parent) {
    const plots::ScatterArgs a = plots::clampScatterArgs(n, offset);
    PlotWindow* w = nullptr;
    try {
        const plots::ScatterData s = plots::scatterPlot(iqWave, a.n, a.offset);
        w = new PlotWindow(plots::PlotKind::Scatter, "Scatter Diagram " + label, parent);
        QCPAxisRect* r = w->plot()->axisRect();
        addTitle(w->plot(), r, qs(s.title));
        styleAxes(r, qs(s.xLabel), qs(s.yLabel), false);
        QCPAxis* x = r->axis(QCPAxis::atBottom);
        QCPAxis* y = r->axis(QCPAxis::atLeft);
        const auto [cols, rows] = gridSize(r);
        const int side = std::max(cols, rows);
        if (traceOn) {
            if (iqWave.size() <= kMaxLinePoints) {
                auto* trace = new QCPCurve(x, y);
                trace->setPen(QPen(Qt::cyan, 1));
                QVector<QCPCurveData> data;
                data.reserve(int(iqWave.size()));
                for (std::size_t i = 0; i < iqWave.size(); ++i)
                    data.append(QCPCurveData(double(i), iqWave[i].real(), iqWave[i].imag()));
                trace->data()->set(data, true);
            } else {
                densityMap(r, plots::scatterDensity(iqWave, s.limit, std::size_t(side), 0, 1, true), side, side,
                           -s.limit, s.limit, -s.limit, s.limit, Qt::cyan);
            }
        }
        if (s.symbols <= kMaxLinePoints) {
            auto* points = new QCPCurve(x, y);
            points->setLineStyle(QCPCurve::lsNone);
            points->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, kDefaultBlue, 4));
            QVector<QCPCurveData> data;
            data.reserve(int(s.symbols));
            for (std::size_t k = 0; k < s.symbols; ++k) {
                const Complex& z = iqWave[s.symbolIndex(k)];
                data.append(QCPCurveData(double(k), z.real(), z.imag()));
            }
            points->data()->set(data, true);
        } else {
            densityMap(r, plots::scatterDensity(iqWave, s.limit, std::size_t(side), s.offset, s.n, false), side,
                       side, -s.limit, s.limit, -s.limit, s.limit, kDefaultBlue);
        }
        // The DPSK symbols of EDR packets, after their differential
        // reference, over the trajectory and the sampled points.
        const std::vector<Complex> dpsk = a.n >= 2 ? plots::edrSymbolPoints(iqWave, a.n * 1e6) : std::vector<Complex>{};
        if (!dpsk.empty()) {
            auto* symbols = new QCPCurve(x, y);
            symbols->setName("DPSK symbols");
            symbols->setLineStyle(QCPCurve::lsNone);
            symbols->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCross, Qt::red, 6));
            QVector<QCPCurveData> data;
            const std::size_t count = std::min(dpsk.size(), kMaxLinePoints);
            data.reserve(int(count));
            for (std::size_t k = 0; k < count; ++k) data.append(QCPCurveData(double(k), dpsk[k].real(), dpsk[k].imag()));
            symbols->data()->set(data, true);
        }
        x->setRange(-s.limit, s.limit);
        y->setRange(-s.limit, s.limit);
        // Equal scaling: a circle stays round in any window shape, the
        // axis with room to spare showing more.
        QObject::connect(w->plot(), &QCustomPlot::beforeReplot, w, [x, y] {
            if (x->axisRect()->width() <= 0 || x->axisRect()->height() <= 0) return;
            const double perPixel = std::max(x->range().size() / x->axisRect()->width(),
                                             y->range().size() / x->axisRect()->height());
            x->setRange(x->range().center(), perPixel * x->axisRect()->width(), Qt::AlignCenter);
            y->setRange(y->range().center(), perPixel * x->axisRect()->height(), Qt::AlignCenter);
        });
        w->show();
        return w->window();
    } catch (const std::exception& ex) {
        if (w) w->window()->close();
        dialogs().error(std::string("Unable to Plot Scatter Diagram\n") + ex.what(), "Plot Error");
        return nullptr;
    }
}

// ------------------------------------------------------------ frequency

namespace {

// The +-deviation levels a GFSK engineer reads the frequency against.
void deviationLevels(QCPAxisRect* r, double deviationKHz) {
    if (!(deviationKHz > 0)) return;
    for (double level : {deviationKHz, -deviationKHz}) {
        auto* line = new QCPItemStraightLine(r->parentPlot());
        line->setClipAxisRect(r);
        line->point1->setAxes(r->axis(QCPAxis::atBottom), r->axis(QCPAxis::atLeft));
        line->point2->setAxes(r->axis(QCPAxis::atBottom), r->axis(QCPAxis::atLeft));
        line->point1->setCoords(0, level);
        line->point2->setCoords(1, level);
        line->setPen(QPen(kGrey, 1, Qt::DashLine));
    }
}

double frequencyLimit(const std::vector<double>& f, double deviationKHz) {
    double most = deviationKHz;
    for (double v : f)
        if (!std::isnan(v)) most = std::max(most, std::fabs(v) / 1e3);
    return most > 0 ? 1.1 * most : 1;
}

}  // namespace

QWidget* Ux_PlotFrequencyEye(std::span<const Complex> iqWave, double n, double period, double offset,
                             double sampleRate, double deviationHz, const QString& label, QWidget* parent) {
    const plots::EyeArgs a = plots::clampEyeArgs(n, period, offset);
    PlotWindow* w = nullptr;
    try {
        // The eye's own checks and time axis, on the samples themselves.
        const plots::EyeData e = plots::eyeDiagram(iqWave, a.n, a.period, a.offset);
        const std::vector<double> f = plots::instantaneousFrequency(iqWave, sampleRate);
        w = new PlotWindow(plots::PlotKind::Eye, "Frequency Eye Diagram " + label, parent);
        const QList<QCPAxisRect*> axes = stackAxes(w->plot(), 1, {"Frequency Eye Diagram"});
        QCPAxisRect* r = axes[0];
        styleAxes(r, qs(e.xLabel), "Frequency (kHz)", true);
        auto* curve = new QCPCurve(r->axis(QCPAxis::atBottom), r->axis(QCPAxis::atLeft));
        curve->setPen(QPen(kDefaultBlue, 1));
        // The first traces up to the line budget: enough to show the eye.
        const std::size_t traces = std::min(e.traces, kMaxLinePoints / e.pointsPerTrace());
        QVector<QCPCurveData> data;
        data.reserve(int(traces * (e.pointsPerTrace() + 1)));
        int t = 0;
        for (std::size_t tr = 0; tr < traces; ++tr) {
            const std::size_t base = e.offset + tr * e.n;
            for (std::size_t j = 0; j <= e.n && base + j < f.size(); ++j)
                data.append(QCPCurveData(t++, e.time(j) * e.timeFactor, f[base + j] / 1e3));
            data.append(QCPCurveData(t++, qQNaN(), qQNaN()));
        }
        curve->data()->set(data, true);
        deviationLevels(r, deviationHz / 1e3);
        const double lim = frequencyLimit(f, deviationHz / 1e3);
        r->axis(QCPAxis::atBottom)->setRange(e.tMin * e.timeFactor, e.tMax * e.timeFactor);
        r->axis(QCPAxis::atLeft)->setRange(-lim, lim);
        w->show();
        return w->window();
    } catch (const std::exception& ex) {
        if (w) w->window()->close();
        dialogs().error(std::string("Unable to Plot Frequency Eye Diagram\n") + ex.what(), "Plot Error");
        return nullptr;
    }
}

QWidget* Ux_PlotFrequency(std::span<const Complex> iqWave, double sampleRate, double deviationHz,
                          const QString& label, QWidget* parent) {
    if (!(sampleRate > 0)) sampleRate = 1;
    const std::vector<double> f = plots::instantaneousFrequency(iqWave, sampleRate);
    const plots::FrequencyTrace trace = plots::frequencyTrace(f, sampleRate, kMaxLinePoints);
    const plots::Unit tu = plots::timeUnits(std::max<double>(double(iqWave.size()), 1) / sampleRate);
    auto* w = new PlotWindow(plots::PlotKind::IqTime, "Frequency (t) " + label, parent);
    const QList<QCPAxisRect*> axes = stackAxes(w->plot(), 1, {"Frequency (t)"});
    QCPAxisRect* r = axes[0];
    styleAxes(r, "Time (" + qs(tu.name) + ")", "Frequency (kHz)", true);
    auto* g = new QCPGraph(r->axis(QCPAxis::atBottom), r->axis(QCPAxis::atLeft));
    g->setPen(QPen(kDefaultBlue, 1));
    QVector<double> x(int(trace.t.size())), y(int(trace.f.size()));
    for (std::size_t k = 0; k < trace.t.size(); ++k) {
        x[int(k)] = trace.t[k] * tu.factor;
        y[int(k)] = trace.f[k] / 1e3;
    }
    g->setData(x, y, true);
    deviationLevels(r, deviationHz / 1e3);
    const double lim = frequencyLimit(f, deviationHz / 1e3);
    r->axis(QCPAxis::atBottom)->setRange(0, x.isEmpty() ? 1 : std::max(x.back(), 1e-12));
    r->axis(QCPAxis::atLeft)->setRange(-lim, lim);
    w->show();
    return w->window();
}

}  // namespace bt::gui
