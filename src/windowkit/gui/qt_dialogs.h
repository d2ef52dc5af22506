#pragma once
// The dialog service with real modal dialogs, installed by the desktop
// application so that the core's questions and messages reach the user.
#include <QPointer>
#include <QWidget>

#include "lib/dialogs.h"

namespace bt::gui {

class QtDialogs : public Dialogs {
public:
    // Dialogs are centred over `parent` (the active window when null).
    explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}

    std::string question(const std::string& text, const std::string& title,
                         const std::vector<std::string>& buttons, const std::string& defaultButton) override;
    void message(const std::string& text, const std::string& title) override;
    void error(const std::string& text, const std::string& title) override;
    std::optional<std::string> openFile(const std::string& filter, const std::string& title) override;
    std::optional<std::string> saveFile(const std::string& filter, const std::string& title,
                                        const std::string& defaultName = {}) override;
    std::optional<std::vector<std::string>> input(const std::vector<std::string>& prompts,
                                                  const std::string& title,
                                                  const std::vector<std::string>& defaults) override;

private:
    QWidget* parent() const;
    QPointer<QWidget> parent_;
};

// "*.bt" or "*.bt;*.mat" as a file dialog's name filter.
QString nameFilter(const std::string& filter);

}  // namespace bt::gui
