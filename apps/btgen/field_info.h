#pragma once
// What each field of the options means: record, option, unit, range.
#include <vector>

namespace btgen {

struct FieldInfo {
    const char* record;  // main, impairments, dirty-transmitter, instrument
    const char* option;  // how it is edited
    const char* name;
    const char* unit;
    const char* range;  // empty for a list field (its names and codes are listed)
    const char* description;
};

// Every field the options edit, in the order `btgen fields` lists them.
const std::vector<FieldInfo>& fieldTable();

}  // namespace btgen
