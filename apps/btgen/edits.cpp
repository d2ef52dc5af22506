#include <ostream>

#include "commands.h"
#include "dt_edits.h"
#include "lib/errors.h"

namespace btgen {

namespace {

void printIndented(std::ostream& out, const std::string& text, const char* indent) {
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = text.find('\n', start);
        out << indent << text.substr(start, end == std::string::npos ? std::string::npos : end - start) << '\n';
        if (end == std::string::npos) break;
        start = end + 1;
    }
}

}  // namespace

void PlatformOptions::add(CLI::App& cmd) {
    cmd.add_option("--platform", platform, "Instrument generation: c (IXO-C) or b (IXO-B)")
        ->check(CLI::IsMember({"b", "c"}))
        ->capture_default_str();
    cmd.add_option("--bbg", bbg, "Baseband generator option of an IXO-C: 001 or 002")
        ->check(CLI::IsMember({"001", "002"}))
        ->capture_default_str();
}

void applyEdits(bt::Parameters& p, const std::vector<std::string>& edits, const bt::EditContext& ctx,
                std::ostream& out, bool stopOnRefusal, bool keepGoing, const bt::Bits* userFileBits,
                bt::SigGenSettings* sigGen) {
    for (const std::string& edit : edits) {
        if (isDtEdit(edit)) {
            bt::DirtyTxState s;
            bt::loadDtState(s, p);
            applyDtEdit(s, edit, out, keepGoing, ctx.platform);
            bt::saveDtState(s, p);
            continue;
        }
        const auto eq = edit.find('=');
        if (eq == std::string::npos || eq == 0)
            fail(kExitBadInput, "--set takes FIELD=VALUE, not \"" + edit + "\"");
        const std::string field = edit.substr(0, eq);
        const std::string value = edit.substr(eq + 1);
        bt::EditResult r;
        try {
            r = bt::editField(p, field, value, ctx, userFileBits);
        } catch (const bt::Error& e) {
            fail(kExitBadInput, e.what());
        }
        if (r.unreadable) fail(kExitBadInput, "Value \"" + value + "\" of " + field + " is not a number.");
        out << "set " << field << '=' << value << '\n';
        if (!r.ignored.empty()) {
            out.flush();
            if (!keepGoing) fail(kExitBadInput, edit + " was ignored: " + r.ignored + " (--keep-going goes on without it)");
            out << "  ignored: " << r.ignored << '\n';
        }
        if (r.check.result != bt::SizeCheck::Result::Accepted) {
            out << "  " << (r.refused() ? "refused: " : "warning: ") << r.check.title << '\n';
            printIndented(out, r.check.message, "    ");
        }
        for (const auto& [name, text] : r.shown) out << "  " << name << ": \"" << text << "\"\n";
        if (r.refused() && stopOnRefusal) {
            out.flush();
            fail(kExitBadInput, r.check.title + ": " + r.check.message);
        }
        if (sigGen && r.samplingRate && !r.refused()) sigGen->SamplingRate = *r.samplingRate;
        p = std::move(r.parameters);
    }
}

}  // namespace btgen
