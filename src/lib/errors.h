#pragma once
#include <stdexcept>
#include <string>

namespace bt {

// Raised by generation routines when a value is impossible. The message is
// the text the user sees, so it is kept exactly as the routine words it.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace bt
