#include "windowkit/gui/figure.h"

#include <QApplication>
#include <QFile>
#include <QScreen>
#include <QUiLoader>
#include <QLabel>
#include <QLayout>
#include <QPointer>
#include <QMainWindow>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>
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

namespace {

const char* kPlacedProperty = "btPlaced";
const char* kLoadedAtProperty = "btLoadedAt";

// The screen a window opens on: its parent's, else its own.
const QScreen* screenOf(const QWidget* child, const QWidget* parent) {
    if (parent && parent->screen()) return parent->screen();
    if (child->screen()) return child->screen();
    return QGuiApplication::primaryScreen();
}

// The room the window manager's frame takes around a window; known once a
// window was shown, guessed from the parent's before.
QMargins frameMargins(const QWidget* w, const QWidget* parent) {
    const auto of = [](const QWidget* x) {
        const QRect f = x->frameGeometry(), g = x->geometry();
        return QMargins(g.left() - f.left(), g.top() - f.top(), f.right() - g.right(), f.bottom() - g.bottom());
    };
    if (w->isVisible() || !parent) return of(w);
    return of(parent->window());
}

// A window whose controls need more room than the screen has gets its
// controls in a scroll area, so that none is out of reach.
void scrollWhenTooLarge(QWidget* w, const QSize& room) {
    const QSize need = w->minimumSizeHint();
    if (need.width() <= room.width() && need.height() <= room.height()) return;
    if (w->findChild<QScrollArea*>("btFitScroll", Qt::FindDirectChildrenOnly)) return;
    auto* scroll = new QScrollArea;
    scroll->setObjectName("btFitScroll");
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* inner = new QWidget;
    if (auto* main = qobject_cast<QMainWindow*>(w)) {
        QWidget* central = main->takeCentralWidget();
        if (!central) return;
        scroll->setWidget(central);
        main->setCentralWidget(scroll);
        delete inner;
    } else if (QLayout* layout = w->layout()) {
        inner->setLayout(layout);  // takes the controls with it
        scroll->setWidget(inner);
        auto* outer = new QVBoxLayout(w);
        outer->setContentsMargins(0, 0, 0, 0);
        outer->addWidget(scroll);
    } else {
        delete inner;
        delete scroll;
        return;
    }
    // Wide enough that only the height scrolls when the width fits.
    const QSize content = scroll->widget()->minimumSizeHint();
    scroll->setMinimumWidth(std::min(content.width() + scroll->verticalScrollBar()->sizeHint().width(), room.width()));
    w->setMinimumSize(0, 0);
}

// Centres a window when it is first shown, now that its layout has given it
// its size; later shows only keep it on the screen, where the user left it.
class PlaceOnShow : public QObject {
public:
    explicit PlaceOnShow(QWidget* w) : QObject(w) { w->installEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* w = qobject_cast<QWidget*>(watched);
        if (w && event->type() == QEvent::Show && !event->spontaneous()) {
            // Placed by its own rule elsewhere (a plot window): left alone.
            if (w->property(kPlacedProperty).toBool())
                keepOnScreen(w);
            else if (w->pos() == w->property(kLoadedAtProperty).toPoint())
                positionChildWindow(w, w->parentWidget());
        }
        return QObject::eventFilter(watched, event);
    }
};

// A label named after its control ("lblPatternReps" for "txtPatternReps")
// greys out with it, so that a disabled field does not look editable from
// its caption.
class LabelFollowsControl : public QObject {
public:
    LabelFollowsControl(QWidget* control, QLabel* label) : QObject(control), label_(label) {
        control->installEventFilter(this);
        if (!label->buddy()) label->setBuddy(control);
        label->setEnabled(control->isEnabled());
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::EnabledChange && label_)
            label_->setEnabled(static_cast<QWidget*>(watched)->isEnabled());
        return QObject::eventFilter(watched, event);
    }

private:
    QPointer<QLabel> label_;
};

}  // namespace

