#include "lib/dialogs.h"

namespace bt {

std::string PresetDialogs::question(const std::string& text, const std::string& title,
                                    const std::vector<std::string>& /*buttons*/, const std::string& defaultButton) {
    shown_.push_back({"question", title, text});
    return answer_.empty() ? defaultButton : answer_;
}

void PresetDialogs::message(const std::string& text, const std::string& title) {
    shown_.push_back({"message", title, text});
}

void PresetDialogs::error(const std::string& text, const std::string& title) {
    shown_.push_back({"error", title, text});
}

std::optional<std::string> Dialogs::openFile(const std::string& /*filter*/, const std::string& /*title*/) {
    return std::nullopt;
}

std::optional<std::string> PresetDialogs::openFile(const std::string& filter, const std::string& title) {
    shown_.push_back({"open file", title, filter});
    return file_;
}

namespace {
std::shared_ptr<Dialogs>& slot() {
    static std::shared_ptr<Dialogs> service = std::make_shared<PresetDialogs>();
    return service;
}
}  // namespace

Dialogs& dialogs() { return *slot(); }

std::shared_ptr<Dialogs> setDialogs(std::shared_ptr<Dialogs> d) {
    auto previous = slot();
    slot() = d ? std::move(d) : std::make_shared<PresetDialogs>();
    return previous;
}

}  // namespace bt
