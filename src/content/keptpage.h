// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <string>
#include <vector>

namespace content {

// What a kept copy needs fetched besides the page: the absolute addresses of its stylesheets and
// images, in the order the page names them, each once.
std::vector<std::string> pageResources(const std::string& html, const std::string& pageAddress);

struct FetchedResource {
    std::string contentType;
    std::string bytes;
};

// The page as one self-contained HTML file, read by libxml2's HTML parser and written back as UTF-8:
// stylesheets become <style> elements, images data: addresses (those in `fetched`; the others keep
// their absolute address), links become absolute (from the page's <base> when it names one); scripts,
// frames, plug-ins, event attributes, javascript: addresses, <base> and refreshes are removed. Empty
// when the page cannot be parsed.
std::string keptPage(const std::string& html, const std::string& pageAddress,
                     const std::map<std::string, FetchedResource>& fetched);

}  // namespace content
