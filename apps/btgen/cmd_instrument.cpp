// btgen idn / send / query / status / refresh / download: the instrument
// commands.
#include <cmath>
#include <filesystem>
#include <iostream>
#include <utility>

#include "commands.h"
#include "connection_options.h"
#include "bluetooth/settings_validate.h"
#include "instrument/download_play.h"
#include "instrument/hw_wrappers.h"
#include "lib/dialogs.h"
#include "app/app_state.h"
#include "app/settings_files.h"
#include "lib/numtext.h"

namespace btgen {
namespace {

// A reply that is text an instrument would send: printable, no control
// characters.
bool printable(const std::string& reply) {
    for (unsigned char c : reply)
        if (c < 0x20 || c == 0x7F) return false;
    return true;
}

// A reply that does not read as the query's answer stops with the
// instrument's exit status, quoting it.
[[noreturn]] void nonsense(const char* query, const std::string& reply) {
    std::string shown;
    for (unsigned char c : reply.substr(0, 80)) {
        if (c >= 0x20 && c != 0x7F) {
            shown += static_cast<char>(c);
        } else {
            static constexpr char hex[] = "0123456789ABCDEF";
            shown += std::string("\\x") + hex[c >> 4] + hex[c & 15];
        }
    }
    fail(kExitInstrument, std::string("The instrument's reply to ") + query + " makes no sense: \"" + shown + "\"");
}

// Prints the reply or description and stops with status 1 on failure.
void finish(const bt::HwResult& r, const std::string& success = {}) {
    if (!r.ok()) fail(kExitInstrument, r.response + " (status " + std::to_string(r.status) + ")");
    if (!success.empty()) std::cout << success << '\n';
}

// The waveform `btgen download` sends: the settings' signal.
bt::GeneratedSignal downloadWaveform(const bt::Parameters& p) { return generateWithProgress(p); }

struct Options {
    ConnectionOptions connection;
    GenerationOptions generation;
    std::string line;
    bool yes = false;
};

Options& options() {
    static Options o;
    return o;
}

void setupInstrument(CLI::App& app) {
    Options& o = options();

    auto* idn = app.add_subcommand("idn", "Print the instrument's identification and generation letter");
    o.connection.add(*idn);
    idn->callback([] {
        const bt::Configuration c = options().connection.config();
        const bt::HwResult r = bt::HwQuery(c, "*IDN?");
        std::error_code ec;
        if (!r.ok() && !options().connection.given() && !std::filesystem::exists(bt::kConfigFileName, ec))
            fail(kExitInstrument, r.response + " (status " + std::to_string(r.status) + "; tried " +
                                      ConnectionOptions::describe(c) +
                                      ", the default connection: give --tcpip HOST[:PORT], --gpib ADDRESS or "
                                      "--serial N, or keep one in " + bt::kConfigFileName +
                                      " of the working folder, as the desktop application does)");
        finish(r);
        if (!printable(r.response)) nonsense("*IDN?", r.response);
        const bt::InstrModel m = bt::GetInstrModel(c);
        if (m.status != 0) fail(kExitInstrument, m.desp + " (status " + std::to_string(m.status) + ")");
        std::cout << r.response << '\n' << "generation: " << m.model << '\n';
    });

    auto* send = app.add_subcommand("send", "Send one SCPI command line and check the instrument took it");
    o.connection.add(*send);
    send->add_option("command", o.line, "The SCPI command")->required();
    send->callback([] { finish(bt::HwSend(options().connection.config(), options().line)); });

    auto* query = app.add_subcommand("query", "Send one SCPI query and print the reply");
    o.connection.add(*query);
    query->add_option("query", o.line, "The SCPI query")->required();
    query->callback([] {
        const bt::HwResult r = bt::HwQuery(options().connection.config(), options().line);
        finish(r, r.response);
    });

    auto* status = app.add_subcommand("status", "Print what the instrument holds and plays");
    o.connection.add(*status);
    status->callback([] {
        const bt::Configuration c = options().connection.config();
        const auto ask = [&](const char* q) {
            const bt::HwResult r = bt::HwQuery(c, q);
            finish(r);
            if (!printable(r.response)) nonsense(q, r.response);
            return r.response;
        };
        const auto number = [&](const char* q) {
            const std::string reply = ask(q);
            const auto v = bt::parseNumber(reply);
            if (!v || !std::isfinite(*v)) nonsense(q, reply);
            return reply;
        };
        const auto state = [&](const char* q) {
            const std::string reply = ask(q);
            if (reply != "0" && reply != "1") nonsense(q, reply);
            return reply == "1" ? "on" : "off";
        };
        // Everything is asked first, so nothing is printed from an
        // instrument whose replies make no sense.
        const std::string selected = ask(":SOUR:RAD:ARB:WAV?");
        if (selected.size() < 2 || selected.front() != '"' || selected.back() != '"')
            nonsense(":SOUR:RAD:ARB:WAV?", selected);
        // Catalog entries read "NAME,WFM1,BYTES"; four bytes per sample.
        const std::string catalog = ask(":MEM:CAT?");
        const std::string bare = selected.size() > 7 ? selected.substr(6, selected.size() - 7) : std::string();
        const auto at = catalog.find("\"" + bare + ",");
        std::string samples;
        if (!bare.empty() && at != std::string::npos) {
            const auto sizeAt = catalog.find(',', catalog.find(',', at) + 1) + 1;
            const auto bytes = bt::parseNumber(catalog.substr(sizeAt, catalog.find('"', sizeAt) - sizeAt));
            if (bytes) samples = " (" + bt::formatNumber(*bytes / 4) + " samples)";
        }
        const std::string player = state(":SOUR:RAD:ARB:STAT?");
        const std::string output = state(":OUTP?");
        const std::string frequency = number(":FREQ?");
        const std::string power = number(":POW?");
        const std::string clock = number(":SOUR:RAD:ARB:CLOC:SRAT?");
        std::cout << "waveform: " << selected << samples << '\n';
        std::cout << "player: " << player << '\n';
        std::cout << "RF output: " << output << '\n';
        std::cout << "frequency: " << frequency << " Hz\n";
        std::cout << "power: " << power << " dBm\n";
        std::cout << "sample clock: " << clock << " Hz\n";
    });

    auto* refresh = app.add_subcommand(
        "refresh", "Send the instrument settings download would send for the same options, and start playback");
    o.connection.add(*refresh);
    o.generation.add(*refresh);
    refresh->callback([] {
        // The same settings as download, so that the sample clock and the
        // carrier stay those of the waveform being played.
        const Options& opt = options();
        const auto [p, s] = opt.generation.resolve(std::cerr);
        finish(bt::refreshSettings(s, opt.connection.config(), opt.generation.platform.platform.at(0)),
               "Settings sent; \"" + s.Title + "\" is playing.");
    });

    auto* download = app.add_subcommand("download", "Generate the waveform, download it and start playback");
    o.connection.add(*download);
    o.generation.add(*download);
    download->add_flag("--yes", o.yes, "Answer OK when asked to confirm a long RS-232 transfer");
    download->callback([] {
        Options& opt = options();
        const auto [p, s] = opt.generation.resolve(std::cerr);
        const bt::Configuration config = opt.connection.config();
        ConnectionOptions::checkGeneration(config, opt.generation.platform.platform.at(0));
        const bt::GeneratedSignal signal = downloadWaveform(p);
        const bt::ComplexRow& waveform = signal.waveform;
        auto dialogs = std::make_shared<bt::PresetDialogs>(opt.yes ? "OK" : "");
        bt::setDialogs(dialogs);
        const bt::HwResult r = bt::downloadAndPlay(waveform, signal.markers, s, config,
                                                   opt.generation.platform.platform.at(0));
        for (const auto& shown : dialogs->shown()) std::cerr << shown.title << ": " << shown.text << '\n';
        finish(r, "Downloaded " + std::to_string(waveform.size()) + " samples as \"" + s.Title + "\"; playing.");
    });
}

const RegisterCommand instrumentCommands(setupInstrument);

}  // namespace
}  // namespace btgen
