// The plot windows on the offscreen platform: the frame's menus and modes,
// the zoom commands and the mouse, export, the read-out, the error dialogs
// of the eye and scatter plots, the marker rows, and a picture of each plot
// of the default waveform.
#include <gtest/gtest.h>

#include <QAction>
#include <cmath>
#include <numbers>
#include <set>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMainWindow>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <qcustomplot.h>

#include "bluetooth/generate.h"
#include "bluetooth/noise.h"
#include "bluetooth/settings.h"
#include "lib/dialogs.h"
#include "lib/errors.h"
#include "app/gui/plot_menu.h"
#include "plots/gui/plot_window.h"
#include "plots/gui/plots.h"
#include "support/gui/gui_support.h"

namespace bt::gui {
namespace {

// The default packet, quantised as the plot menu hands it over.
struct DefaultSignal {
    std::shared_ptr<ComplexRow> wave;
    std::shared_ptr<Markers> markers;
    double rate = 10e6;
    double oversampling = 10;
};

const DefaultSignal& defaultSignal() {
    static const DefaultSignal s = [] {
        Parameters p;
        GeneratedSignal g = Calculate(p);
        DefaultSignal d;
        d.wave = std::make_shared<ComplexRow>(ApplyDacRes(std::move(g.waveform), 14));
        d.markers = std::make_shared<Markers>(std::move(g.markers));
        d.oversampling = p.OverSampling;
        d.rate = p.OverSampling * 1e6;
        return d;
    }();
    return s;
}

class PlotWindows : public ::testing::Test {
protected:
    void SetUp() override {
        parent_.setGeometry(100, 100, 1000, 760);
        dialogs_ = std::make_shared<PresetDialogs>();
        previous_ = setDialogs(dialogs_);
    }
    void TearDown() override {
        for (QWidget* w : opened_)
            if (PlotWindow::isOpen(PlotWindow::handleOf(w))) PlotWindow::close(PlotWindow::handleOf(w));
        setDialogs(previous_);
    }
    QWidget* keep(QWidget* w) {
        if (w) opened_.push_back(w);
        return w;
    }
    static QAction* item(QWidget* w, const char* tag) { return w->findChild<QAction*>(tag); }

