// A whole administration in headless Chromium: opens the console, a site's properties and
// its Tamsic page, switches the optional compression on and applies, then excludes a folder
// chosen with the folder chooser and applies again; sees a size past 32 bits and a comma in
// an exclusion refused with their reasons; adds a browser without MIME types and one with a
// rule of its own, and applies. Between the steps it asks the running
// web server for pages. Prints what it saw as JSON.
//   node console_check.mjs <console url> <site url> <screenshot folder>
import { chromium } from "playwright-core";

const [consoleUrl, siteUrl, shots] = process.argv.slice(2);
const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
  args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync"],
});
const result = { errors: [], steps: [], fetched: {}, helpTitle: null };

async function fetchPage(path, agent) {
  const headers = { "Accept-Encoding": "gzip" };
  if (agent) headers["User-Agent"] = agent;
  const response = await fetch(siteUrl + path, { headers });
  return { status: response.status, encoding: response.headers.get("content-encoding"), body: await response.text() };
}

// The console sends the reload request and does not wait for it: the server takes the new
// settings a moment later. Asks until the answer shows them, for 20 s at most.
async function fetchUntil(path, shows, agent) {
  let page;
  for (let i = 0; i < 200; i++) {
    page = await fetchPage(path, agent);
    if (shows(page)) break;
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
  return page;
}

try {
  const context = await browser.newContext({ viewport: { width: 1100, height: 820 } });
  const page = await context.newPage();
  page.on("pageerror", (error) => result.errors.push(String(error)));
  page.on("console", (message) => { if (message.type() === "error") result.errors.push(message.text()); });
  const win = (caption) => page.locator(`.window[data-caption="${caption}"]`);
  const button = (caption, text) => win(caption).getByRole("button", { name: text, exact: true });
  const step = async (name, action) => { result.steps.push(name); await action(); };
  const shot = (name) => page.screenshot({ path: `${shots}/${name}.png` });
  const applied = async (sheet) => {
    for (let i = 0; i < 200 && !(await button(sheet, "Apply").isDisabled()); i++) await page.waitForTimeout(50);
  };
  const sheet = "Intranet Properties";

  await page.goto(consoleUrl, { waitUntil: "load" });
  await step("tree", async () => {
    await win("Internet Information Services").getByText("Intranet", { exact: true }).click();
    await button("Internet Information Services", "Properties").click();
    await win(sheet).waitFor();
    await win(sheet).getByRole("tab", { name: "Tamsic" }).click();
    await button(sheet, "Opt. Compress").waitFor();
    await shot("console-page");
  });
  result.fetched.before = await fetchPage("/index.htm");

  await step("optional compression", async () => {
    await button(sheet, "Opt. Compress").click();
    const dialog = "Tamsic Optional Compression Preferences";
    await win(dialog).waitFor();
    await shot("console-optional-before");
    await win(dialog).locator('[data-id="1220"] input').click();
    await win(dialog).locator('[data-id="1222"] input:not([disabled])').waitFor();
    await shot("console-optional");
    await button(dialog, "OK").click();
    await win(dialog).waitFor({ state: "detached" });
    await button(sheet, "Apply").click();
    await applied(sheet);
  });
  result.fetched.optimised = await fetchUntil("/index.htm", (p) => !p.body.includes("<!--"));
  result.fetched.guideBefore = await fetchPage("/guide/index.htm");

  await step("exclusion", async () => {
    await button(sheet, "Exclude").click();
    const dialog = "Tamsic Exclusion List";
    await win(dialog).waitFor();
    await button(dialog, "Add Directory").click();
    const add = "Add Directory To Exclude";
    await win(add).waitFor();
    await button(add, "Browse").click();
    const chooser = "Browse for Folder";
    await win(chooser).waitFor();
    for (const folder of ["C:", "Inetpub", "wwwroot", "guide"])
      await win(chooser).locator(".tree span:not(.toggle)", { hasText: new RegExp(`^${folder}$`) }).click();
    await win(chooser).locator(".tree span.selected", { hasText: /^guide$/ }).waitFor();
    await shot("console-folder-chooser");
    await button(chooser, "OK").click();
    await win(chooser).waitFor({ state: "detached" });
    result.chosen = await win(add).locator("input[type=text]").inputValue();
    await shot("console-add-directory");
    await button(add, "OK").click();
    await win(add).waitFor({ state: "detached" });
    result.exclusions = await win(dialog).locator(".listbox div[role=option]").allInnerTexts();
    await shot("console-exclusion");
    await button(dialog, "OK").click();
    await win(dialog).waitFor({ state: "detached" });
    await button(sheet, "Apply").click();
    await applied(sheet);
  });
  result.fetched.guideAfter = await fetchUntil("/guide/index.htm", (p) => p.encoding === null);
  result.fetched.indexAfter = await fetchPage("/index.htm");

  const advanced = "Tamsic Advanced Configuration Preferences";
  const edit = (caption, id) => win(caption).locator(`input[data-id="${id}"]`);
  // The page redraws its windows as the console answers, which can put back an edit's
  // previous text: types until the edit keeps the text through a few redraws.
  const typeInto = async (caption, id, text) => {
    for (let kept = 0, i = 0; kept < 4 && i < 100; i++) {
      if ((await edit(caption, id).inputValue()) === text) {
        kept++;
      } else {
        kept = 0;
        await edit(caption, id).fill(text);
        await edit(caption, id).dispatchEvent("change");
      }
      await page.waitForTimeout(50);
    }
  };
  // Presses OK on a dialog that refuses what it holds; returns what the message said.
  const refused = async (caption, name) => {
    await button(caption, "OK").click();
    await win("Tamsic").waitFor();
    const said = await win("Tamsic").innerText();
    await shot(name);
    await button("Tamsic", "OK").click();
    await win("Tamsic").waitFor({ state: "detached" });
    await button(caption, "Cancel").click();
    await win(caption).waitFor({ state: "detached" });
    return said;
  };
  result.refused = {};
  await step("refusals", async () => {
    await button(sheet, "Advanced").click();
    await button(advanced, "Size Limits").click();
    await typeInto("File Size Limits", 1161, "3000000000");
    result.refused.size = await refused("File Size Limits", "console-size-refused");
    await button(advanced, "Cancel").click();
    await win(advanced).waitFor({ state: "detached" });
    await button(sheet, "Exclude").click();
    await button("Tamsic Exclusion List", "Add File").click();
    await typeInto("Add File to Exclude", 1211, "C:/web,root/a.htm");
    result.refused.comma = await refused("Add File to Exclude", "console-comma-refused");
    await button("Tamsic Exclusion List", "Cancel").click();
    await win("Tamsic Exclusion List").waitFor({ state: "detached" });
  });

  const wget = "Wget/1.21";
  result.fetched.wgetBefore = await fetchPage("/index.htm", wget);
  await step("browsers", async () => {
    const list = "Browser Definitions";
    const item = (text) => win(list).locator(".tree span:not(.toggle)", { hasText: new RegExp(`^${text}$`) });
    const add = async (name, term) => {
      await item("Browsers").click();
      await win(list).locator('button[data-id="1111"]').click();
      await win("Add Browser").waitFor();
      await typeInto("Add Browser", 1130, name);
      if (term) await typeInto("Add Browser", 1131, term);
      await button("Add Browser", "OK").click();
      await win("Add Browser").waitFor({ state: "detached" });
    };
    await button(sheet, "Advanced").click();
    await button(advanced, "Browsers").click();
    await win(list).waitFor();
    await add("Lynx");
    await add("Wget", "Wget/");
    await item("Wget").click();
    await win(list).locator('button[data-id="1111"]').click();
    const type = "Add top-level MIME type for Wget";
    await win(type).waitFor();
    await typeInto(type, 1120, "text");
    await button(type, "OK").click();
    await win("Tamsic").waitFor();  // the site's own "text" rule is overruled: yes
    await button("Tamsic", "OK").click();
    await win(type).waitFor({ state: "detached" });
    await shot("console-browsers-added");
    await button(list, "OK").click();
    await button(advanced, "OK").click();
    await win(advanced).waitFor({ state: "detached" });
    await button(sheet, "Apply").click();
    await applied(sheet);
  });
  result.fetched.wgetAfter = await fetchUntil("/index.htm", (p) => p.encoding === null, wget);
  result.fetched.ie5Css = await fetchPage("/styles/site.css", "Mozilla/4.0 (compatible; MSIE 5.01; Windows NT 5.0)");
  result.fetched.lynxCss = await fetchPage("/styles/site.css", "Lynx/2.8.9");

  // Every other dialog, looked at and cancelled.
  await step("tour", async () => {
    const cancel = async (caption) => {
      await button(caption, "Cancel").click();
      await win(caption).waitFor({ state: "detached" });
    };
    const visit = async (owner, opener, caption, name) => {
      await button(owner, opener).click();
      await win(caption).waitFor();
      await shot(name);
    };
    await visit(sheet, "Cache", "Tamsic Caching Preferences", "console-caching");
    await visit("Tamsic Caching Preferences", "Cached Files", "File Extension List", "console-cached-files");
    await cancel("File Extension List");
    await cancel("Tamsic Caching Preferences");
    await visit(sheet, "Reporting", "Tamsic Reporting Preferences", "console-reporting");
    await cancel("Tamsic Reporting Preferences");
    await visit(sheet, "Advanced", advanced, "console-advanced");
    await visit(advanced, "MIME Types", "MIME Type List", "console-mime-types");
    await win("MIME Type List").locator(".tree span:not(.toggle)", { hasText: /^text$/ }).click();
    await visit("MIME Type List", "Add", "Add MIME sub-type", "console-add-mime-type");
    await cancel("Add MIME sub-type");
    await cancel("MIME Type List");
    await visit(advanced, "Browsers", "Browser Definitions", "console-browsers");
    await cancel("Browser Definitions");
    await visit(advanced, "File Extensions", "File Extension List", "console-file-extensions");
    await visit("File Extension List", "Add", "Add File Extension", "console-add-file-extension");
    await cancel("Add File Extension");
    await cancel("File Extension List");
    await visit(advanced, "Size Limits", "File Size Limits", "console-size-limits");
    await cancel("File Size Limits");
    await cancel(advanced);
  });

  await step("help", async () => {
    const opened = context.waitForEvent("page");
    await button(sheet, "Help").click();
    const help = await opened;
    await help.waitForLoadState("load");
    result.helpTitle = await help.title();
    await help.close();
  });

  await step("ok", async () => {
    await button(sheet, "OK").click();
    await win(sheet).waitFor({ state: "detached" });
    await shot("console-closed");
  });
} catch (error) {
  result.errors.push(String(error && error.stack || error));
} finally {
  await browser.close();
}
console.log(JSON.stringify(result));
