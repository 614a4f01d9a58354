// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace extract {

// Text bytes as UTF-8: in the encoding a byte-order mark declares, as UTF-8 when they are, and
// otherwise in the encoding ICU's detector finds most likely (a legacy 8-bit or East Asian one).
// `cut` says the bytes were cut short, so a broken last sequence is no evidence against UTF-8.
std::string textAsUtf8(std::string_view bytes, bool cut);

}  // namespace extract
