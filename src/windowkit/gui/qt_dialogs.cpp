#include "windowkit/gui/qt_dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <type_traits>

namespace bt::gui {

namespace {
QString q(const std::string& s) { return QString::fromStdString(s); }

// The core may ask from a worker thread (a download running behind its
// progress window); every dialog is made and shown on the GUI thread, the
// worker waiting for the answer.
bool offGuiThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() != app->thread();
}

template <class F>
auto onGuiThread(F f) {
    using R = decltype(f());
    if constexpr (std::is_void_v<R>) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), f, Qt::BlockingQueuedConnection);
    } else {
        R result{};
        QMetaObject::invokeMethod(QCoreApplication::instance(), [&] { result = f(); }, Qt::BlockingQueuedConnection);
        return result;
    }
}
}  // namespace

QWidget* QtDialogs::parent() const {
    if (parent_) return parent_.data();
    // The window the user works in; when none is active (a progress window
    // just closed and the window manager has not yet handed the focus back),
    // the application's main window, so that no dialog lands in the middle
    // of the screen away from its window.
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    if (QWidget* active = QApplication::activeWindow()) return active;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->inherits("QMainWindow") && !w->parentWidget()) return w;
    return nullptr;
}

std::string QtDialogs::question(const std::string& text, const std::string& title,
                                const std::vector<std::string>& buttons, const std::string& defaultButton) {
    if (offGuiThread()) return onGuiThread([&] { return question(text, title, buttons, defaultButton); });
    QMessageBox box(QMessageBox::Question, q(title), q(text), QMessageBox::NoButton, parent());
    std::vector<std::pair<QAbstractButton*, std::string>> made;
    QAbstractButton* escape = nullptr;
    for (const std::string& b : buttons) {
        // "Recalc & Download" shows its ampersand instead of underlining a letter.
        QPushButton* pb = box.addButton(q(b).replace('&', "&&"), QMessageBox::ActionRole);
        made.emplace_back(pb, b);
        if (b == defaultButton) box.setDefaultButton(pb);
        if (b == "Cancel") escape = pb;
    }
    // A message box without an escape button cannot be closed at all;
    // a question without Cancel gets an unseen one, so that closing it or
    // pressing Escape answers "" (closed).
    if (!escape) {
        escape = box.addButton(QMessageBox::Cancel);
        escape->hide();
    }
    box.setEscapeButton(escape);
    box.exec();
    for (const auto& [button, label] : made)
        if (box.clickedButton() == button) return label;
    return {};
}

void QtDialogs::message(const std::string& text, const std::string& title) {
    if (offGuiThread()) return onGuiThread([&] { message(text, title); });
    QMessageBox box(QMessageBox::Information, q(title), q(text), QMessageBox::Ok, parent());
    box.exec();
}

void QtDialogs::error(const std::string& text, const std::string& title) {
    if (offGuiThread()) return onGuiThread([&] { error(text, title); });
    QMessageBox box(QMessageBox::Critical, q(title), q(text), QMessageBox::Ok, parent());
    box.exec();
}

QString nameFilter(const std::string& filter) {
    QString f = q(filter);
    f.replace(';', ' ');
    return f.isEmpty() ? QString("*") : f;
}

std::optional<std::string> QtDialogs::openFile(const std::string& filter, const std::string& title) {
    if (offGuiThread()) return onGuiThread([&] { return openFile(filter, title); });
    const QString path = QFileDialog::getOpenFileName(parent(), q(title), {}, nameFilter(filter));
    if (path.isEmpty()) return std::nullopt;
    return path.toStdString();
}

std::optional<std::string> QtDialogs::saveFile(const std::string& filter, const std::string& title,
                                               const std::string& defaultName) {
    if (offGuiThread()) return onGuiThread([&] { return saveFile(filter, title, defaultName); });
    const QString path = QFileDialog::getSaveFileName(parent(), q(title), q(defaultName), nameFilter(filter));
    if (path.isEmpty()) return std::nullopt;
    return path.toStdString();
}

std::optional<std::vector<std::string>> QtDialogs::input(const std::vector<std::string>& prompts,
                                                         const std::string& title,
                                                         const std::vector<std::string>& defaults) {
    if (offGuiThread()) return onGuiThread([&] { return input(prompts, title, defaults); });
    QDialog dialog(parent());
    dialog.setWindowTitle(q(title));
    auto* form = new QFormLayout(&dialog);
    std::vector<QLineEdit*> fields;
    for (std::size_t i = 0; i < prompts.size(); ++i) {
        auto* edit = new QLineEdit(i < defaults.size() ? q(defaults[i]) : QString(), &dialog);
        form->addRow(new QLabel(q(prompts[i]), &dialog), edit);
        fields.push_back(edit);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    std::vector<std::string> out;
    for (QLineEdit* e : fields) out.push_back(e->text().toStdString());
    return out;
}

}  // namespace bt::gui
