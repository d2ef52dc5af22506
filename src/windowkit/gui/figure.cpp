#include "windowkit/gui/figure.h"

#include <QApplication>
#include <QFile>
#include <QScreen>
#include <QUiLoader>
#include <cmath>
#include <utility>
#include <vector>
#include <qcustomplot.h>

#include "lib/errors.h"
#include "windowkit/window_geometry.h"

namespace bt::gui {

Handles::Handles(QWidget* root) : root_(root) {
    if (!root) return;
    if (!root->objectName().isEmpty()) byTag_.insert(root->objectName(), root);
    for (QObject* o : root->findChildren<QObject*>()) {
        const QString tag = o->objectName();
        // Qt's own internals (qt_spinbox_lineedit, ...) are no controls of ours.
        if (tag.isEmpty() || tag.startsWith("qt_") || byTag_.contains(tag)) continue;
        byTag_.insert(tag, o);
    }
}

void Handles::missing(const QString& tag, const char* kind) {
    throw Error("The window has no " + std::string(kind) + " \"" + tag.toStdString() + "\".");
}

namespace {
// Layouts may hold plot axes: a "QCustomPlot" widget in Designer (promoted
// from QWidget) is made as the real plot.
class FigureLoader : public QUiLoader {
public:
    QWidget* createWidget(const QString& className, QWidget* parent, const QString& name) override {
        if (className == "QCustomPlot") {
            auto* plot = new QCustomPlot(parent);
            plot->setObjectName(name);
            return plot;
        }
        return QUiLoader::createWidget(className, parent, name);
    }
};
}  // namespace

QWidget* loadFigure(const QString& name, QWidget* parent) {
    QString file = name;
    if (file.endsWith(".fig")) file.chop(4);
    if (!file.endsWith(".ui")) file += ".ui";
    QFile f(":/ui/" + file);
    if (!f.open(QFile::ReadOnly)) throw Error("Cannot open the window layout " + file.toStdString() + ".");
    FigureLoader loader;
    QWidget* w = loader.load(&f, parent);
    if (!w) throw Error("Cannot read the window layout " + file.toStdString() + ": " +
                        loader.errorString().toStdString());
    // A layout loaded under a parent becomes a child widget; windows of
    // their own keep their window flags.
    if (parent && !w->isWindow()) w->setWindowFlags(w->windowFlags() | Qt::Window);
    w->setAutoFillBackground(true);
    positionChildWindow(w, parent);
    return w;
}

void positionChildWindow(QWidget* child, const QWidget* parent) {
    if (!child) return;
    QRect area;
    if (parent) {
        area = parent->frameGeometry();
    } else if (const QScreen* s = child->screen() ? child->screen() : QGuiApplication::primaryScreen()) {
        area = s->availableGeometry();
    } else {
        return;
    }
    const WindowRect placed = centredOver({double(child->x()), double(child->y()), double(child->width()),
                                           double(child->height())},
                                          {double(area.x()), double(area.y()), double(area.width()),
                                           double(area.height())});
    child->move(int(std::lround(placed.left)), int(std::lround(placed.bottom)));
}

void resizeAllFonts(const Handles& handles, double screenDpi) {
    // Every size is taken before any is set: a control inherits its
    // container's font, so setting them one by one would grow the controls
    // of a container handled earlier twice.
    std::vector<std::pair<QWidget*, QFont>> fonts;
    for (const QString& tag : handles.tags()) {
        auto* w = qobject_cast<QWidget*>(handles.object(tag));
        if (!w) continue;
        QFont f = w->font();
        if (f.pointSizeF() <= 0) continue;
        f.setPointSizeF(scaledFontSize(f.pointSizeF(), screenDpi));
        fonts.emplace_back(w, f);
    }
    for (auto& [w, f] : fonts) w->setFont(f);
}

}  // namespace bt::gui
