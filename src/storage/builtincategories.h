// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>

// The categories a new catalogue starts with, in the order they are stored; their GUIDs are fixed so
// that every catalogue knows its built-in categories.
struct BuiltInCategory {
    const char* name;
    const char* guid;
    int level;
    const char* parentGuid;
};

inline constexpr const char* officeDocumentsGuid = "A7337D16-451D-485a-AA22-CD0B5EC0BC9D";
inline constexpr std::array<BuiltInCategory, 6> builtInCategories = {{
    {"General files", "5EE0962C-217D-411a-BB72-6261B1B4F5BF", 0, ""},
    {"Office documents", officeDocumentsGuid, 0, ""},
    {"Media files", "099C65A7-7E41-4d97-8294-6762A3E291F4", 0, ""},
    {"Favorite websites", "9EED3209-19C9-4a89-B8B3-5FA0F96697F4", 0, ""},
    {"Word documents", "6C6FCDD3-6C95-49d9-AC6A-CC0913ABE5C1", 1, officeDocumentsGuid},
    {"Excel documents", "9CE59CC3-E4E9-4ce6-B8D7-7BB72BF00113", 1, officeDocumentsGuid},
}};
