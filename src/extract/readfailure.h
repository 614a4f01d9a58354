// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <stdexcept>

namespace extract {

// A file that cannot be read; the message says why in words ("it is locked with a password").
struct ReadFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

}  // namespace extract
