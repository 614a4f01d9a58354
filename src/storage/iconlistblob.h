// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

// The container of the stored category icon list: "VRIL", version, width, height, count, then per
// image its PNG length and bytes, little-endian. The pictures inside are left to whoever draws them.
inline constexpr int iconListImageSize = 32;

std::vector<unsigned char> joinIconList(const std::vector<std::string>& pngs);
// Anything but a whole container of non-empty images gives nullopt.
std::optional<std::vector<std::string>> splitIconList(const std::vector<unsigned char>& blob);
// Whether the bytes decode whole as a PNG of iconListImageSize square: what a list may hold, since
// one picture that does not makes the whole list unreadable.
bool isIconPicture(const std::string& png);