    QWidget parent_;
    std::shared_ptr<PresetDialogs> dialogs_;
    std::shared_ptr<Dialogs> previous_;
    std::vector<QWidget*> opened_;
};

TEST_F(PlotWindows, FrameMenusPlacementAndName) {
    const auto& s = defaultSignal();
    QWidget* w = keep(Ux_PlotCCDF(*s.wave, "BLUETOOTH (07DEC2026 9:05:03)", &parent_));
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->windowTitle(), "CCDF BLUETOOTH (07DEC2026 9:05:03)");
    // 0.8 of the parent, right and down by a tenth of the new size.
    // (The bottom edge stays put while the height shrinks: the top moves down.)
    EXPECT_EQ(w->geometry(), QRect(100 + 80, 100 + 760 - 608 + 61, 800, 608));
    for (const char* tag : {"menuFilePrint", "menuFilePrintSetup", "menuFileSaveImage", "menuFileClose", "menuEditCopy",
                            "Ux_Zoom", "Ux_Rotate", "Ux_ZoomReset"})
        EXPECT_NE(item(w, tag), nullptr) << tag;
    EXPECT_EQ(item(w, "Ux_Zoom")->text(), "&Zoom");
    EXPECT_EQ(item(w, "Ux_ZoomReset")->text(), "Zoom Re&set");
    EXPECT_FALSE(item(w, "Ux_Rotate")->isEnabled());
    auto* axes = w->findChild<QCPAxisRect*>("Ux_CCDF");
    ASSERT_NE(axes, nullptr);
    EXPECT_EQ(axes->axis(QCPAxis::atLeft)->scaleType(), QCPAxis::stLogarithmic);
    EXPECT_EQ(axes->axis(QCPAxis::atLeft)->range().upper, 100);
    EXPECT_EQ(axes->axis(QCPAxis::atBottom)->label(), "dB above Average");
    // Closing deletes the window and forgets it.
    const auto handle = PlotWindow::handleOf(w);
    EXPECT_TRUE(PlotWindow::isOpen(handle));
    item(w, "menuFileClose")->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(PlotWindow::isOpen(handle));
    EXPECT_FALSE(PlotWindow::close(handle));
}

TEST_F(PlotWindows, ZoomAndRotateAreExclusive) {
    const auto& s = defaultSignal();
    QWidget* w = keep(Ux_PlotSpectrum(*s.wave, s.rate, "x", &parent_));
    item(w, "Ux_Zoom")->trigger();
    EXPECT_TRUE(item(w, "Ux_Zoom")->isChecked());
    item(w, "Ux_Zoom")->trigger();
    EXPECT_FALSE(item(w, "Ux_Zoom")->isChecked());
    EXPECT_EQ(PlotWindow::of(w)->Bt_zoom("getmode", true).toString(), "off");

    QWidget* wf = keep(Ux_PlotWaterfall(*s.wave, s.rate, double(s.wave->size()) / s.rate / 200, "x", &parent_));
    EXPECT_TRUE(item(wf, "Ux_Rotate")->isEnabled());
    item(wf, "Ux_Zoom")->trigger();
    item(wf, "Ux_Rotate")->trigger();
    EXPECT_TRUE(item(wf, "Ux_Rotate")->isChecked());
    EXPECT_FALSE(item(wf, "Ux_Zoom")->isChecked());
    item(wf, "Ux_Zoom")->trigger();
    EXPECT_TRUE(item(wf, "Ux_Zoom")->isChecked());
    EXPECT_FALSE(item(wf, "Ux_Rotate")->isChecked());
}

TEST_F(PlotWindows, ZoomCommandsClicksAndDoubleClick) {
    const auto& s = defaultSignal();
    QWidget* w = keep(Ux_PlotSpectrum(*s.wave, s.rate, "x", &parent_));
    PlotWindow* pw = PlotWindow::of(w);
    QCustomPlot* plot = pw->plot();
    plot->replot();
    QCPAxisRect* axes = plot->axisRect();
    const plots::AxisLimits full = pw->limits(axes);
    EXPECT_EQ(full, (plots::AxisLimits{-5, 5, -100, 0}));
    try {
        pw->Bt_zoom("sideways");
        ADD_FAILURE();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Unknown option: sideways.");
    }
    EXPECT_THROW(pw->Bt_zoom("on", true), Error);
    pw->Bt_zoom("on");
    EXPECT_TRUE(item(w, "Ux_Zoom")->isChecked());
    // Two clicks in the middle: each halves both ranges about the point.
    const QPoint mid = axes->rect().center();
    QTest::mouseClick(plot, Qt::LeftButton, {}, mid);
    QTest::mouseClick(plot, Qt::LeftButton, {}, mid);
    const plots::AxisLimits zoomed = pw->limits(axes);
    EXPECT_NEAR(zoomed.xmax - zoomed.xmin, 2.5, 0.05);
    EXPECT_NEAR(zoomed.ymax - zoomed.ymin, 25, 0.5);
    // A dragged band zooms to the band.
    QTest::mousePress(plot, Qt::LeftButton, {}, mid - QPoint(100, 50));
    QTest::mouseMove(plot, mid + QPoint(50, 40));
    QTest::mouseRelease(plot, Qt::LeftButton, {}, mid + QPoint(50, 40));
    const plots::AxisLimits band = pw->limits(axes);
    EXPECT_LT(band.xmax - band.xmin, zoomed.xmax - zoomed.xmin);
    EXPECT_EQ(pw->Bt_zoom("getlimits", true).toList().value(1).toDouble(), full.xmax);
    // The double click returns to the limits stored at the first zoom.
    QTest::mouseDClick(plot, Qt::LeftButton, {}, mid);
    EXPECT_EQ(pw->limits(axes), full);
    // Scale about the centre, then Zoom Reset.
    pw->Bt_zoom("4");
    EXPECT_NEAR(pw->limits(axes).xmax, 1.25, 1e-9);
    item(w, "Ux_ZoomReset")->trigger();
    EXPECT_EQ(pw->limits(axes), full);
    Bt_zoom(w, "off");
    EXPECT_FALSE(item(w, "Ux_Zoom")->isChecked());
    try {
        Bt_zoom(&parent_, "on");
        ADD_FAILURE();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "First argument must be a figure handle.");
    }
}

