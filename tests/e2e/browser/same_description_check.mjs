// Two sites with one description: opens the second one's properties through the console's
// tree, disables Tamsic on its page and presses OK. Prints what it saw as JSON.
//   node same_description_check.mjs <console url> <description> <screenshot folder>
import { chromium } from "playwright-core";

const [consoleUrl, description, shots] = process.argv.slice(2);
const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
  args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync"],
});
const result = { errors: [], items: 0 };
try {
  const page = await browser.newPage({ viewport: { width: 1100, height: 820 } });
  page.on("pageerror", (error) => result.errors.push(String(error)));
  const win = (caption) => page.locator(`.window[data-caption="${caption}"]`);
  const button = (caption, text) => win(caption).getByRole("button", { name: text, exact: true });
  const sheet = `${description} Properties`;
  await page.goto(consoleUrl, { waitUntil: "load" });
  const manager = "Internet Information Services";
  const items = win(manager).getByText(description, { exact: true });
  await items.first().waitFor();
  result.items = await items.count();
  await items.nth(1).click();
  await button(manager, "Properties").click();
  await win(sheet).waitFor();
  await win(sheet).getByRole("tab", { name: "Tamsic" }).click();
  await win(sheet).getByText("Disable Tamsic", { exact: true }).click();
  await page.screenshot({ path: `${shots}/console-same-description.png` });
  await button(sheet, "OK").click();
  await win(sheet).waitFor({ state: "detached" });
} catch (error) {
  result.errors.push(String(error && error.stack || error));
} finally {
  await browser.close();
}
console.log(JSON.stringify(result));
