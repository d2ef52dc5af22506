#include "instrument/gui/connection_dialog.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QEvent>
#include <QEventLoop>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <exception>
#include <functional>
#include <future>

#include "instrument/hw_wrappers.h"
#include "instrument/serial_transport.h"
#include "windowkit/gui/dialog_figure.h"
#include "lib/numtext.h"
#include "windowkit/gui/field_edit.h"

namespace bt::gui {

namespace {

void fill(QComboBox* list, const std::vector<std::string>& items) {
    const QSignalBlocker block(list);
    list->clear();
    for (const std::string& t : items) list->addItem(QString::fromStdString(t));
}

std::vector<std::string> numbers(int from, int count) {
    std::vector<std::string> out;
    for (int k = 0; k < count; ++k) out.push_back(std::to_string(from + k));
    return out;
}

int itemOf(const Handles& h, const char* tag) { return h.get<QComboBox>(tag)->currentIndex() + 1; }

void select(const Handles& h, const char* tag, int item) {
    auto* list = h.get<QComboBox>(tag);
    const QSignalBlocker block(list);
    list->setCurrentIndex(item - 1);
}

}  // namespace

ConnectionDialog::ConnectionDialog(QWidget* parent) : QObject(parent) {
    window_ = loadDialogFigure("Ux_SigGen.fig", parent);
    setWindowOwner(window_, this);
    handles_ = Handles(window_);
    defaultTitle_ = window_->windowTitle();
    window_->installEventFilter(this);
    resizeAllFonts(handles_, window_->logicalDpiY());
    handles_.get<QWidget>("pmPrimaryAddress")->setToolTip(connection_tips::kPrimaryAddress);
    handles_.get<QWidget>("pmBaudRate")->setToolTip(connection_tips::kBaudRate);
    handles_.get<QWidget>("pmSdrDevice")->setToolTip(connection_tips::kSdrDevice);
    handles_.get<QWidget>("editSdrGain")->setToolTip(connection_tips::kSdrGain);
    handles_.get<QWidget>("pmSdrAntenna")->setToolTip(connection_tips::kSdrAntenna);
    // The pacing hint lines its values up with blanks.
    handles_.get<QWidget>("lblStatus")->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    addRoutines();
    connectControls();
}

ConnectionDialog::~ConnectionDialog() { delete window_.data(); }

ConnectionDialog* ConnectionDialog::of(QWidget* window) {
    return qobject_cast<ConnectionDialog*>(windowOwner(window));
}

QVariant ConnectionDialog::Ux_SigGen(const std::string& action, const QVariantList& args) {
    return dispatcher_.call(action, args);
}

void ConnectionDialog::addRoutines() {
    const auto add = [this](const std::string& name, std::function<void()> fn) { dispatcher_.add(name, std::move(fn)); };
    add("pmConnection_Callback", [this] { pmConnection_Callback(); });
    add("pmHandShake_Callback", [this] { pmHandShake_Callback(); });
    add("editTCPIPAddress_Callback", [this] { editTCPIPAddress_Callback(); });
    add("pbCheckHardware_Callback", [this] { pbCheckHardware_Callback(); });
    add("pmSdrDevice_Callback", [this] { pmSdrDevice_Callback(); });
    add("editSdrGain_Callback", [this] { editSdrGain_Callback(); });
    add("pbOK_Callback", [this] { release("OK"); });
    add("pbCancel_Callback", [this] { release("Cancel"); });
    add("close_Callback", [this] { response_ = "Cancel"; });
}

void ConnectionDialog::connectControls() {
    const auto call = [this](std::string routine) { return [this, routine] { Ux_SigGen(routine); }; };
    connect(handles_.get<QComboBox>("pmConnection"), &QComboBox::activated, this, call("pmConnection_Callback"));
    connect(handles_.get<QComboBox>("pmHandShake"), &QComboBox::activated, this, call("pmHandShake_Callback"));
    onFieldEdited(handles_.get<QLineEdit>("editTCPIPAddress"), this, call("editTCPIPAddress_Callback"));
    connect(handles_.get<QComboBox>("pmSdrDevice"), &QComboBox::activated, this, call("pmSdrDevice_Callback"));
    onFieldEdited(handles_.get<QComboBox>("pmSdrDevice")->lineEdit(), this, call("pmSdrDevice_Callback"));
    onFieldEdited(handles_.get<QLineEdit>("editSdrGain"), this, call("editSdrGain_Callback"));
    connect(handles_.get<QAbstractButton>("pbCheckHardware"), &QAbstractButton::clicked, this,
            call("pbCheckHardware_Callback"));
    connect(handles_.get<QAbstractButton>("pbOK"), &QAbstractButton::clicked, this, call("pbOK_Callback"));
    connect(handles_.get<QAbstractButton>("pbCancel"), &QAbstractButton::clicked, this, call("pbCancel_Callback"));
    connect(window_, &QDialog::rejected, this, call("close_Callback"));
}

void ConnectionDialog::fillLists() {
    fill(handles_.get<QComboBox>("pmConnection"), connectionChoices());
    // Kinds the instrument lacks are greyed, with the reason as their hint.
    if (auto* m = qobject_cast<QStandardItemModel*>(handles_.get<QComboBox>("pmConnection")->model()))
        for (int k = 0; k < m->rowCount(); ++k) {
            std::string why = connectionRefusal(model_, k + 1);
            if (k + 1 == kConnectionSdr && !radios_.devices) why = "This window cannot reach software-defined radios.";
            m->item(k)->setEnabled(why.empty());
            m->item(k)->setToolTip(QString::fromStdString(why));
        }
    fill(handles_.get<QComboBox>("pmGpibBoard"), numbers(0, kGpibBoards));
    fill(handles_.get<QComboBox>("pmPrimaryAddress"), numbers(0, kPrimaryAddresses));
    std::vector<std::string> secondary = numbers(0, kSecondaryAddresses - 1);
    secondary.insert(secondary.begin(), "None");
    fill(handles_.get<QComboBox>("pmSecondaryAddress"), secondary);
    serialPorts_ = serialPortList(listSerialDevices(), opened_.RS232.device);
    fill(handles_.get<QComboBox>("pmPortNumber"), serialPorts_.labels);
    fill(handles_.get<QComboBox>("pmBaudRate"), baudRateChoices());
    fill(handles_.get<QComboBox>("pmHandShake"), handshakeChoices());
    sdrListed_ = false;
    sdrDevices_ = {};
    fill(handles_.get<QComboBox>("pmSdrDevice"), {});
    fill(handles_.get<QComboBox>("pmSdrAntenna"), {});
}

void ConnectionDialog::fillSdrDevices() {
    if (sdrListed_ || !radios_.devices) return;
    sdrListed_ = true;
    {
        const BusyPointer busy;
        sdrDevices_ = radios_.devices(opened_.SDR);
    }
    fill(handles_.get<QComboBox>("pmSdrDevice"), sdrDevices_.labels);
    const int item = sdrDeviceItem(sdrDevices_, opened_.SDR.args);
    select(handles_, "pmSdrDevice", item != 0 ? item : 1);
    if (sdrDevices_.labels.empty()) handles_.get<QComboBox>("pmSdrDevice")->setEditText({});
    fillSdrAntennas(chosenSdrArgs(), opened_.SDR.antenna);
}

void ConnectionDialog::fillSdrAntennas(const std::string& args, const std::string& antenna) {
    std::vector<std::string> found;
    if (!args.empty() && radios_.antennas) {
        const BusyPointer busy;
        found = radios_.antennas(args);
    }
    sdrAntennas_ = sdrAntennaList(found, antenna);
    fill(handles_.get<QComboBox>("pmSdrAntenna"), sdrAntennas_.labels);
    const auto it = std::find(sdrAntennas_.values.begin(), sdrAntennas_.values.end(), antenna);
    select(handles_, "pmSdrAntenna", it == sdrAntennas_.values.end() ? 1 : int(it - sdrAntennas_.values.begin()) + 1);
}

std::string ConnectionDialog::chosenSdrArgs() const {
    if (!sdrListed_) return opened_.SDR.args;
    return sdrArgsOfText(sdrDevices_, handles_.get<QComboBox>("pmSdrDevice")->currentText().toStdString());
}

ConnectionAnswer ConnectionDialog::open(const ConnectionInput& config, const std::string& platform) {
    model_ = connectionModel(platform);
    opened_ = openConnectionRecord(config, model_);
    if (!window_) return {"Cancel", opened_};
    const std::string title = connectionWindowTitle(platform);
    window_->setWindowTitle(title.empty() ? defaultTitle_ : QString::fromStdString(title));
    fillLists();
    setStatus("");
    redraw(opened_);
    response_ = "Cancel";
    const QPointer<QDialog> dialog = window_;
    dialog->exec();
    if (!dialog) return {"Cancel", opened_};
    dialog->hide();
    if (response_ != "OK") return {"Cancel", opened_};
    return {"OK", configFromControls()};
}

Configuration ConnectionDialog::configFromControls() const {
    ConnectionControls k;
    k.connection = itemOf(handles_, "pmConnection");
    k.gpibBoard = itemOf(handles_, "pmGpibBoard");
    k.primary = itemOf(handles_, "pmPrimaryAddress");
    k.secondary = itemOf(handles_, "pmSecondaryAddress");
    k.port = opened_.RS232.port;
    k.device = opened_.RS232.device;
    chooseSerialPortItem(serialPorts_, itemOf(handles_, "pmPortNumber"), k);
    k.baudRate = itemOf(handles_, "pmBaudRate");
    k.handshake = itemOf(handles_, "pmHandShake");
    k.address = handles_.get<QLineEdit>("editTCPIPAddress")->text().trimmed().toStdString();
    k.sdrArgs = chosenSdrArgs();
    k.sdrGain = handles_.get<QLineEdit>("editSdrGain")->text().trimmed().toStdString();
    k.sdrAntenna = opened_.SDR.antenna;
    if (sdrListed_) {
        const int item = itemOf(handles_, "pmSdrAntenna");
        if (item >= 1 && item <= int(sdrAntennas_.values.size())) k.sdrAntenna = sdrAntennas_.values[std::size_t(item) - 1];
    }
    Configuration base = opened_;
    base.SDR.gain = sdrGain_;
    return connectionFromControls(k, base);
}

void ConnectionDialog::redraw(const Configuration& c) {
    const ConnectionControls k = connectionControlsOf(c);
    select(handles_, "pmConnection", k.connection);
    select(handles_, "pmGpibBoard", k.gpibBoard);
    select(handles_, "pmPrimaryAddress", k.primary);
    select(handles_, "pmSecondaryAddress", k.secondary);
    select(handles_, "pmPortNumber", serialPortItem(serialPorts_, k));
    select(handles_, "pmBaudRate", k.baudRate);
    select(handles_, "pmHandShake", k.handshake);
    handles_.get<QLineEdit>("editTCPIPAddress")->setText(QString::fromStdString(k.address));
    sdrGain_ = c.SDR.gain;
    handles_.get<QLineEdit>("editSdrGain")->setText(QString::fromStdString(k.sdrGain));
    pmHandShake_Callback();
    showChosenGroup();
}

void ConnectionDialog::showChosenGroup() {
    const int item = itemOf(handles_, "pmConnection");
    handles_.get<QWidget>("configRS232")->setVisible(item == 1);
    handles_.get<QWidget>("configGPIB")->setVisible(item == 2);
    handles_.get<QWidget>("configTCPIP")->setVisible(item == 3);
    handles_.get<QWidget>("configSDR")->setVisible(item == kConnectionSdr);
    if (item == 1) setStatus(rs232PacingHint(itemOf(handles_, "pmHandShake")));
    if (item == kConnectionSdr) {
        fillSdrDevices();
        setStatus(sdrDevices_.problem);
    }
    window_->adjustSize();
}

void ConnectionDialog::pmConnection_Callback() {
    const int chosen = itemOf(handles_, "pmConnection");
    const int kept = chooseConnection(model_, chosen);
    select(handles_, "pmConnection", kept);
    setStatus(connectionRefusal(model_, chosen));
    showChosenGroup();
}

void ConnectionDialog::pmHandShake_Callback() {
    const std::string hint = rs232PacingHint(itemOf(handles_, "pmHandShake"));
    handles_.get<QWidget>("pmHandShake")->setToolTip(QString::fromStdString(hint));
    handles_.get<QWidget>("lblHandShake")->setToolTip(QString::fromStdString(hint));
    if (itemOf(handles_, "pmConnection") == 1) setStatus(hint);
}

void ConnectionDialog::editTCPIPAddress_Callback() {
    setStatus(lanAddressProblem(handles_.get<QLineEdit>("editTCPIPAddress")->text().trimmed().toStdString()));
}

void ConnectionDialog::pmSdrDevice_Callback() {
    // Another radio names its ports its own way: its default port first.
    fillSdrAntennas(chosenSdrArgs(), "");
    setStatus("");
}

void ConnectionDialog::editSdrGain_Callback() {
    sdrGain_ = configFromControls().SDR.gain;
    handles_.get<QLineEdit>("editSdrGain")->setText(QString::fromStdString(formatNumber(sdrGain_)));
}

void ConnectionDialog::pbCheckHardware_Callback() {
    if (checking_) return;
    checking_ = true;
    setStatus(connection_tips::kChecking);
    const char* buttons[] = {"pbCheckHardware", "pbOK", "pbCancel"};
    for (const char* tag : buttons) handles_.get<QWidget>(tag)->setEnabled(false);
    std::string text;
    bool failed = true;
    {
        const BusyPointer busy;
        const Configuration config = configFromControls();
        // The check may wait seconds for a silent instrument: it runs beside
        // the window, which keeps repainting while the dialog stays modal.
        const auto checkRadio = radios_.check;
        std::future<HwResult> result = std::async(std::launch::async, [config, checkRadio] {
            if (!isRadioConnection(config)) return VerifyComm(config);
            if (!checkRadio) return HwResult{io_status::kArgument, "This window cannot reach software-defined radios."};
            return checkRadio(config.SDR);
        });
        QEventLoop loop;
        QTimer poll;
        connect(&poll, &QTimer::timeout, &loop, [&] {
            if (result.wait_for(std::chrono::seconds(0)) == std::future_status::ready) loop.quit();
        });
        poll.start(10);
        loop.exec();
        try {
            const HwResult r = result.get();
            text = r.response;
            failed = !r.ok();
        } catch (const std::exception& e) {
            text = e.what();
        }
    }
    for (const char* tag : buttons) handles_.get<QWidget>(tag)->setEnabled(true);
    checking_ = false;
    setStatus(text, failed);
}

void ConnectionDialog::release(const char* response) {
    if (checking_) return;
    if (std::string(response) == "OK")
        if (const std::string why = sdrConnectionProblem(configFromControls()); !why.empty()) {
            setStatus(why, true);
            return;
        }
    response_ = response;
    if (response_ == "OK") window_->accept();
    else window_->reject();
}

void ConnectionDialog::setStatus(const std::string& text, bool failed) {
    auto* status = handles_.get<QLabel>("lblStatus");
    status->setText(QString::fromStdString(text));
    status->setStyleSheet(failed ? "color: #b00000;" : "");
}

bool ConnectionDialog::eventFilter(QObject* watched, QEvent* event) {
    // While a check runs the dialog cannot be closed: its answer would come
    // back into a window that has already given one.
    if (watched == window_ && checking_) {
        if (event->type() == QEvent::Close) {
            event->ignore();
            return true;
        }
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) return true;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace bt::gui
