// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "extract/textsink.h"

#include <string>

namespace extract {

// The text of a PDF through Poppler, page by page (pages count from 1), so a hit can name its page.
// Raises ReadFailure for a file Poppler cannot open or one locked with a password.
void readPdf(const std::string& path, TextSink& sink);

}  // namespace extract
