#include "windowkit/gui/figure.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
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
