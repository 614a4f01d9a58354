// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/clinkobject.h"

#include <memory>
#include <string>

// One catalogue entry: a file on disk (type 0) or a web address (type 1).
class CLinkItem : public CLinkObject {
public:
    static constexpr int FileType = 0;
    static constexpr int WebType = 1;

    const std::string& GetTarget() const { return target; }
    void SetTarget(const std::string& value) { target = value; }
    const std::string& GetComment() const { return comment; }
    void SetComment(const std::string& value) { comment = value; }
    int GetStar() const { return star; }
    void SetStar(int value) { star = value; }
    int GetType() const { return type; }
    void SetType(int value) { type = value; }

    // Everything but the identity: the copy draws a GUID of its own.
    static std::unique_ptr<CLinkItem> Copy(const CLinkItem& source);

private:
    std::string target;
    std::string comment;
    int star = 0;
    int type = FileType;
};
