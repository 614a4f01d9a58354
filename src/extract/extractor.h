// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "extract/wire.h"

#include <functional>
#include <string_view>

namespace extract {

// Answers one request with frames: the file's hash, then Unchanged when it is the hash the request
// knows, else its content type, its text page by page and Done with the outcome. Never raises: a
// file that cannot be read ends in Done(Failed) with the reason. Runs in the reading process only.
void answer(const wire::Request& request, const std::function<void(wire::FrameType, std::string_view)>& send);

// The largest part of a zip package that is inflated before the file counts as a bomb.
inline constexpr std::size_t largestPackagePart = 256 * 1024 * 1024;

}  // namespace extract
