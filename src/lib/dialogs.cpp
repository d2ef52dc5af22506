#include "lib/dialogs.h"

namespace bt {

std::string PresetDialogs::question(const std::string& text, const std::string& title,
                                    const std::vector<std::string>& /*buttons*/, const std::string& defaultButton) {
    shown_.push_back({"question", title, text});
    if (!answers_.empty()) {
        std::string a = answers_.front();
        answers_.erase(answers_.begin());
        return a.empty() ? defaultButton : a;
    }
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

std::optional<std::string> Dialogs::saveFile(const std::string& /*filter*/, const std::string& /*title*/,
                                             const std::string& /*defaultName*/) {
    return std::nullopt;
}

std::optional<std::vector<std::string>> Dialogs::input(const std::vector<std::string>& /*prompts*/,
                                                       const std::string& /*title*/,
                                                       const std::vector<std::string>& defaults) {
    return defaults;
}

std::optional<std::string> PresetDialogs::saveFile(const std::string& filter, const std::string& title,
                                                   const std::string& /*defaultName*/) {
    shown_.push_back({"save file", title, filter});
    return file_;
}

std::optional<std::vector<std::string>> PresetDialogs::input(const std::vector<std::string>& prompts,
                                                             const std::string& title,
                                                             const std::vector<std::string>& defaults) {
    std::string text;
    for (const std::string& p : prompts) text += (text.empty() ? "" : "\n") + p;
    shown_.push_back({"input", title, text});
    if (inputs_.empty()) return defaults;
    auto next = inputs_.front();
    inputs_.erase(inputs_.begin());
    return next;
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
