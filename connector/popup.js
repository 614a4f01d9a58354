// SPDX-License-Identifier: GPL-3.0-or-later
// The toolbar button's popup: the page's title, address and selected text, a category, "Add", and
// where the page is filed already.
"use strict";

const element = (id) => document.getElementById(id);
// Without a category filed to lately, web pages go where Varnelo puts them: "Favorite websites".
const FAVORITE_WEBSITES = "9EED3209-19C9-4a89-B8B3-5FA0F96697F4";

let tab = null;
let categories = [];
let recent = [];

function say(text, failed = false) {
  element("status").textContent = text;
  element("status").classList.toggle("error", failed);
}

function setBusy(busy) {
  for (const button of document.querySelectorAll("button")) button.disabled = busy;
}

// Runs a step of the user's, saying what went wrong instead of failing silently.
async function run(step) {
  setBusy(true);
  try {
    await step();
  } catch (error) {
    say(error.message, true);
  } finally {
    setBusy(false);
  }
}

async function allCategories() {
  let list = [];
  let from = 0;
  for (;;) {
    const answer = await askVarnelo({ command: "categories", from });
    list = list.concat(answer.categories);
    recent = answer.recent;
    if (answer.next === undefined) return list;
    from = answer.next;
  }
}

function fillPicker() {
  const select = element("category");
  const chosen = select.value;
  const filter = element("filter").value;
  const choices = categoryChoices(categories, recent, filter);
  select.replaceChildren();
  const addGroup = (label, entries, asTree) => {
    if (entries.length === 0) return;
    const group = document.createElement("optgroup");
    group.label = label;
    for (const entry of entries) {
      const option = document.createElement("option");
      option.value = entry.guid;
      option.textContent = asTree
        ? "\u2003".repeat(entry.path.length - 1) + entry.path[entry.path.length - 1]
        : pathText(entry.path);
      group.append(option);
    }
    select.append(group);
  };
  addGroup("Used last", choices.recent, false);
  addGroup(filter ? "Matching categories" : "All categories", choices.all, !filter);
  const offered = Array.from(select.options, (option) => option.value);
  const preferred = [chosen, recent[0], FAVORITE_WEBSITES].find((guid) => guid && offered.includes(guid));
  select.value = preferred || offered[0] || "";
}

function showPlaces(items) {
  const list = element("places");
  list.replaceChildren();
  for (const item of items) {
    const entry = document.createElement("li");
    const label = document.createElement("span");
    label.textContent = pathText(item.path) + " \u2014 " + item.title + (item.kept ? " (kept copy)" : "");
    const open = document.createElement("button");
    open.type = "button";
    open.textContent = "Open in Varnelo";
    open.addEventListener("click", () =>
      run(async () => {
        await askVarnelo({ command: "locate", guid: item.guid });
        say("Varnelo shows it now.");
      })
    );
    entry.append(label, open);
    list.append(entry);
  }
  element("filed").hidden = items.length === 0;
}

async function refreshPlaces() {
  const found = await askVarnelo({ command: "lookup", url: tab.url });
  showPlaces(found.items);
  await showFiled(tab.id, found.items);
}

async function file(withCopy) {
  const request = {
    command: "add",
    url: tab.url,
    title: element("title").value,
    description: element("description").value,
  };
  if (element("category").value) request.category = element("category").value;
  const added = await askVarnelo(request);
  const place = pathText(added.path);
  let said = "Added to " + place + ".";
  let failed = false;
  if (withCopy) {
    try {
      const kept = await keepPage(tab.id, added.guid);
      said = "Added to " + place + " with a kept copy.";
      if (!kept.indexed) said += " Its words are found once the content index has read it: " + kept.detail + ".";
    } catch (error) {
      said += " No copy was kept: " + error.message;
      failed = true;
    }
  }
  recent = [added.category].concat(recent.filter((guid) => guid !== added.category));
  fillPicker();
  await refreshPlaces();
  say(said, failed);
}

async function start() {
  [tab] = await browserApi.tabs.query({ active: true, currentWindow: true });
  if (!tab || !tab.url) {
    say("The browser does not tell this page's address.", true);
    setBusy(true);
    return;
  }
  element("title").value = tab.title || tab.url;
  element("address").value = tab.url;
  const [selected, list] = await Promise.all([selectedText(tab.id), allCategories(), refreshPlaces()]);
  if (!element("description").value) element("description").value = selected;
  categories = list;
  fillPicker();
}

element("filter").addEventListener("input", fillPicker);
element("form").addEventListener("submit", (event) => {
  event.preventDefault();
  run(() => file(false));
});
element("keep").addEventListener("click", () => run(() => file(true)));
run(start);
