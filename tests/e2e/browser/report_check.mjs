// Opens a site's compression report in headless Chromium, works it as an administrator
// would, and prints what it saw as JSON:
//   node report_check.mjs <report url> <screenshot file> <folder to fold> <page link text>
import { chromium } from "playwright-core";

const [url, screenshot, folder, pageLink] = process.argv.slice(2);
const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
  args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync"],
});
const result = { errors: [], dialogs: [], requests: [] };
try {
  const page = await browser.newPage({ viewport: { width: 1280, height: 900 } });
  page.on("pageerror", (error) => result.errors.push(String(error)));
  page.on("console", (message) => { if (message.type() === "error") result.errors.push(message.text()); });
  page.on("dialog", async (dialog) => { result.dialogs.push(dialog.message()); await dialog.dismiss(); });
  page.on("request", (request) => result.requests.push(request.url()));
  await page.goto(url, { waitUntil: "load" });

  result.totals = await page.evaluate(() => ({ totalBR, totalBS, totalCBS, totalUBS, totalS,
                                               totalR, totalCR, totalUR, totalC }));
  result.siteText = await page.locator("#sitefigures").innerText();
  result.charts = await page.locator("#sitecharts svg rect").count();

  const header = page.locator("#pagetree li[id=foldheader]", { hasText: folder }).first();
  const list = header.locator("xpath=following-sibling::ul[1]");
  result.foldedAtStart = await list.evaluate((e) => e.style.display);
  await header.click();
  result.afterOpen = await list.evaluate((e) => e.style.display);
  await page.locator("#pagetree a", { hasText: pageLink }).first().click();
  // The link is a javascript: URL, which the browser runs in a task after the click: the
  // figures are waited for (a link that shows nothing leaves the default text after 5 s).
  await page.locator("#pagefigures h3.pageurl").waitFor({ timeout: 5000 }).catch(() => {});
  result.pageText = await page.locator("#pagefigures").innerText();
  await page.screenshot({ path: screenshot, fullPage: true });
  await header.click();
  result.afterClose = await list.evaluate((e) => e.style.display);

  // Every link of the tree, clicked: a logged URL must never run as script.
  const links = page.locator("#pagetree a");
  for (let i = 0; i < await links.count(); i++) {
    const link = links.nth(i);
    if (await link.isVisible()) await link.click();
  }
  await page.locator("button", { hasText: "Open all folders" }).click();
  for (let i = 0; i < await links.count(); i++) await links.nth(i).click();
  result.pwned = await page.evaluate(() => window.__pwned === 1);
  result.linkTexts = await links.allInnerTexts();
} catch (error) {
  result.errors.push("driver: " + String(error));
} finally {
  await browser.close();
}
console.log(JSON.stringify(result));
