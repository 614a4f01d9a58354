// SPDX-License-Identifier: GPL-3.0-or-later
#include "check/finding.h"

#include <array>
#include <utility>

namespace check {

namespace {

constexpr std::array<std::pair<Kind, const char*>, 9> names{{
    {Kind::Ok, "ok"},
    {Kind::Missing, "missing"},
    {Kind::Dead, "dead"},
    {Kind::Moved, "moved"},
    {Kind::Unknown, "unknown"},
    {Kind::Tls, "tls"},
    {Kind::Duplicate, "duplicate"},
    {Kind::PossibleDuplicate, "possible-duplicate"},
    {Kind::NotChecked, "not-checked"},
}};

}  // namespace

const char* kindName(Kind kind)
{
    for (const auto& [each, name] : names)
        if (each == kind)
            return name;
    return "unknown";
}

Kind kindFromName(const std::string& name)
{
    for (const auto& [kind, each] : names)
        if (name == each)
            return kind;
    return Kind::Unknown;
}

const char* aspectName(Aspect aspect)
{
    switch (aspect) {
    case Aspect::File:
        return "file";
    case Aspect::Link:
        return "link";
    case Aspect::Duplicate:
        return "duplicate";
    }
    return "file";
}

const char* kindHeading(Kind kind)
{
    switch (kind) {
    case Kind::Ok:
        return "Fine";
    case Kind::Missing:
        return "Missing files";
    case Kind::Dead:
        return "Dead links";
    case Kind::Moved:
        return "Moved links";
    case Kind::Unknown:
        return "Links that could not be checked";
    case Kind::Tls:
        return "Secure connection failures";
    case Kind::Duplicate:
        return "Duplicates";
    case Kind::PossibleDuplicate:
        return "Possible duplicates";
    case Kind::NotChecked:
        return "Not checked";
    }
    return "";
}

}  // namespace check