void labelsFollowTheirControls(QWidget* root) {
    if (!root) return;
    static const char* const kinds[] = {"txt", "edit", "pd", "chk", "popup"};
    for (QLabel* label : root->findChildren<QLabel*>()) {
        QString name = label->objectName();
        QString stem;
        if (name.startsWith("lbl"))
            stem = name.mid(3);
        else if (name.endsWith("Label"))
            stem = name.left(name.size() - 5);
        else
            continue;
        for (const char* kind : kinds) {
            const QString tag = stem.startsWith(kind) ? stem : kind + stem;
            auto* control = root->findChild<QWidget*>(tag);
            if (!control || qobject_cast<QLabel*>(control) || control == label) continue;
            new LabelFollowsControl(control, label);
            break;
        }
    }
}

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
    // Centred with the size it has now; the parent may still move before the
    // window is shown and its controls may still change, so the placement is
    // made again when it is first shown, unless its own code placed it.
    const QRect area = parent ? parent->frameGeometry() : QRect();
    if (parent) {
        const WindowRect c = centredOver({0, 0, double(w->width()), double(w->height())},
                                         {double(area.x()), double(area.y()), double(area.width()), double(area.height())});
        w->move(int(std::lround(c.left)), int(std::lround(c.bottom)));
    }
    w->setProperty(kLoadedAtProperty, w->pos());
    new PlaceOnShow(w);
    labelsFollowTheirControls(w);
    return w;
}

void positionChildWindow(QWidget* child, const QWidget* parent) {
    if (!child) return;
    const QScreen* screen = screenOf(child, parent);
    if (!screen) return;
    // The size the window will have: a window never shown is laid out now,
    // as showing it would, instead of keeping the toolkit's default size.
    if (!child->isVisible()) {
        if (QLayout* l = child->layout()) l->activate();
        if (!child->testAttribute(Qt::WA_Resized)) child->adjustSize();
    }
    const QRect avail = screen->availableGeometry();
    const QMargins frame = frameMargins(child, parent);
    // Before the window manager has framed any window its frame is not
    // known; room for a title bar is kept all the same, so that the framed
    // window still fits.
    const QMargins reserve = frame.isNull() ? QMargins(4, 30, 4, 8) : frame;
    const QSize room(avail.width() - reserve.left() - reserve.right(),
                     avail.height() - reserve.top() - reserve.bottom());
    if (child->width() > room.width() || child->height() > room.height()) {
        scrollWhenTooLarge(child, room);
        child->resize(std::min(child->width(), room.width()), std::min(child->height(), room.height()));
    }
    // pos() and move() of a window are its frame's corner; the size is the
    // inside's.
    const QRect outer(child->pos(), child->size().grownBy(frame));
    const QRect area = parent ? parent->frameGeometry() : avail;
    const WindowRect centred =
        centredOver({double(outer.x()), double(outer.y()), double(outer.width()), double(outer.height())},
                    {double(area.x()), double(area.y()), double(area.width()), double(area.height())});
    const QRect inside = avail.adjusted(0, 0, -(reserve.left() + reserve.right() - frame.left() - frame.right()),
                                        -(reserve.top() + reserve.bottom() - frame.top() - frame.bottom()));
    const WindowRect placed =
        keptInside(centred, {double(inside.x()), double(inside.y()), double(inside.width()), double(inside.height())});
    child->move(int(std::lround(placed.left)), int(std::lround(placed.bottom)));
    child->setProperty(kPlacedProperty, true);
}

void keepOnScreen(QWidget* w) {
    const QScreen* screen = screenOf(w, nullptr);
    if (!w || !screen) return;
    const QRect avail = screen->availableGeometry();
    const QRect outer = w->frameGeometry();
    const WindowRect placed =
        keptInside({double(outer.x()), double(outer.y()), double(outer.width()), double(outer.height())},
                   {double(avail.x()), double(avail.y()), double(avail.width()), double(avail.height())});
    w->move(int(std::lround(placed.left)), int(std::lround(placed.bottom)));
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
