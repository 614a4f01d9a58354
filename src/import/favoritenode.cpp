// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/favoritenode.h"

#include <utility>
#include <vector>

FavoriteNode::FavoriteNode(int32_t nodeKind, std::string nodeName, std::string nodeUrl)
    : kind(nodeKind), name(std::move(nodeName)), url(std::move(nodeUrl))
{
}

FavoriteNode::~FavoriteNode()
{
    std::vector<std::unique_ptr<FavoriteNode>> pending;
    auto take = [&pending](FavoriteNode& node) {
        if (node.child)
            pending.push_back(std::move(node.child));
        if (node.nextFolder)
            pending.push_back(std::move(node.nextFolder));
        if (node.nextLink)
            pending.push_back(std::move(node.nextLink));
    };
    take(*this);
    while (!pending.empty()) {
        std::unique_ptr<FavoriteNode> node = std::move(pending.back());
        pending.pop_back();
        take(*node);
    }
}
