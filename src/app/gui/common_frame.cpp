#include "app/gui/common_frame.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <iostream>

#include "instrument/connection_editor.h"
#include "instrument/waveform_export.h"
#include "lib/dialogs.h"
#include "app/app_state.h"
#include "app/frame_logic.h"
#include "app/gui/about_window.h"
#include "app/gui/instrument_actions.h"
#include "app/settings_files.h"
#include "radio/loop_player.h"

namespace bt::gui {

namespace {

struct MenuItem {
    const char* label;
    const char* tag;
    bool separatorAbove = false;
    bool hidden = false;
};

QAction* addItem(QMenu* menu, const MenuItem& item) {
    if (item.separatorAbove) menu->addSeparator();
    QAction* a = menu->addAction(QString::fromUtf8(item.label));
    a->setObjectName(item.tag);
    a->setVisible(!item.hidden);
    return a;
}

QMenu* addMenu(QMenuBar* bar, const char* label, const char* tag) {
    QMenu* m = bar->addMenu(QString::fromUtf8(label));
    m->setObjectName(tag);
    m->menuAction()->setObjectName(QString(tag) + "Action");
    return m;
}

}  // namespace

MenuHeaders Ux_AddMenu(QMainWindow* figure, char platform) {
    QMenuBar* bar = figure->menuBar();
    bar->clear();
    MenuHeaders h;

    h.File = addMenu(bar, "&File", "menuFile");
    addItem(h.File, {"&New", "menuFileNew"})->setShortcut(QKeySequence::New);
    addItem(h.File, {"&Open...", "menuFileOpen"})->setShortcut(QKeySequence::Open);
    addItem(h.File, {"&Save", "menuFileSave"})->setShortcut(QKeySequence::Save);
    addItem(h.File, {"Save &As...", "menuFileSaveAs"});
    addItem(h.File, {"&Export Raw Data...", "menuFileExportRawData", false, true});
    addItem(h.File, {"E&xit", "menuFileExit", true})->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    h.Plot = addMenu(bar, "&Plot", "menuPlot");
    addItem(h.Plot, {"&Spectrum", "menuPlotSpectrum"});
    addItem(h.Plot, {"&Waterfall", "menuPlotWaterfall", false, true});
    addItem(h.Plot, {"I(t) Q(t)", "menuPlotIQTime", true});
    addItem(h.Plot, {"I(t) Q(t) Overlayed", "menuPlotIQTimeSameAxes"});
    addItem(h.Plot, {"&Eye Diagram", "menuPlotEyeDiagram", false, true});
    addItem(h.Plot, {"S&catter Diagram", "menuPlotScatterDiagram", false, true});
    addItem(h.Plot, {"&CCDF", "menuPlotCCDF", true});
    addItem(h.Plot, {"&Frequency Eye Diagram", "menuPlotFrequencyEye", true});
    addItem(h.Plot, {"F&requency (t)", "menuPlotFrequency"});

    h.Config = addMenu(bar, "&Configuration", "menuConfig");
    addItem(h.Config, {"&Sig Gen I/O", "menuConfigSigGenIO"});
    addItem(h.Config, {"Spec &An I/O", "menuConfigSpecAnIO", false, true});
    if (platform == 'c') {
        h.Config->addSeparator();
        QMenu* bbg = h.Config->addMenu("&Baseband Generator");
        bbg->setObjectName("menuConfigBBG1");
        bbg->menuAction()->setObjectName("menuConfigBBG1Action");
        for (const MenuItem& item : {MenuItem{"Option 00&1 (8 Msamples)", "menuConfigBBG1Opt1"},
                                     MenuItem{"Option 00&2 (32 Msamples)", "menuConfigBBG1Opt2"}})
            addItem(bbg, item)->setCheckable(true);
    }

    h.Special = addMenu(bar, "&Special", "menuSpecial");
    addItem(h.Special, {"Save &Wave...", "menuSpecialSaveWave"});
    addItem(h.Special, {"&Impairments", "menuSpecialImpairments", false, true})->setEnabled(false);
    h.Special->menuAction()->setVisible(false);

    h.Help = addMenu(bar, "&Help", "menuHelp");
    addItem(h.Help, {"&Help", "menuHelpHelp"});
    addItem(h.Help, {"&About", "menuHelpAbout"});
    return h;
}


// ------------------------------------------------------------------ frame

CommonFrame::CommonFrame(QMainWindow* main, Dispatcher& application)
    : QObject(main), main_(main), application_(application) {
    menus_ = Ux_AddMenu(main, appState().appInfo.Platform);
    handles_ = Handles(main);
    addRoutines();
    connectControls();
    main->installEventFilter(this);
    radioWatch_.setInterval(500);
    connect(&radioWatch_, &QTimer::timeout, this, &CommonFrame::watchRadio);
    status_ = new QLabel(main);
    status_->setObjectName("txtWaveformStatus");
    main->statusBar()->addWidget(status_, 1);
}

CommonFrame::~CommonFrame() { stopRadio(); }

void CommonFrame::refreshHandles() { handles_ = Handles(main_); }

QVariant CommonFrame::rfCommonUI(const std::string& name, const QVariantList& args) {
    return dispatcher_.call(name, args);
}

void CommonFrame::addRoutines() {
    using Fn = void (CommonFrame::*)();
    static const std::pair<const char*, Fn> routines[] = {
        {"InitializeFigure", &CommonFrame::InitializeFigure},
        {"redrawAppTitle", &CommonFrame::redrawAppTitle},
        {"pbCalculate_Callback", &CommonFrame::pbCalculate_Callback},
        {"pbDownload_Callback", &CommonFrame::pbDownload_Callback},
        {"pbRefresh_Callback", &CommonFrame::pbRefresh_Callback},
        {"menuFileNew_Callback", &CommonFrame::menuFileNew_Callback},
        {"menuFileOpen_Callback", &CommonFrame::menuFileOpen_Callback},
        {"menuFileSave_Callback", &CommonFrame::menuFileSave_Callback},
        {"menuFileSaveAs_Callback", &CommonFrame::menuFileSaveAs_Callback},
        {"menuFileExit_Callback", &CommonFrame::menuFileExit_Callback},
        {"menuPlotSpectrum_Callback", &CommonFrame::menuPlotSpectrum_Callback},
        {"menuPlotWaterfall_Callback", &CommonFrame::menuPlotWaterfall_Callback},
        {"menuPlotIQTime_Callback", &CommonFrame::menuPlotIQTime_Callback},
        {"menuPlotIQTimeSameAxes_Callback", &CommonFrame::menuPlotIQTimeSameAxes_Callback},
        {"menuPlotEyeDiagram_Callback", &CommonFrame::menuPlotEyeDiagram_Callback},
        {"menuPlotScatterDiagram_Callback", &CommonFrame::menuPlotScatterDiagram_Callback},
        {"menuPlotCCDF_Callback", &CommonFrame::menuPlotCCDF_Callback},
        {"menuPlotFrequencyEye_Callback", &CommonFrame::menuPlotFrequencyEye_Callback},
        {"menuPlotFrequency_Callback", &CommonFrame::menuPlotFrequency_Callback},
        {"menuConfigSigGenIO_Callback", &CommonFrame::menuConfigSigGenIO_Callback},
        {"menuConfigBBG1Opt1_Callback", &CommonFrame::menuConfigBBG1Opt1_Callback},
        {"menuConfigBBG1Opt2_Callback", &CommonFrame::menuConfigBBG1Opt2_Callback},
        {"menuSpecialSaveWave_Callback", &CommonFrame::menuSpecialSaveWave_Callback},
        {"menuHelpHelp_Callback", &CommonFrame::menuHelpHelp_Callback},
        {"menuHelpAbout_Callback", &CommonFrame::menuHelpAbout_Callback},
        {"AppShutDown", &CommonFrame::AppShutDown},
    };
    for (const auto& [name, fn] : routines) dispatcher_.add(name, std::function<void()>([this, fn = fn] { (this->*fn)(); }));
    dispatcher_.add("executeCalculation", [this](const QVariantList&) { return QVariant(executeCalculation()); });
    dispatcher_.add("checkWaveformReady", [this](const QVariantList& a) {
        return QVariant(checkWaveformReady(a.isEmpty() ? std::string("Download") : a.value(0).toString().toStdString()));
    });
    dispatcher_.add("saveWaveform", [this](const QVariantList& a) {
        saveWaveform(a.value(0).toString().toStdString());
        return QVariant();
    });
    dispatcher_.add("loadParameters", [this](const QVariantList& a) {
        return QVariant(loadParameters(a.value(0).toString().toStdString()));
    });
    dispatcher_.add("saveConfig", std::function<void()>([] { saveConfig(appState().configuration); }));
    dispatcher_.add("menuConfigSpecAnIO_Callback", std::function<void()>([] {}));
}

void CommonFrame::connectControls() {
    static const char* const buttons[] = {"pbCalculate", "pbDownload", "pbRefresh"};
    for (const char* tag : buttons) {
        auto* b = handles_.get<QAbstractButton>(tag);
        const std::string routine = std::string(tag) + "_Callback";
        connect(b, &QAbstractButton::clicked, this, [this, routine] { rfCommonUI(routine); });
    }
    for (QAction* a : main_->findChildren<QAction*>()) {
        const std::string tag = a->objectName().toStdString();
        if (tag.rfind("menu", 0) != 0 || tag.ends_with("Action") || tag == "menuFileExportRawData") continue;
        const std::string routine = tag + "_Callback";
        if (!dispatcher_.has(routine)) continue;
        connect(a, &QAction::triggered, this, [this, routine] { rfCommonUI(routine); });
    }
}

void CommonFrame::InitializeFigure() {
    AppState& s = appState();
    if (LoadedConfig loaded = loadConfig(); loaded.configuration) s.configuration = *loaded.configuration;

    handles_.get<QWidget>("pbCalculate")->setToolTip("Calculates the waveform based\non current settings.");
    handles_.get<QWidget>("pbDownload")->setToolTip("Downloads the current waveform and\nsettings to the IXO.");
    handles_.get<QWidget>("pbRefresh")->setToolTip("Downloads just the current settings\nto the IXO.");
    const int events = s.appInfo.Platform == 'c' ? 4 : 2;
    for (int k = 1; k <= events; ++k)
        handles_.get<QWidget>(QString("txtEvent%1").arg(k))
            ->setToolTip(QString("Description of the signal available on\nthe Event %1 Connector of the rear panel.").arg(k));
    auto* samples = handles_.get<QWidget>("txtNumberOfSamples");
    if (s.appInfo.Platform == 'c') {
        samples->setToolTip(
            "The number of samples generated \nby the current settings.\n(The R7720K can hold up to 8 or 32 M samples.)");
        setBbgOption(s.configuration.BBGtype == "001" ? "001" : "002");
        s.configuration.BBGtype = s.configuration.BBGtype == "001" ? "001" : s.configuration.BBGtype;
    } else {
        samples->setToolTip("The number of samples generated \nby the current settings.\n(An IXO can hold up to 1 M samples.)");
    }
}

void CommonFrame::setBbgOption(const std::string& option) {
    if (!handles_.has("menuConfigBBG1Opt1")) return;
    handles_.get<QAction>("menuConfigBBG1Opt1")->setChecked(option == "001");
    handles_.get<QAction>("menuConfigBBG1Opt2")->setChecked(option != "001");
}

// ------------------------------------------------------------ title bar

void CommonFrame::markSettingsSaved() {
    savedParameters_ = appState().parameters;
    savedSigGen_ = appState().SigGenSettings;
}

bool CommonFrame::settingsModified() const {
    const AppState& s = appState();
    if (!savedParameters_ || !savedSigGen_) return false;
    return !(s.parameters == *savedParameters_) || !(s.SigGenSettings == *savedSigGen_);
}

void CommonFrame::redrawAppTitle() {
    if (!main_) return;
    const AppState& s = appState();
    std::string title = appTitle(s.appInfo, s.configuration);
    if (settingsModified()) title += " *";
    main_->setWindowTitle(QString::fromStdString(title));
    redrawWaveformStatus();
}

QString CommonFrame::waveformStatus() const {
    const AppState& s = appState();
    return QString::fromStdString(waveformStatusLine(s.appInfo, s.parameters, s.waveform.size(),
                                                     lastDownload_ ? &*lastDownload_ : nullptr));
}

void CommonFrame::redrawWaveformStatus() {
    if (status_) status_->setText(waveformStatus());
}

// ------------------------------------------------------------ calculate

bool CommonFrame::executeCalculation() {
    const BusyPointer busy;
    // The radio's loop reads the waveform that the calculation replaces.
    stopRadio();
    const QVariant done = application_.call("Calculate");
    if (!done.toBool()) return false;
    AppState& s = appState();
    stampCalculation(s.appInfo, s.parameters);
    lastDownload_.reset();  // the new waveform is not on the instrument yet
    redrawWaveformStatus();
    return true;
}

int CommonFrame::checkWaveformReady(const std::string& action) {
    const AppState& s = appState();
    switch (bt::checkWaveformReady(s.appInfo, s.parameters, action)) {
        case Readiness::Go: return 1;
        case Readiness::Stop: return 0;
        case Readiness::CalculateFirst:
            // A failed or cancelled calculation leaves nothing worth using.
            return executeCalculation() ? 1 : 0;
    }
    return 0;
}

void CommonFrame::pbCalculate_Callback() { executeCalculation(); }

// ---------------------------------------------------- download, refresh

void CommonFrame::pbDownload_Callback() {
    if (!checkWaveformReady("Download")) return;
    const AppState& s = appState();
    if (isRadioConnection(s.configuration)) return radioDownload();
    const InstrumentOutcome outcome = runDownload(main_, s.waveform, s.markers, s.SigGenSettings, s.configuration,
                                                  s.appInfo.Platform);
    const FrameMessage m = downloadMessage(outcome.download, outcome.play);
    if (outcome.download.ok() && outcome.play.ok()) {
        lastDownload_ = DownloadRecord{s.appInfo.LastCalcTimeStamp, connectionText(s.configuration), s.SigGenSettings.Title};
        redrawWaveformStatus();
    }
    if (m.error)
        dialogs().error(m.text, m.title);
    else
        dialogs().message(m.text, m.title);
}

void CommonFrame::pbRefresh_Callback() {
    const AppState& s = appState();
    if (isRadioConnection(s.configuration)) return radioRefresh();
    const HwResult play = runRefresh(main_, s.SigGenSettings, s.configuration, s.appInfo.Platform);
    const FrameMessage m = refreshMessage(play);
    if (!m.title.empty()) dialogs().error(m.text, m.title);
}

// ------------------------------------------------------------------ files

void CommonFrame::menuFileNew_Callback() {
    appState().configuration.LastParameterFilename.clear();
    application_.call("InitializeParameters");
    application_.call("InitializeSigGenSettings");
    application_.call("redraw");
    markSettingsSaved();
    redrawAppTitle();
}

bool CommonFrame::loadParameters(const std::string& path) {
    AppState& s = appState();
    const FileOutcome outcome = openSettingsFile(s, path);
    if (!outcome) {
        dialogs().error(outcome.message, outcome.title);
        return false;
    }
    application_.call("redraw");
    markSettingsSaved();
    redrawAppTitle();
    return true;
}

void CommonFrame::menuFileOpen_Callback() {
    const std::string filter = "*" + appState().appInfo.ParameterFileExtension;
    const auto file = dialogs().openFile(filter, "Open Settings File");
    if (!file || file->empty()) return;
    loadParameters(*file);
}

namespace {
bool writeSettings(const std::string& chosen) {
    const FileOutcome outcome = saveSettingsFile(appState(), chosen);
    if (!outcome) dialogs().error(outcome.message, outcome.title);
    return bool(outcome);
}
}  // namespace

void CommonFrame::menuFileSave_Callback() {
    AppState& s = appState();
    std::string target = s.configuration.LastParameterFilename;
    if (target.empty()) {
        const auto file = dialogs().saveFile("*" + s.appInfo.ParameterFileExtension, "Save Settings File");
        if (!file || file->empty()) return;
        target = *file;
    }
    if (writeSettings(target)) markSettingsSaved();
    redrawAppTitle();
}

void CommonFrame::menuFileSaveAs_Callback() {
    AppState& s = appState();
    const auto file = dialogs().saveFile("*" + s.appInfo.ParameterFileExtension, "Save Settings File As",
                                         s.configuration.LastParameterFilename);
    if (!file || file->empty()) return;
    const SaveAsTarget target = classifySaveAsName(*file, s.appInfo.ParameterFileExtension);
    if (target.waveform) {
        saveWaveform(target.path.string());
        return;
    }
    if (writeSettings(target.path.string())) markSettingsSaved();
    redrawAppTitle();
}

void CommonFrame::saveWaveform(const std::string& path) {
    const std::string answer =
        dialogs().question("Select file format.", "Special Save", {"ASCII", "Marrowind", "MAT"}, "ASCII");
    if (answer.empty() || answer == "Cancel") return;
    const AppState& s = appState();
    FileOutcome outcome;
    {
        const BusyPointer busy;
        if (answer == "Marrowind") {
            // Written under the name the user chose, not a fixed default
            // name that would silently replace another file.
            if (!SaveMarrowindWaveform(s.waveform, path))
                outcome = {false, "Error Saving " + path, "The waveform could not be written to " + path + "."};
        } else {
            outcome = bt::saveWaveform(path, answer == "MAT" ? WaveformLayout::Mat : WaveformLayout::Ascii, s.waveform,
                                       s.SigGenSettings.SamplingRate);
        }
    }
    if (!outcome) dialogs().error(outcome.message, outcome.title);
}

void CommonFrame::menuSpecialSaveWave_Callback() {
    if (!checkWaveformReady("Save")) return;
    const auto file = dialogs().saveFile("*.txt", "Save Wave");
    if (!file || file->empty()) return;
    const AppState& s = appState();
    FileOutcome outcome;
    {
        const BusyPointer busy;
        outcome = bt::saveWaveform(*file, WaveformLayout::SpecialSaveWave, s.waveform, s.SigGenSettings.SamplingRate);
    }
    if (!outcome) dialogs().error(outcome.message, outcome.title);
}

// ------------------------------------------------- baseband generator

void CommonFrame::menuConfigBBG1Opt1_Callback() {
    AppState& s = appState();
    switch (chooseBbgOption("001", s.parameters.ProjectedLength)) {
        case BbgSwitch::Keep:
            setBbgOption(s.configuration.BBGtype);  // undo the menu's own check mark
            return;
        case BbgSwitch::ResetThenSwitch:
            application_.call("InitializeParameters");
            application_.call("redraw");
            break;
        case BbgSwitch::Switch: break;
    }
    s.configuration.BBGtype = "001";
    setBbgOption("001");
    application_.call("redraw");
}

void CommonFrame::menuConfigBBG1Opt2_Callback() {
    AppState& s = appState();
    s.configuration.BBGtype = "002";
    setBbgOption("002");
    application_.call("redraw");
}

// ------------------------------------------------------------------ help

void CommonFrame::menuHelpHelp_Callback() { dialogs().message(kHelpText, kHelpTitle); }

void CommonFrame::menuHelpAbout_Callback() { Ux_About(appState().appInfo, main_); }

// -------------------------------------------------------- client windows

void CommonFrame::addClientWindow(QWidget* w) {
    if (!w) return;
    clients_.append(w);
    appState().appInfo.ClientWindows.push_back(reinterpret_cast<std::uintptr_t>(w));
}

QList<QWidget*> CommonFrame::clientWindows() const {
    QList<QWidget*> alive;
    for (const auto& w : clients_)
        if (w) alive.append(w);
    return alive;
}

void CommonFrame::showPlaceholder(const std::string& what) {
    dialogs().message(what + " is not available in this build yet.", "Not Available");
}

// --------------------------------------------------------------- shutdown

void CommonFrame::AppShutDown() {
    const bool closing = shutDown_;
    shutDownSteps();
    if (main_ && !closing) {
        main_->close();
        main_->deleteLater();
    }
}

void CommonFrame::shutDownSteps() {
    if (shutDown_) return;
    shutDown_ = true;
    AppState& s = appState();
    // Entries that are no longer windows are only removed.
    while (!s.appInfo.ClientWindows.empty()) {
        const std::uintptr_t id = s.appInfo.ClientWindows.front();
        s.appInfo.ClientWindows.erase(s.appInfo.ClientWindows.begin());
        for (qsizetype i = 0; i < clients_.size(); ++i) {
            if (reinterpret_cast<std::uintptr_t>(clients_[i].data()) != id) continue;
            if (QWidget* w = clients_[i]) {
                w->close();
                delete w;
            }
            clients_.removeAt(i);
            break;
        }
    }
    clients_.clear();
    stopRadio();
    saveConfig(s.configuration);  // a configuration that cannot be written is not worth stopping for
}

void CommonFrame::menuFileExit_Callback() { AppShutDown(); }

bool CommonFrame::eventFilter(QObject* watched, QEvent* event) {
    // Other windows (impairments, dirty transmitter) change the settings;
    // the line is brought up to date when the user comes back.
    if (watched == main_ && event->type() == QEvent::WindowActivate) redrawWaveformStatus();
    if (watched == main_ && event->type() == QEvent::Close && !shutDown_) {
        shutDownSteps();
        main_->deleteLater();
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace bt::gui
