// btgen fields: every field the options edit, with its unit, range or list,
// default and meaning.
#include <algorithm>
#include <iostream>

#include "app/app_state.h"
#include "bluetooth/dirty_tx_edits.h"
#include "bluetooth/settings_editor.h"
#include "commands.h"
#include "field_info.h"
#include "lib/numtext.h"
#include "app/records_json.h"

namespace btgen {
namespace {

std::string defaultText(const FieldInfo& f) {
    const bt::AppState& s = bt::appState();
    const std::string record = f.record;
    const std::string name = f.name;
    if (record == "main" || record == "impairments") return bt::displayText(s.parameters, name);
    if (record == "instrument") {
        const bt::Json j = bt::toJson(s.SigGenSettings);
        if (name == "channel") return "0";
        if (name == "Title") return s.SigGenSettings.Title;
        return j.contains(name) ? bt::formatNumber(j[name].get<double>()) : "";
    }
    return "";
}

void setupFields(CLI::App& app) {
    auto* cmd = app.add_subcommand(
        "fields", "Print every field the options edit: its option, unit, range or list (names and codes), default "
                  "and meaning, for the main, impairment, dirty-transmitter and instrument records");
    static bool json = false;
    cmd->add_flag("--json", json, "Print the fields as JSON, for scripts");
    cmd->callback([] {
        const bt::Parameters& defaults = bt::appState().parameters;
        bt::Json all = bt::Json::array();
        for (const FieldInfo& f : fieldTable()) {
            std::vector<NamedCode> list = namedCodes(defaults, f.name);
            if (std::string(f.name) == "packetType") {
                // Every link's names: SCO's first, then what ACL and eSCO add.
                bt::Parameters link = defaults;
                link.linkType = 1;
                list = namedCodes(link, f.name);
                for (double other : {2.0, 3.0}) {
                    link.linkType = other;
                    for (const NamedCode& n : namedCodes(link, f.name))
                        if (std::none_of(list.begin(), list.end(),
                                         [&](const NamedCode& m) { return m.name == n.name; }))
                            list.push_back(n);
                }
            }
            if (std::string(f.name) == "dt.packetType") {
                list.clear();
                for (const bt::DtPacketType& t : bt::dtPacketTypes('c')) list.push_back({t.name, static_cast<int>(t.code)});
            }
            bt::Json e = {{"record", f.record}, {"option", f.option},   {"name", f.name},
                          {"unit", f.unit},     {"default", defaultText(f)}, {"description", f.description}};
            if (list.empty()) {
                e["range"] = f.range;
            } else {
                bt::Json values = bt::Json::array();
                for (const NamedCode& n : list) values.push_back({{"name", n.name}, {"code", n.code}});
                e["values"] = values;
            }
            all.push_back(e);
        }
        if (json) {
            std::cout << all.dump(2) << '\n';
            return;
        }
        std::string record;
        for (const bt::Json& e : all) {
            if (e["record"] != record) {
                record = e["record"];
                std::cout << (record.empty() ? "" : "\n") << record << " (" << e["option"].get<std::string>()
                          << " FIELD=VALUE):\n";
            }
            std::cout << "  " << e["name"].get<std::string>();
            if (!e["unit"].get<std::string>().empty()) std::cout << " [" << e["unit"].get<std::string>() << "]";
            std::cout << ": ";
            if (e.contains("values")) {
                std::string text;
                for (const bt::Json& v : e["values"])
                    text += (text.empty() ? "" : ", ") + v["name"].get<std::string>() + " (" +
                            std::to_string(v["code"].get<int>()) + ")";
                std::cout << text;
            } else {
                std::cout << e["range"].get<std::string>();
            }
            if (!e["default"].get<std::string>().empty())
                std::cout << "; default " << e["default"].get<std::string>();
            std::cout << "; " << e["description"].get<std::string>() << '\n';
        }
    });
}

const RegisterCommand fieldsCommand(setupFields);

}  // namespace
}  // namespace btgen
