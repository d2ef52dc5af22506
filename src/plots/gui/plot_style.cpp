#include "plots/gui/plot_style.h"

#include <cmath>

namespace bt::gui {

QCPTextElement* addTitle(QCustomPlot* plot, QCPAxisRect* axes, const QString& title) {
    QCPLayoutGrid* grid = plot->plotLayout();
    int row = 0, col = 0;
    for (int r = 0; r < grid->rowCount(); ++r)
        if (grid->element(r, 0) == axes) row = r;
    grid->insertRow(row);
    auto* t = new QCPTextElement(plot, title, QFont(plot->font().family(), 10, QFont::Bold));
    grid->addElement(row, col, t);
    return t;
}

void styleAxes(QCPAxisRect* axes, const QString& xLabel, const QString& yLabel, bool grid) {
    QCPAxis* x = axes->axis(QCPAxis::atBottom);
    QCPAxis* y = axes->axis(QCPAxis::atLeft);
    x->setLabel(xLabel);
    y->setLabel(yLabel);
    x->setLabelColor(Qt::black);
    y->setLabelColor(Qt::black);
    // Boxed axes, as the plots have always looked.
    axes->axis(QCPAxis::atTop)->setVisible(true);
    axes->axis(QCPAxis::atRight)->setVisible(true);
    axes->axis(QCPAxis::atTop)->setTickLabels(false);
    axes->axis(QCPAxis::atRight)->setTickLabels(false);
    QObject::connect(x, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), axes->axis(QCPAxis::atTop),
            qOverload<const QCPRange&>(&QCPAxis::setRange));
    QObject::connect(y, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), axes->axis(QCPAxis::atRight),
            qOverload<const QCPRange&>(&QCPAxis::setRange));
    const QPen dotted(QColor(150, 150, 150), 0, Qt::DotLine);
    for (QCPAxis* a : {x, y}) {
        a->grid()->setVisible(grid);
        a->grid()->setPen(dotted);
        a->grid()->setZeroLinePen(Qt::NoPen);
    }
}

QList<QCPAxisRect*> stackAxes(QCustomPlot* plot, int count, const QStringList& titles) {
    plot->plotLayout()->clear();
    QList<QCPAxisRect*> rects;
    for (int k = 0; k < count; ++k) {
        auto* t = new QCPTextElement(plot, titles.value(k), QFont(plot->font().family(), 10, QFont::Bold));
        plot->plotLayout()->addElement(2 * k, 0, t);
        auto* r = new QCPAxisRect(plot);
        plot->plotLayout()->addElement(2 * k + 1, 0, r);
        for (QCPAxis* a : r->axes()) a->setLayer("axes");
        r->axis(QCPAxis::atBottom)->grid()->setLayer("grid");
        r->axis(QCPAxis::atLeft)->grid()->setLayer("grid");
        rects << r;
    }
    return rects;
}

EnvelopeTrace::EnvelopeTrace(QCPGraph* graph, plots::Envelope envelope, double key0, double step, double scale,
                             double shift)
    : EnvelopeTrace(graph, std::make_shared<const plots::Envelope>(std::move(envelope)), key0, step, scale, shift) {}

EnvelopeTrace::EnvelopeTrace(QCPGraph* graph, std::shared_ptr<const plots::Envelope> envelope, double key0,
                             double step, double scale, double shift)
    : QObject(graph), graph_(graph), envelope_(std::move(envelope)), key0_(key0), step_(step), scale_(scale),
      shift_(shift) {
    graph_->setAdaptiveSampling(false);
    // Pixel columns need no smoothing, and it is the slow part of a redraw.
    graph_->setAntialiased(false);
    // Before every redraw, when the range or the axes' width changed since
    // the data were made (zoom, pan, resize).
    connect(graph_->parentPlot(), &QCustomPlot::beforeReplot, this, [this] { refresh(); });
    refresh();
}

void EnvelopeTrace::refresh() {
    const std::size_t n = envelope_->size();
    if (n == 0) return;
    const QCPRange r = graph_->keyAxis()->range();
    const int width = graph_->keyAxis()->axisRect()->width();
    if (r == shownRange_ && width == shownWidth_) return;
    shownRange_ = r;
    shownWidth_ = width;
    const double s = step_ > 0 ? step_ : 1;
    // One sample either side, so that lines reach the edges.
    const double first = std::floor((r.lower - key0_) / s) - 1;
    const double last = std::ceil((r.upper - key0_) / s) + 2;
    const int columns = std::max(1, graph_->keyAxis()->axisRect()->width());
    const plots::Envelope::View v = envelope_->view(std::max(0.0, first), std::min(double(n), std::max(1.0, last)),
                                                   std::size_t(columns));
    QVector<QCPGraphData> data;
    data.reserve(int(v.raw ? v.keys.size() : 2 * v.keys.size()));
    for (std::size_t k = 0; k < v.keys.size(); ++k) {
        const double key = key0_ + v.keys[k] * s;
        data.append(QCPGraphData(key, v.lo[k] * scale_ + shift_));
        if (!v.raw) data.append(QCPGraphData(key, v.hi[k] * scale_ + shift_));
    }
    graph_->data()->set(data, true);
}

}  // namespace bt::gui
