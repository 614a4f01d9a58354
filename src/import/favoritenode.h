// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// One node of a Favorites tree. A level is a head node (kind 0) whose nextFolder and nextLink
// start its two chains: the folders and the links of one folder, each in listing order.
struct FavoriteNode {
    static constexpr int32_t kindHead = 0;
    static constexpr int32_t kindFolder = 0x20000000;
    static constexpr int32_t kindLink = 0x00010000;

    FavoriteNode() = default;
    explicit FavoriteNode(int32_t nodeKind, std::string nodeName = {}, std::string nodeUrl = {});
    FavoriteNode(const FavoriteNode&) = delete;
    FavoriteNode& operator=(const FavoriteNode&) = delete;
    // Frees the chains without recursing along them, so a folder with very many entries
    // cannot exhaust the stack.
    ~FavoriteNode();

    int32_t kind = kindHead;
    std::string name;
    std::string url;
    std::unique_ptr<FavoriteNode> child;
    std::unique_ptr<FavoriteNode> nextFolder;
    std::unique_ptr<FavoriteNode> nextLink;
};
