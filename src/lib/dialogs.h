#pragma once
// The modal dialogs that routines outside the windows need (a question
// before a long transfer, a message, an error). The windows install an
// implementation that shows real dialogs; the command line and the tests use
// the preset one, which answers without asking anybody.
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace bt {

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // Asks `text` under `title` with the given buttons and waits. Returns the
    // text of the button chosen, or "" when the dialog was closed.
    virtual std::string question(const std::string& text, const std::string& title,
                                 const std::vector<std::string>& buttons, const std::string& defaultButton) = 0;
    // Shows an information or an error text and waits until it is closed.
    virtual void message(const std::string& text, const std::string& title) = 0;
    virtual void error(const std::string& text, const std::string& title) = 0;
    // Asks for a file to open, offering those that match `filter` ("*.*"),
    // under `title`, and waits. Returns the chosen path, or nothing when
    // the dialog was cancelled. Services without one answer with nothing.
    virtual std::optional<std::string> openFile(const std::string& filter, const std::string& title);
    // Asks for a file to write, proposing `defaultName`; nothing when cancelled.
    virtual std::optional<std::string> saveFile(const std::string& filter, const std::string& title,
                                                const std::string& defaultName = {});
    // Asks for one text per prompt, each field starting at its default.
    // Returns the texts, or nothing when the dialog was cancelled.
    virtual std::optional<std::vector<std::string>> input(const std::vector<std::string>& prompts,
                                                          const std::string& title,
                                                          const std::vector<std::string>& defaults);
};

// Answers every question with a preset button text ("" answers with the
// question's default button) and keeps everything it was shown, so callers
// can report or check it.
class PresetDialogs : public Dialogs {
public:
    struct Shown {
        std::string kind;  // "question", "message", "error", "open file", "save file" (text: the
                           // filter) or "input" (text: the prompts, one per line)
        std::string title;
        std::string text;
    };

    // `answer` answers the questions; `file`, when given, is the file every
    // open-file dialog picks (none: they are cancelled).
    explicit PresetDialogs(std::string answer = {}, std::optional<std::string> file = {})
        : answer_(std::move(answer)), file_(std::move(file)) {}

    std::string question(const std::string& text, const std::string& title, const std::vector<std::string>& buttons,
                         const std::string& defaultButton) override;
    void message(const std::string& text, const std::string& title) override;
    void error(const std::string& text, const std::string& title) override;
    std::optional<std::string> openFile(const std::string& filter, const std::string& title) override;
    std::optional<std::string> saveFile(const std::string& filter, const std::string& title,
                                        const std::string& defaultName = {}) override;
    // Answers with the texts set by setInputs (the defaults when none are set).
    std::optional<std::vector<std::string>> input(const std::vector<std::string>& prompts, const std::string& title,
                                                  const std::vector<std::string>& defaults) override;

    // Later answers: each question takes the next of `answers` (then the
    // constructor's answer); each input dialog the next of `inputs`
    // (nothing in place of a row: cancelled); file dialogs pick `file`.
    void queueAnswers(std::vector<std::string> answers) { answers_ = std::move(answers); }
    void setInputs(std::vector<std::optional<std::vector<std::string>>> inputs) { inputs_ = std::move(inputs); }
    void setFile(std::optional<std::string> file) { file_ = std::move(file); }

    const std::vector<Shown>& shown() const { return shown_; }

private:
    std::string answer_;
    std::optional<std::string> file_;
    std::vector<std::string> answers_;
    std::vector<std::optional<std::vector<std::string>>> inputs_;
    std::vector<Shown> shown_;
};

// The process-wide dialog service; a PresetDialogs answering with the default
// button until another is installed.
Dialogs& dialogs();
// Installs `d` (nullptr restores the default) and returns the previous one.
std::shared_ptr<Dialogs> setDialogs(std::shared_ptr<Dialogs> d);

}  // namespace bt
