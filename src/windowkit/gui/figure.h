#pragma once
// Loading a window from its layout file and placing it.
#include <QHash>
#include <QString>
#include <QWidget>

namespace bt::gui {

// The controls of a loaded window by tag (objectName). A tag may name
// several controls when a layout repeats it, so lookups return the first.
class Handles {
public:
    Handles() = default;
    explicit Handles(QWidget* root);

    QWidget* root() const { return root_; }
    bool has(const QString& tag) const { return byTag_.contains(tag); }
    QObject* object(const QString& tag) const { return byTag_.value(tag, nullptr); }
    // The control `tag` as a T; throws bt::Error naming the tag when the layout
    // lacks it or it is of another kind, so a broken layout fails loudly.
    template <class T>
    T* get(const QString& tag) const {
        T* w = qobject_cast<T*>(object(tag));
        if (!w) missing(tag, T::staticMetaObject.className());
        return w;
    }
    QStringList tags() const { return byTag_.keys(); }

private:
    [[noreturn]] static void missing(const QString& tag, const char* kind);
    QWidget* root_ = nullptr;
    QHash<QString, QObject*> byTag_;
};

// Loads ":/ui/<name>" (name with or without ".ui"; a ".fig" ending is read as
// ".ui") as a window under `parent`, gives it the default control background,
// and centres it over `parent` (the screen when null). Throws bt::Error when
// the layout is missing or unreadable.
QWidget* loadFigure(const QString& name, QWidget* parent = nullptr);

// Centres `child` over `parent` (the screen when null), keeping its size,
// then moves it the least so that it lies wholly on the screen it opens on.
// A window never shown is laid out first, so that the size centred is the
// size it opens with. A window larger than the screen is made to fit it, its
// controls scrolling when they cannot shrink. Windows loaded with loadFigure
// are placed so again when first shown and kept on the screen after.
void positionChildWindow(QWidget* child, const QWidget* parent);

// Every label named after a control of `root` ("lblPatternReps",
// "txtBitPatternLabel" for "txtPatternReps", "txtBitPattern") is enabled and
// disabled with it. loadFigure does this for every window.
void labelsFollowTheirControls(QWidget* root);

// Moves `w` the least so that it lies wholly on its screen.
void keepOnScreen(QWidget* w);

// On a standard-resolution (96 dpi) screen every control's font grows by a
// tenth, rounded; at any other resolution nothing changes.
void resizeAllFonts(const Handles& handles, double screenDpi);

}  // namespace bt::gui
