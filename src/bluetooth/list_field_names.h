#pragma once
// The names of the list fields' codes, as people write them ("DH5",
// "stream", "PN9"): one rule for the command line, the settings read as
// JSON and the Python module.
#include <string>
#include <vector>

#include "bluetooth/settings.h"

namespace bt {

struct NamedCode {
    std::string name;
    int code;
};
// The names of a list field's codes for the settings in `p` (the packet
// types depend on the link); empty for a field that is not a list.
std::vector<NamedCode> namedCodes(const Parameters& p, const std::string& field);
// "packet (1), stream (2)".
std::string namedCodesText(const std::vector<NamedCode>& list);
// The code of a list field's value given by name (in any case, spaces and
// punctuation aside); numbers, and values of fields that are no list, pass
// unchanged. An unknown name throws bt::Error listing the names and codes.
std::string codeOfValue(const Parameters& p, const std::string& field, const std::string& value);

}  // namespace bt
