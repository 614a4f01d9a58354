// SPDX-License-Identifier: GPL-3.0-or-later
// What the popup and the keyboard shortcut share: Varnelo's host, the page's text and copy, the badge.
"use strict";

// Firefox offers browser.* and chrome.*, Chromium chrome.*; in Manifest V3 both return promises.
const browserApi = globalThis.browser ?? globalThis.chrome;

const VARNELO_HOST = "app.varnelo.connector";
// The host takes no larger kept copy.
const LARGEST_KEPT_PAGE = 20 * 1024 * 1024;

// One request to Varnelo, answered by one; a refusal raises with the host's reason.
async function askVarnelo(request) {
  let answer;
  try {
    answer = await browserApi.runtime.sendNativeMessage(VARNELO_HOST, request);
  } catch (error) {
    const reason = String((error && error.message) || error);
    throw new Error(
      /not found|no such native application|forbidden/i.test(reason)
        ? "Varnelo's connector is not installed for this browser: run 'varnelo-cli connector --install', then restart the browser."
        : "Varnelo cannot be reached: " + reason
    );
  }
  if (!answer || answer.ok !== true)
    throw new Error((answer && answer.error) || "Varnelo gave no answer.");
  return answer;
}

// Runs in the page: the text the user selected.
function selectionInPage() {
  return String(window.getSelection ? window.getSelection() : "");
}

// Runs in the page: the page as the browser shows it now, as HTML of at most `limit` characters.
// Stylesheets the page may read become <style> elements and loaded pictures data: addresses, as far as
// the browser lets a page read them back (a picture from another site stays a link); scripts go.
function serialisedPage(limit) {
  const live = document.documentElement;
  const copy = live.cloneNode(true);
  copy.querySelectorAll("script").forEach((script) => script.remove());
  const copyHead = copy.querySelector("head");
  if (copyHead && !copy.querySelector("base[href]")) {
    const base = document.createElement("base");
    base.setAttribute("href", document.baseURI);
    copyHead.prepend(base);
  }
  const liveSheets = live.querySelectorAll('link[rel~="stylesheet" i]');
  const copySheets = copy.querySelectorAll('link[rel~="stylesheet" i]');
  liveSheets.forEach((link, i) => {
    let css = null;
    try {
      css = link.sheet ? Array.from(link.sheet.cssRules, (rule) => rule.cssText).join("\n") : null;
    } catch (unreadable) {
      return;
    }
    if (css === null || !copySheets[i]) return;
    const style = document.createElement("style");
    if (link.media) style.setAttribute("media", link.media);
    style.textContent = css;
    copySheets[i].replaceWith(style);
  });
  let room = limit - copy.outerHTML.length;
  const liveImages = live.querySelectorAll("img");
  const copyImages = copy.querySelectorAll("img");
  liveImages.forEach((image, i) => {
    const target = copyImages[i];
    if (!target) return;
    const source = image.currentSrc || image.src;
    target.removeAttribute("srcset");
    target.removeAttribute("loading");
    if (source) target.setAttribute("src", source);
    if (!source || source.startsWith("data:") || !image.complete || !image.naturalWidth) return;
    try {
      const canvas = document.createElement("canvas");
      canvas.width = image.naturalWidth;
      canvas.height = image.naturalHeight;
      canvas.getContext("2d").drawImage(image, 0, 0);
      const photo = /\.jpe?g([?#]|$)/i.test(source);
      const data = canvas.toDataURL(photo ? "image/jpeg" : "image/png", 0.9);
      if (data.length > room) return;
      room -= data.length;
      target.setAttribute("src", data);
    } catch (fromAnotherSite) {
      // The page may show the picture but not read it back: it stays a link.
    }
  });
  const doctype = document.doctype ? "<!DOCTYPE " + document.doctype.name + ">\n" : "";
  return doctype + copy.outerHTML;
}

// Right after the shortcut the page may not have been told yet that the tab is granted to the
// extension (Chromium refuses then); a refusal counts only once it lasts about a second.
async function runInPage(tabId, func, args = []) {
  for (let attempt = 1; ; ++attempt) {
    try {
      const [result] = await browserApi.scripting.executeScript({ target: { tabId }, func, args });
      return result ? result.result : undefined;
    } catch (error) {
      if (attempt === 5) throw error;
      await new Promise((resume) => setTimeout(resume, 100 * attempt));
    }
  }
}

// The selected text as the description; none where the browser lets no extension read the page.
async function selectedText(tabId) {
  try {
    return (await runInPage(tabId, selectionInPage)) || "";
  } catch (notReadable) {
    return "";
  }
}

// Files the tab's page as the item `guid`'s kept copy; the host's answer.
async function keepPage(tabId, guid) {
  let html;
  try {
    html = await runInPage(tabId, serialisedPage, [LARGEST_KEPT_PAGE]);
  } catch (error) {
    throw new Error("The browser does not let the page be copied: " + ((error && error.message) || error));
  }
  if (typeof html !== "string" || new Blob([html]).size > LARGEST_KEPT_PAGE)
    throw new Error("The page is larger than 20 MB; no copy was kept.");
  return askVarnelo({ command: "keep", guid, html });
}

function pathText(path) {
  return path.join(" / ");
}

// The badge says whether the tab's page is in the catalogue (a tick), or that filing failed (!).
async function showFiled(tabId, items) {
  const known = items.length > 0;
  await browserApi.action.setBadgeText({ tabId, text: known ? "\u2713" : "" });
  await browserApi.action.setBadgeBackgroundColor({ tabId, color: "#2E7D32" });
  await browserApi.action.setTitle({
    tabId,
    title: known ? "In Varnelo: " + items.map((item) => pathText(item.path)).join("; ") : "Add to Varnelo",
  });
}

async function showFailure(tabId, message) {
  await browserApi.action.setBadgeText({ tabId, text: "!" });
  await browserApi.action.setBadgeBackgroundColor({ tabId, color: "#C62828" });
  await browserApi.action.setTitle({ tabId, title: "Varnelo: " + message });
}
