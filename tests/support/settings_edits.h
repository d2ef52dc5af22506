#pragma once
// Settings for a test, made the way a user makes them: field by field
// through the settings editor, every edit taken as typed.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "bluetooth/settings_editor.h"

namespace bttest {

using Edits = std::vector<std::pair<std::string, std::string>>;

inline bt::Parameters settingsWith(const Edits& edits) {
    bt::Parameters p;
    for (const auto& [field, value] : edits) {
        bt::EditResult r = bt::editField(p, field, value, bt::EditContext{});
        EXPECT_FALSE(r.refused()) << field << "=" << value;
        EXPECT_TRUE(r.ignored.empty()) << field << "=" << value;
        p = std::move(r.parameters);
    }
    return p;
}

}  // namespace bttest
