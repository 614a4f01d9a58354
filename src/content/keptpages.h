// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace content {

// <data folder>/Varnelo/pages, where kept copies of web pages live; "" when there is no data folder.
std::string keptPagesFolder();

// The kept copy of the page at this address: a name made from the address, so the copy is found
// again from the address alone, whatever became of the index.
std::string keptCopyPath(const std::string& pagesFolder, const std::string& address);

// Writes the copy of the page at this address into the pages folder (made, private to the user, when
// missing), mode 0600, replacing any older copy whole or not at all. False when it cannot be written.
bool writeKeptCopy(const std::string& pagesFolder, const std::string& address, const std::string& page);

}  // namespace content
