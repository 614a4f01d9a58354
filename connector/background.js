// SPDX-License-Identifier: GPL-3.0-or-later
// The keyboard shortcut: files the page to the category used last, without the popup.
"use strict";

// Chromium runs this as a service worker, Firefox as a background script after varnelo.js.
if (typeof importScripts === "function" && typeof askVarnelo === "undefined") importScripts("varnelo.js");

async function fileWithoutAsking(tab) {
  try {
    if (!tab || !tab.url) throw new Error("The browser does not tell this page's address.");
    const description = await selectedText(tab.id);
    await askVarnelo({ command: "add", url: tab.url, title: tab.title || "", description });
    const found = await askVarnelo({ command: "lookup", url: tab.url });
    await showFiled(tab.id, found.items);
  } catch (error) {
    if (tab) await showFailure(tab.id, error.message);
  }
}

browserApi.commands.onCommand.addListener(async (command, tab) => {
  if (command !== "file-page") return;
  const [active] = tab ? [tab] : await browserApi.tabs.query({ active: true, currentWindow: true });
  await fileWithoutAsking(active);
});
