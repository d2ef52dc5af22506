#pragma once
// Routines of a window called by name, as its callbacks and menu items name
// them ("pbCalculate_Callback"). An error escaping a routine is printed on
// stderr and the window stays usable: one failed action never takes the
// application down.
#include <QString>
#include <QVariant>
#include <functional>
#include <map>
#include <string>

namespace bt::gui {

class Dispatcher {
public:
    using Routine = std::function<QVariant(const QVariantList&)>;

    explicit Dispatcher(std::string windowFunction) : windowFunction_(std::move(windowFunction)) {}

    void add(const std::string& name, Routine r) { routines_[name] = std::move(r); }
    // Convenience for routines without arguments or result.
    void add(const std::string& name, std::function<void()> r) {
        routines_[name] = [r = std::move(r)](const QVariantList&) {
            r();
            return QVariant();
        };
    }
    bool has(const std::string& name) const { return routines_.count(name) != 0; }

    // Runs the routine `name`; an unknown name or an escaping error is
    // printed as "<window>('<name>'): <message>" and yields an empty result.
    QVariant call(const std::string& name, const QVariantList& args = {}) const;

private:
    std::string windowFunction_;
    std::map<std::string, Routine> routines_;
};

}  // namespace bt::gui
