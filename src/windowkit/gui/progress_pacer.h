#pragma once
// Which progress values a progress window is given. Every value shown
// repaints the window (and, for a modal one, runs the event loop), which a
// long calculation pays for on its own thread: the first move off the start
// and the end are shown at once, the values between at most every
// `intervalMs`.
#include <QElapsedTimer>

namespace bt::gui {

class ProgressPacer {
public:
    explicit ProgressPacer(int maximum, int intervalMs = 100) : maximum_(maximum), intervalMs_(intervalMs) {}

    // True when `value` is to be shown now.
    bool take(int value) {
        if (value == shown_) return false;
        if (shown_ > 0 && value < maximum_ && clock_.isValid() && clock_.elapsed() < intervalMs_) return false;
        shown_ = value;
        clock_.start();
        return true;
    }

private:
    int maximum_;
    int intervalMs_;
    int shown_ = -1;
    QElapsedTimer clock_;
};

}  // namespace bt::gui