// Outside the zoom mode the wheel zooms and the mouse pans, with no zoom
// click to store the full view: it is stored when the plot is drawn.
TEST_F(PlotWindows, WheelAndDragReturnToTheFullView) {
    const auto& s = defaultSignal();
    QWidget* w = keep(Ux_PlotSpectrum(*s.wave, s.rate, "x", &parent_));
    PlotWindow* pw = PlotWindow::of(w);
    QCustomPlot* plot = pw->plot();
    QCPAxisRect* axes = plot->axisRect();
    const plots::AxisLimits full = pw->limits(axes);
    const QPoint mid = axes->rect().center();
    QWheelEvent wheel(QPointF(mid), QPointF(plot->mapToGlobal(mid)), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(plot, &wheel);
    ASSERT_NE(pw->limits(axes), full) << "the wheel did not zoom";
    item(w, "Ux_ZoomReset")->trigger();
    EXPECT_EQ(pw->limits(axes), full);

    QTest::mousePress(plot, Qt::LeftButton, {}, mid);
    QTest::mouseMove(plot, mid + QPoint(60, 30));
    QTest::mouseRelease(plot, Qt::LeftButton, {}, mid + QPoint(60, 30));
    ASSERT_NE(pw->limits(axes), full) << "the drag did not pan";
    QTest::mouseDClick(plot, Qt::LeftButton, {}, mid);
    EXPECT_EQ(pw->limits(axes), full);
}

TEST_F(PlotWindows, CursorReadOutAndImages) {
    const auto& s = defaultSignal();
    QWidget* w = keep(Ux_PlotSpectrum(*s.wave, s.rate, "x", &parent_));
    PlotWindow* pw = PlotWindow::of(w);
    pw->plot()->replot();
    QTest::mouseMove(pw->plot(), pw->plot()->axisRect()->rect().center());
    EXPECT_TRUE(pw->cursorText().startsWith("Frequency (MHz): ")) << pw->cursorText().toStdString();
    EXPECT_TRUE(pw->cursorText().contains("LogMag (dB): "));

    QTemporaryDir dir;
    for (const char* ext : {"png", "svg", "pdf"}) {
        const QString path = dir.filePath(QString("spectrum.") + ext);
        EXPECT_TRUE(pw->saveImage(path, 640, 480)) << ext;
        QFile f(path);
        ASSERT_TRUE(f.open(QFile::ReadOnly)) << ext;
        const QByteArray head = f.read(8);
        const QByteArray all = head + f.readAll();
        const QString e(ext);
        EXPECT_TRUE(e != "png" || head.startsWith("\x89PNG"));
        EXPECT_TRUE(e != "pdf" || head.startsWith("%PDF"));
        EXPECT_TRUE(e != "svg" || all.contains("<svg"));
    }
    EXPECT_FALSE(pw->saveImage(dir.filePath("spectrum.bmpx")));
    // File > Save Image... asks for the name through the dialog service.
    dialogs_->setFile(dir.filePath("menu.svg").toStdString());
    item(w, "menuFileSaveImage")->trigger();
    EXPECT_TRUE(QFile::exists(dir.filePath("menu.svg")));
    dialogs_->setFile(dir.filePath("menu.txt").toStdString());
    item(w, "menuFileSaveImage")->trigger();
    ASSERT_FALSE(dialogs_->shown().empty());
    EXPECT_EQ(dialogs_->shown().back().kind, "error");
}

TEST_F(PlotWindows, EyeAndScatterErrorsShowADialogAndOpenNothing) {
    const auto& s = defaultSignal();
    EXPECT_EQ(Ux_PlotEyeDiagram(*s.wave, 0, 1e-6, 0, "x", &parent_), nullptr);
    ASSERT_EQ(dialogs_->shown().size(), 1u);
    EXPECT_EQ(dialogs_->shown()[0].title, "Plot Error");
    EXPECT_EQ(dialogs_->shown()[0].text, "Unable to Plot Eye Diagram\nN must be an integer greater than 1.");
    EXPECT_EQ(Ux_PlotScatterDiagram({}, 10, 0, true, "x", &parent_), nullptr);
    EXPECT_EQ(dialogs_->shown()[1].text, "Unable to Plot Scatter Diagram\nInput variable X is empty.");
}

TEST_F(PlotWindows, IqTimeAxesAndMarkerRows) {
    const auto& s = defaultSignal();
    QWidget* two = keep(Ux_PlotIQTime(s.wave, s.rate, false, "x", &parent_, s.markers));
    EXPECT_EQ(two->windowTitle(), "I(t) Q(t) x");
    ASSERT_NE(two->findChild<QCPAxisRect*>("Ux_Iwave"), nullptr);
    ASSERT_NE(two->findChild<QCPAxisRect*>("Ux_Qwave"), nullptr);
    EXPECT_TRUE(item(two, "Ux_ShowMarkers")->isVisible());
    item(two, "Ux_ShowMarkers")->trigger();
    EXPECT_NE(two->findChild<QCPAxisRect*>("Ux_Markers"), nullptr);
    test::saveShot(two, "plots_iq_time_markers");
    item(two, "Ux_ShowMarkers")->trigger();
    EXPECT_EQ(two->findChild<QCPAxisRect*>("Ux_Markers"), nullptr);
    QWidget* none = keep(Ux_PlotIQTime(nullptr, 0, true, "x", nullptr));
    EXPECT_EQ(none->windowTitle(), "I(t) Q(t) No Data");
    EXPECT_NE(none->findChild<QCPAxisRect*>("Ux_IQwave"), nullptr);
    EXPECT_FALSE(item(none, "Ux_ShowMarkers")->isVisible());
    EXPECT_EQ(none->geometry().size(), QSize(340, 340));
}

TEST_F(PlotWindows, LargeEyeAndScatterDrawDensityPictures) {
    // Beyond a few hundred thousand points the traces become a picture.
    ComplexRow w(400000);
    for (std::size_t k = 0; k < w.size(); ++k) w[k] = std::polar(1.0, 0.05 * double(k));
    QWidget* eye = keep(Ux_PlotEyeDiagram(w, 20, 2e-6, 0, "x", &parent_));
    ASSERT_NE(eye, nullptr);
    EXPECT_EQ(PlotWindow::of(eye)->plot()->plottableCount(), 2);
    EXPECT_NE(qobject_cast<QCPColorMap*>(PlotWindow::of(eye)->plot()->plottable(0)), nullptr);
    QWidget* sc = keep(Ux_PlotScatterDiagram(w, 1, 0, true, "x", &parent_));
    ASSERT_NE(sc, nullptr);
    EXPECT_NE(qobject_cast<QCPColorMap*>(PlotWindow::of(sc)->plot()->plottable(0)), nullptr);
}

// The red crosses of the scatter diagram: for an EDR packet its DPSK phase
// steps at unit power, each near a point of its modulation's constellation
// (8DPSK: every multiple of pi/4; pi/4-DQPSK: the odd ones) with all of
// them used by a PN9 payload; a basic-rate packet has none.
TEST_F(PlotWindows, ScatterCrossesTheDpskStepsOfEdrPacketsOnly) {
    const auto crosses = [](QWidget* w) -> QCPCurve* {
        QCustomPlot* plot = PlotWindow::of(w)->plot();
        for (int k = 0; k < plot->plottableCount(); ++k)
            if (plot->plottable(k)->name() == "DPSK symbols") return qobject_cast<QCPCurve*>(plot->plottable(k));
        return nullptr;
    };
    struct Case {
        double packetType;
        int bitsPerSymbol;
        std::size_t payloadSymbols;  // payload header, body and CRC
    };
    for (const Case c : {Case{19, 3, (2 + 83 + 2) * 8 / 3}, Case{17, 2, (2 + 367 + 2) * 8 / 2}}) {
        SCOPED_TRACE(c.packetType);
        Parameters p;
        p.packetType = c.packetType;
        p.patternLength = 8 * (c.bitsPerSymbol == 3 ? 83 : 367);
        p.payloadType = 5;  // PN9
        GeneratedSignal g = Calculate(p);
        const ComplexRow wave = ApplyDacRes(std::move(g.waveform), 14);
        QWidget* w = keep(Ux_PlotScatterDiagram(wave, p.OverSampling, 0, true, "x", &parent_));
        ASSERT_NE(w, nullptr);
        const QCPCurve* red = crosses(w);
        ASSERT_NE(red, nullptr);
        EXPECT_EQ(red->scatterStyle().shape(), QCPScatterStyle::ssCross);
        EXPECT_EQ(red->scatterStyle().pen().color(), QColor(Qt::red));
        ASSERT_GE(std::size_t(red->data()->size()), c.payloadSymbols);
        std::set<int> used;
        for (const QCPCurveData& d : *red->data()) {
            const double step = std::atan2(d.value, d.key) / (std::numbers::pi / 4);
            const long nearest = std::lround(step);
            EXPECT_NEAR(std::hypot(d.key, d.value), 1, 0.05);
            EXPECT_NEAR(step, double(nearest), 0.05 / (std::numbers::pi / 4)) << d.key << " " << d.value;
            used.insert(int((nearest + 8) % 8));
        }
        const std::set<int> constellation =
            c.bitsPerSymbol == 3 ? std::set<int>{0, 1, 2, 3, 4, 5, 6, 7} : std::set<int>{1, 3, 5, 7};
        EXPECT_EQ(used, constellation);
    }
    const auto& s = defaultSignal();  // DH1
    QWidget* basic = keep(Ux_PlotScatterDiagram(*s.wave, s.oversampling, 0, true, "x", &parent_));
    ASSERT_NE(basic, nullptr);
    EXPECT_EQ(crosses(basic), nullptr);
}

TEST_F(PlotWindows, ScreenshotsOfTheDefaultWaveform) {
    const auto& s = defaultSignal();
    const QString label = "BLUETOOTH (07DEC2026 9:05:03)";
    const double n = 4 * s.oversampling;
    const std::vector<std::pair<QString, QWidget*>> shots = {
        {"plots_ccdf", Ux_PlotCCDF(*s.wave, label, &parent_)},
        {"plots_spectrum", Ux_PlotSpectrum(*s.wave, s.rate, label, &parent_)},
        {"plots_waterfall", Ux_PlotWaterfall(*s.wave, s.rate, double(s.wave->size()) / s.rate / 200, label, &parent_)},
        {"plots_iq_time", Ux_PlotIQTime(s.wave, s.rate, false, label, &parent_)},
        {"plots_iq_overlay", Ux_PlotIQTime(s.wave, s.rate, true, label, &parent_)},
        {"plots_eye", Ux_PlotEyeDiagram(*s.wave, n, n / s.rate, 0, label, &parent_)},
        {"plots_scatter", Ux_PlotScatterDiagram(*s.wave, s.oversampling, 0, true, label, &parent_)},
    };
    for (const auto& [name, w] : shots) {
        ASSERT_NE(keep(w), nullptr) << name.toStdString();
        EXPECT_TRUE(w->isVisible());
        test::saveShot(w, name);
    }
}

}  // namespace
}  // namespace bt::gui

