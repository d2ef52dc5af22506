#include "windowkit/gui/dialog_figure.h"

#include <QApplication>
#include <QFile>
#include <QLayout>
#include <QUiLoader>
#include <QVBoxLayout>
#include <QPushButton>
#include <QVariant>

#include "lib/errors.h"
#include "windowkit/gui/figure.h"

namespace bt::gui {

namespace {
const char* kOwnerProperty = "btWindowOwner";
}

QDialog* loadDialogFigure(const QString& name, QWidget* parent) {
    QWidget* w = loadFigure(name, parent);
    auto* dialog = qobject_cast<QDialog*>(w);
    if (!dialog) {
        delete w;
        throw Error("The layout " + name.toStdString() + " is no dialog.");
    }
    for (QPushButton* b : dialog->findChildren<QPushButton*>()) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    dialog->hide();
    return dialog;
}

QWidget* loadPanelFigure(const QString& name, QWidget* host) {
    QFile f(":/ui/" + name);
    if (!f.open(QFile::ReadOnly)) throw Error("Cannot open the window layout " + name.toStdString() + ".");
    QUiLoader loader;
    QWidget* w = loader.load(&f, host);
    if (!w) throw Error("Cannot read the window layout " + name.toStdString() + ": " + loader.errorString().toStdString());
    if (!host->layout()) {
        auto* l = new QVBoxLayout(host);
        l->setContentsMargins(0, 0, 0, 0);
    }
    host->layout()->addWidget(w);
    labelsFollowTheirControls(w);
    return w;
}

void setWindowOwner(QWidget* window, QObject* owner) {
    window->setProperty(kOwnerProperty, QVariant::fromValue(owner));
}

QObject* windowOwner(const QWidget* window) {
    return window ? window->property(kOwnerProperty).value<QObject*>() : nullptr;
}

BusyPointer::BusyPointer() { QApplication::setOverrideCursor(Qt::WaitCursor); }
BusyPointer::~BusyPointer() { QApplication::restoreOverrideCursor(); }

}  // namespace bt::gui
