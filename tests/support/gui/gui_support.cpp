#include "support/gui/gui_support.h"

#include <QAbstractButton>
#include <QDeadlineTimer>
#include <QDir>
#include <QPixmap>
#include <QTest>
#include <QTimer>
#include <memory>

namespace bt::test {

QString saveShot(QWidget* w, const QString& name) {
    const QByteArray dir = qgetenv("BTGEN_SCREENSHOTS");
    if (dir.isEmpty() || !w) return {};
    QDir().mkpath(QString::fromLocal8Bit(dir));
    const QString path = QString::fromLocal8Bit(dir) + "/" + name + ".png";
    QApplication::processEvents();
    return w->grab().save(path) ? path : QString();
}

void onNextModal(std::function<void(QWidget*)> action, int timeoutMs) {
    auto* timer = new QTimer;
    auto deadline = std::make_shared<QDeadlineTimer>(timeoutMs);
    QObject::connect(timer, &QTimer::timeout, [timer, deadline, action = std::move(action)] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible()) {
            timer->stop();
            timer->deleteLater();
            action(modal);
        } else if (deadline->hasExpired()) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(10);
}

bool clickButton(QWidget* dialog, const QString& text) {
    for (QAbstractButton* b : dialog->findChildren<QAbstractButton*>()) {
        if (QString(b->text()).remove('&') == QString(text).remove('&')) {
            QTest::mouseClick(b, Qt::LeftButton);
            return true;
        }
    }
    return false;
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QTest::qWait(5);
    }
    return true;
}

}  // namespace bt::test
