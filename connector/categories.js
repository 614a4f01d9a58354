// SPDX-License-Identifier: GPL-3.0-or-later
// The category picker's choices: the categories filed to lately first, then the whole tree in the
// catalogue's order. A filter keeps the categories whose path holds each of its words, whatever
// their case and accents ("resume" finds "Résumés").
"use strict";

function foldedText(text) {
  return text.normalize("NFD").replace(/\p{M}/gu, "").toLowerCase();
}

// categories: [{guid, name, parent}] each after its parent; recent: GUIDs, newest first.
// Gives {recent, all}, each a list of {guid, path} (the names from the top).
function categoryChoices(categories, recent, filter) {
  const byGuid = new Map(categories.map((category) => [category.guid, category]));
  const paths = new Map();
  for (const category of categories) {
    const parentPath = paths.get(category.parent) || [];
    paths.set(category.guid, parentPath.concat(category.name));
  }
  const words = foldedText(filter || "").split(/\s+/).filter(Boolean);
  const wanted = (path) => {
    const text = foldedText(path.join(" / "));
    return words.every((word) => text.includes(word));
  };
  const choice = (guid) => ({ guid, path: paths.get(guid) });
  return {
    recent: recent.filter((guid) => byGuid.has(guid)).map(choice).filter((entry) => wanted(entry.path)),
    all: categories.map((category) => choice(category.guid)).filter((entry) => wanted(entry.path)),
  };
}

if (typeof module !== "undefined") module.exports = { categoryChoices };
