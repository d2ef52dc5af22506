#include "windowkit/gui/dispatch.h"

#include <exception>
#include <iostream>

namespace bt::gui {

QVariant Dispatcher::call(const std::string& name, const QVariantList& args) const {
    const auto it = routines_.find(name);
    if (it == routines_.end()) {
        std::cerr << windowFunction_ << "('" << name << "'): no such routine\n";
        return {};
    }
    try {
        return it->second(args);
    } catch (const std::exception& e) {
        std::cerr << windowFunction_ << "('" << name << "'): " << e.what() << '\n';
    } catch (...) {
        std::cerr << windowFunction_ << "('" << name << "'): unknown error\n";
    }
    return {};
}

}  // namespace bt::gui
