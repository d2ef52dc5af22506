#include "bluetooth/list_field_names.h"

#include <cctype>

#include "bluetooth/settings_editor.h"
#include "lib/errors.h"
#include "lib/numtext.h"

namespace bt {

namespace {

// Letters and digits only, in lower case: "8 Bit Pattern", "8bitpattern"
// and "8-BIT-PATTERN" are one name.
std::string nameKey(const std::string& text) {
    std::string key;
    for (unsigned char c : text)
        if (std::isalnum(c)) key.push_back(static_cast<char>(std::tolower(c)));
    return key;
}

}  // namespace

std::vector<NamedCode> namedCodes(const Parameters& p, const std::string& field) {
    if (field == "generationMode") return {{"packet", 1}, {"stream", 2}};
    if (field == "linkType") return {{"SCO", 1}, {"ACL", 2}, {"eSCO", 3}};
    if (field == "multiPacket") return {{"single", 0}, {"multi", 1}};
    if (field == "impairments.FreqDriftType") return {{"linear", 1}, {"sinusoidal", 2}};
    if (field == "payloadType") {
        std::vector<NamedCode> list;
        int item = 1;
        for (const std::string& label : payloadLabels(true)) list.push_back({label, item++});
        return list;
    }
    if (field == "packetType") {
        // "F: DH5" is code 15, named DH5; the items that cannot be chosen
        // have no name.
        std::vector<NamedCode> list;
        int code = -1;
        for (const std::string& label : packetTypeLabels(p.linkType)) {
            const std::string name = label.substr(label.find(": ") + 2);
            if (name != "Undefined" && name != "Unsupported") list.push_back({name, code});
            ++code;
        }
        return list;
    }
    return {};
}

std::string namedCodesText(const std::vector<NamedCode>& list) {
    std::string text;
    for (const NamedCode& n : list) text += (text.empty() ? "" : ", ") + n.name + " (" + std::to_string(n.code) + ")";
    return text;
}

std::string codeOfValue(const Parameters& p, const std::string& field, const std::string& value) {
    const std::vector<NamedCode> list = namedCodes(p, field);
    if (list.empty() || parseNumber(value)) return value;
    const std::string key = nameKey(value);
    for (const NamedCode& n : list)
        if (!key.empty() && nameKey(n.name) == key) return std::to_string(n.code);
    throw Error("Value \"" + value + "\" of " + field + " is none of its names or codes: " + namedCodesText(list) +
                ".");
}

}  // namespace bt
