// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/importsummary.h"

#include "model/clinkitem.h"

#include <algorithm>

std::string countedText(std::size_t count, const char* one, const char* many)
{
    return count == 1 ? std::string("1 ") + one : std::to_string(count) + " " + many;
}

std::string addedMessage(const char* added, std::size_t categories, const std::vector<int>& types, int skipped)
{
    const auto files = static_cast<std::size_t>(std::count(types.begin(), types.end(), CLinkItem::FileType));
    const std::size_t web = types.size() - files;
    std::vector<std::string> kinds;
    if (web > 0 || files == 0)
        kinds.push_back(countedText(web, "web address", "web addresses"));
    if (files > 0)
        kinds.push_back(countedText(files, "file", "files"));
    std::string text = std::string(added) + " " + countedText(categories, "category", "categories");
    text += kinds.size() == 1 ? " and " + kinds[0] : ", " + kinds[0] + " and " + kinds[1];
    if (skipped > 0)
        text += "; " + countedText(static_cast<std::size_t>(skipped), "entry", "entries") + " skipped";
    return text + ".";
}

std::string exportedMessage(std::size_t categories, std::size_t items, std::size_t leftOut)
{
    std::string text = "Exported " + countedText(categories, "category", "categories") + " and "
                       + countedText(items, "item", "items") + ".";
    if (leftOut > 0)
        text += " Left out " + countedText(leftOut, "item", "items")
                + " with a script or data address, which browsers would run.";
    return text;
}
