// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// A fresh random (version 4) UUID as 36 lowercase characters in groups 8-4-4-4-12, no braces.
std::string NewGuid();