namespace bt::gui {
namespace {

class PlotMenu : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = appState();
        GeneratedSignal g = Calculate(appState().parameters);
        appState().waveform = std::move(g.waveform);
        appState().markers = std::move(g.markers);
        appState().appInfo.LastCalcTimeStamp = "07DEC2026 9:05:03";
        dialogs_ = std::make_shared<PresetDialogs>();
        previous_ = setDialogs(dialogs_);
        frame_.setGeometry(50, 50, 900, 700);
    }
    void TearDown() override {
        for (QWidget* w : opened_) PlotWindow::close(PlotWindow::handleOf(w));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        setDialogs(previous_);
        appState() = saved_;
    }
    QWidget* open(PlotItem item) {
        QWidget* w = openPlot(item, appState(), "BLUETOOTH (07DEC2026 9:05:03)", &frame_);
        if (w) opened_.push_back(w);
        return w;
    }

    AppState saved_;
    QWidget frame_;
    std::shared_ptr<PresetDialogs> dialogs_;
    std::shared_ptr<Dialogs> previous_;
    std::vector<QWidget*> opened_;
};

TEST_F(PlotMenu, EveryItemOpensItsWindowOverTheFrame) {
    const std::vector<std::pair<PlotItem, QString>> items = {
        {PlotItem::Spectrum, "Magnitude Spectrum "}, {PlotItem::Waterfall, "Spectrum Waterfall "},
        {PlotItem::IQTime, "I(t) Q(t) "},           {PlotItem::IQTimeSameAxes, "I(t) Q(t) "},
        {PlotItem::CCDF, "CCDF "}};
    for (const auto& [item, name] : items) {
        QWidget* w = open(item);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->windowTitle(), name + "BLUETOOTH (07DEC2026 9:05:03)");
    }
    // The I(t) Q(t) windows share one quantised copy and offer the markers.
    auto a = quantisedWaveform(appState());
    auto b = quantisedWaveform(appState());
    EXPECT_EQ(a.get(), b.get());
    EXPECT_NE(a->data(), appState().waveform.data());
    EXPECT_TRUE(opened_[2]->findChild<QAction*>("Ux_ShowMarkers")->isVisible());
    EXPECT_TRUE(dialogs_->shown().empty());
}

