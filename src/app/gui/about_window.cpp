#include "app/gui/about_window.h"

#include <QAbstractButton>
#include <QLabel>

#include "windowkit/gui/figure.h"

namespace bt::gui {

QDialog* makeAboutWindow(const AppInfo& appInfo, QWidget* parent) {
    QWidget* w = loadFigure("Ux_About", parent);
    auto* dialog = qobject_cast<QDialog*>(w);
    const Handles h(w);
    h.get<QLabel>("txtName")->setText(QString::fromStdString(appInfo.Name));
    h.get<QLabel>("txtRev")->setText(QString::fromStdString("Revision " + appInfo.Rev));
    h.get<QLabel>("txtDate")->setText(QString::fromStdString(appInfo.Date));
    const std::string notes = appInfo.Notes + "\n" + appInfo.NotesLine2 + "\n" + appInfo.NotesLine3 + "\n" +
                              appInfo.NotesLine4 + "\n" + appInfo.NotesLine5;
    h.get<QLabel>("txtNotes")->setText(QString::fromStdString(notes));
    QObject::connect(h.get<QAbstractButton>("pbOK"), &QAbstractButton::clicked, dialog, &QDialog::accept);
    dialog->setWindowTitle(QString::fromStdString("About " + appInfo.Name));
    dialog->adjustSize();
    positionChildWindow(dialog, parent);
    return dialog;
}

void Ux_About(const AppInfo& appInfo, QWidget* parent) {
    QDialog* d = makeAboutWindow(appInfo, parent);
    d->setAttribute(Qt::WA_DeleteOnClose);
    d->exec();
}

}  // namespace bt::gui
