// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// "1 category", "12 categories".
std::string countedText(std::size_t count, const char* one, const char* many);

// "Imported 12 categories and 348 web addresses; 3 entries skipped." Files and web addresses (the
// item types written, in order) are named apart; a kind that came in none of is left out, unless
// nothing came at all.
std::string addedMessage(const char* added, std::size_t categories, const std::vector<int>& types, int skipped);

// "Exported 3 categories and 1 item."
std::string exportedMessage(std::size_t categories, std::size_t items);
