// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// The identity and name shared by categories and items. Not polymorphic: objects are
// always owned and destroyed through their concrete type.
class CLinkObject {
public:
    const std::string& GetGuid() const { return guid; }
    void SetGuid(const std::string& value) { guid = value; }
    const std::string& GetName() const { return name; }
    void SetName(const std::string& value) { name = value; }
    // For a category its parent category's GUID (empty at the top); for an item its category's GUID.
    const std::string& GetParentGuid() const { return parentGuid; }
    void SetParentGuid(const std::string& value) { parentGuid = value; }

protected:
    CLinkObject() = default;
    CLinkObject(const CLinkObject&) = default;
    CLinkObject& operator=(const CLinkObject&) = default;
    ~CLinkObject() = default;

private:
    std::string guid;
    std::string name;
    std::string parentGuid;
};
