// SPDX-License-Identifier: GPL-3.0-or-later
#include "content/contentsettings.h"

#include "extract/wire.h"
#include "shell/appsettings.h"

#include <algorithm>
#include <utility>

namespace content {

namespace {

constexpr std::pair<const char*, unsigned> kindNames[] = {
    {"pdf", extract::wire::Pdf},   {"office", extract::wire::Office},  {"epub", extract::wire::Epub},
    {"html", extract::wire::Html}, {"text", extract::wire::PlainText},
};

constexpr int largestSizeCapMb = 4096;

}  // namespace

std::string kindsText(unsigned kinds)
{
    std::string text;
    for (const auto& [name, kind] : kindNames)
        if (kinds & kind)
            text += (text.empty() ? "" : ",") + std::string(name);
    return text;
}

unsigned kindsFromText(const std::string& text)
{
    unsigned kinds = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(',', start), text.size());
        std::string name = text.substr(start, end - start);
        name.erase(0, name.find_first_not_of(' '));
        name.erase(name.find_last_not_of(' ') + 1);
        for (const auto& [known, kind] : kindNames)
            if (name == known)
                kinds |= kind;
        start = end + 1;
    }
    return kinds;
}

ContentSettings loadContentSettings(const std::string& iniPath)
{
    ContentSettings settings;
    settings.indexFiles = readIniFlag(iniPath, contentSettingsSection, "index", settings.indexFiles);
    settings.keepPages = readIniFlag(iniPath, contentSettingsSection, "keepPages", settings.keepPages);
    const std::string kinds = readIniText(iniPath, contentSettingsSection, "kinds", kindsText(settings.kinds));
    settings.kinds = kindsFromText(kinds);
    int cap = 0;
    if (parseProfileInt(readIniText(iniPath, contentSettingsSection, "sizeCap"), cap))
        settings.sizeCapMb = std::clamp(cap, 1, largestSizeCapMb);
    return settings;
}

void saveContentSettings(const ContentSettings& settings, const std::string& iniPath)
{
    writeIniTexts(iniPath, contentSettingsSection,
                  {{"index", settings.indexFiles ? "1" : "0"},
                   {"keepPages", settings.keepPages ? "1" : "0"},
                   {"kinds", kindsText(settings.kinds)},
                   {"sizeCap", std::to_string(std::clamp(settings.sizeCapMb, 1, largestSizeCapMb))}});
}

}  // namespace content
