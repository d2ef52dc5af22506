#include "windowkit/gui/figure.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QTest>
#include <QVBoxLayout>
#include <sstream>

#include "lib/errors.h"
#include "windowkit/gui/dispatch.h"

namespace bt::gui {
namespace {

TEST(Figure, HandlesFindControlsByTagAndRefuseMissingOnes) {
    QWidget root;
    root.setObjectName("fig");
    auto* edit = new QLineEdit(&root);
    edit->setObjectName("txtBDaddr");
    auto* button = new QPushButton(&root);
    button->setObjectName("pbCalculate");
    const Handles h(&root);
    EXPECT_EQ(h.get<QLineEdit>("txtBDaddr"), edit);
    EXPECT_EQ(h.get<QPushButton>("pbCalculate"), button);
    EXPECT_EQ(h.root(), &root);
    EXPECT_THROW(h.get<QLineEdit>("pbCalculate"), Error);  // wrong kind
    EXPECT_THROW(h.get<QLineEdit>("txtNothing"), Error);
}

TEST(Figure, MissingLayoutIsAnError) { EXPECT_THROW(loadFigure("no_such_window.fig"), Error); }

TEST(Figure, ChildIsCentredOverItsParentKeepingItsSize) {
    QWidget parent;
    parent.setGeometry(100, 100, 800, 600);
    QWidget child;
    child.resize(200, 100);
    positionChildWindow(&child, &parent);
    EXPECT_EQ(child.size(), QSize(200, 100));
    const QRect pf = parent.frameGeometry();
    EXPECT_EQ(child.x(), pf.x() + (pf.width() - 200) / 2);
    EXPECT_EQ(child.y(), pf.y() + (pf.height() - 100) / 2);
}

// A window whose controls need more than the screen: it opens within the
// screen and its controls scroll, the last one still reachable.
TEST(Figure, AWindowLargerThanTheScreenFitsAndScrolls) {
    QWidget parent;
    parent.setGeometry(100, 100, 400, 300);
    QWidget child;
    auto* rows = new QVBoxLayout(&child);
    QPushButton* last = nullptr;
    for (int k = 0; k < 60; ++k) {
        last = new QPushButton(QString("Row %1").arg(k), &child);
        last->setMinimumHeight(30);
        rows->addWidget(last);
    }
    last->setObjectName("pbLast");
    const QRect avail = parent.screen()->availableGeometry();
    ASSERT_GT(child.minimumSizeHint().height(), avail.height()) << "the test needs a window taller than the screen";
    positionChildWindow(&child, &parent);
    child.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&child));
    QTest::qWait(50);  // a window manager frames the window after it is shown
    // (Under a real window manager a window placed before it was ever
    // framed gets its title bar above the place given; the windows of the
    // program are placed again when first shown.)
    const bool offscreen = QGuiApplication::platformName() == "offscreen";
    EXPECT_TRUE(avail.contains(offscreen ? child.frameGeometry() : child.geometry()))
        << child.frameGeometry().x() << "," << child.frameGeometry().y() << " " << child.frameGeometry().width() << "x"
        << child.frameGeometry().height();
    auto* scroll = child.findChild<QScrollArea*>();
    ASSERT_NE(scroll, nullptr);
    EXPECT_EQ(child.findChild<QPushButton*>("pbLast"), last);
    scroll->ensureWidgetVisible(last);
    QApplication::processEvents();
    const QPoint inView = last->mapTo(scroll->viewport(), QPoint(0, 0));
    EXPECT_TRUE(scroll->viewport()->rect().contains(QRect(inView, last->size()))) << inView.y();
}

TEST(Figure, FontsGrowOnceWhateverTheNesting) {
    QWidget root;
    root.setObjectName("fig");
    auto* group = new QWidget(&root);
    group->setObjectName("grp");
    auto* inner = new QLineEdit(group);
    inner->setObjectName("txtInner");
    QFont base = root.font();
    base.setPointSizeF(10);
    root.setFont(base);
    resizeAllFonts(Handles(&root), 96);
    EXPECT_EQ(group->font().pointSizeF(), 11);
    EXPECT_EQ(inner->font().pointSizeF(), 11);
    resizeAllFonts(Handles(&root), 120);  // other screens keep their sizes
    EXPECT_EQ(inner->font().pointSizeF(), 11);
}

TEST(Dispatch, ErrorsEscapingARoutineArePrintedAndTheCallerGoesOn) {
    Dispatcher d("bt_GUI");
    int calls = 0;
    d.add("ok", [&] { ++calls; });
    d.add("fails", std::function<void()>([] { throw Error("Something impossible."); }));
    std::stringstream captured;
    auto* old = std::cerr.rdbuf(captured.rdbuf());
    d.call("ok");
    d.call("fails");
    d.call("unknown");
    std::cerr.rdbuf(old);
    EXPECT_EQ(calls, 1);
    EXPECT_NE(captured.str().find("bt_GUI('fails'): Something impossible."), std::string::npos);
    EXPECT_NE(captured.str().find("bt_GUI('unknown')"), std::string::npos);
}

}  // namespace
}  // namespace bt::gui
