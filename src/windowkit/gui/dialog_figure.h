#pragma once
// Modal windows loaded from a layout whose top level is a dialog, and the
// window object that runs each one.
#include <QDialog>
#include <QObject>
#include <QString>
#include <QWidget>

namespace bt::gui {

// Loads ":/ui/<name>" (see loadFigure) as a hidden dialog over `parent`;
// throws bt::Error when its top level is no dialog. Buttons do not react
// to Enter, which only finishes the entry of a field.
QDialog* loadDialogFigure(const QString& name, QWidget* parent);

// Loads ":/ui/<name>" as a part of `host`: a child widget placed in the
// host's layout (one is made when it has none), not a window of its own.
QWidget* loadPanelFigure(const QString& name, QWidget* host);

// Records `owner` as the object that runs `window`, and finds it again.
void setWindowOwner(QWidget* window, QObject* owner);
QObject* windowOwner(const QWidget* window);

// Shows the busy ("watch") pointer until the end of the scope.
class BusyPointer {
public:
    BusyPointer();
    ~BusyPointer();
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;
};

}  // namespace bt::gui