TEST_F(PlotMenu, EyeAndScatterAskFirst) {
    // More symbols than the waveform holds are clipped to it; a delay of
    // 1.7 is one symbol.
    dialogs_->setInputs({std::vector<std::string>{"99999", "1.7"}, std::nullopt,
                         std::vector<std::string>{"0", "0.5"}, std::nullopt});
    QWidget* eye = open(PlotItem::EyeDiagram);
    ASSERT_NE(eye, nullptr);
    EXPECT_EQ(eye->windowTitle(), "Eye Diagram BLUETOOTH (07DEC2026 9:05:03)");
    ASSERT_EQ(dialogs_->shown().size(), 1u);
    EXPECT_EQ(dialogs_->shown()[0].kind, "input");
    EXPECT_EQ(dialogs_->shown()[0].title, "Eye Diagram Configuration");
    auto* axes = eye->findChildren<QCPAxisRect*>().value(0);
    ASSERT_NE(axes, nullptr);
    // One trace of all 12500 samples: 1.25 ms, read in milliseconds.
    EXPECT_NEAR(axes->axis(QCPAxis::atBottom)->range().upper, 0.625, 1e-9);
    EXPECT_EQ(axes->axis(QCPAxis::atBottom)->label(), "Time (ms)");
    EXPECT_EQ(open(PlotItem::EyeDiagram), nullptr);  // cancelled
    QWidget* sc = open(PlotItem::ScatterDiagram);
    ASSERT_NE(sc, nullptr);
    EXPECT_EQ(sc->windowTitle(), "Scatter Diagram BLUETOOTH (07DEC2026 9:05:03)");
    EXPECT_EQ(dialogs_->shown().back().title, "Scatter Diagram Configuration");
    EXPECT_EQ(open(PlotItem::ScatterDiagram), nullptr);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);  // the busy pointer is gone
}

}  // namespace
}  // namespace bt::gui
