#pragma once
// Drawing helpers shared by the plot windows: axes styling, titles, and a
// graph fed from a min/max envelope as the visible range changes.
#include <QColor>
#include <QObject>
#include <QString>
#include <memory>
#include <qcustomplot.h>

#include "plots/envelope.h"

namespace bt::gui {

// The line colours of the plots: the default blue, magenta, grey.
inline const QColor kDefaultBlue(0, 114, 189);
inline const QColor kMagenta(255, 0, 255);
inline const QColor kGrey(179, 179, 179);

// A title row above `axes` in the plot's layout.
QCPTextElement* addTitle(QCustomPlot* plot, QCPAxisRect* axes, const QString& title);
// Labels in black, dotted grid lines when `grid`.
void styleAxes(QCPAxisRect* axes, const QString& xLabel, const QString& yLabel, bool grid);
// Lays out `count` stacked axes, each with a title row, replacing the
// default layout. Returns the axes top first.
QList<QCPAxisRect*> stackAxes(QCustomPlot* plot, int count, const QStringList& titles);

// Feeds `graph` from an envelope whose sample k sits at key key0 + k step
// (the last at lastKey): real samples when they are fewer than about two a
// pixel, otherwise one vertical min/max span per pixel column.
class EnvelopeTrace : public QObject {
public:
    EnvelopeTrace(QCPGraph* graph, plots::Envelope envelope, double key0, double step, double scale = 1,
                  double shift = 0);
    // Levels shared with other windows on the same samples.
    EnvelopeTrace(QCPGraph* graph, std::shared_ptr<const plots::Envelope> envelope, double key0, double step,
                  double scale = 1, double shift = 0);
    void refresh();
    const plots::Envelope& envelope() const { return *envelope_; }

private:
    QCPGraph* graph_;
    std::shared_ptr<const plots::Envelope> envelope_;
    double key0_, step_, scale_, shift_;
    // What the data were last made for: the range and the axes' width.
    QCPRange shownRange_;
    int shownWidth_ = -1;
};

}  // namespace bt::gui
