// Orders two dishes for the first free table through the phone pages, in headless Chromium at a phone's
// size. Usage: node order.mjs <base url> <screenshot.png>. Prints one JSON line with what it did.
import { chromium } from 'playwright-core';

const [base, screenshot] = process.argv.slice(2);
const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  headless: true,
  args: ['--no-sandbox', '--disable-gpu', '--no-proxy-server'],
  timeout: 30000,
});
try {
  const context = await browser.newContext({
    viewport: { width: 390, height: 844 }, deviceScaleFactor: 2, isMobile: true, hasTouch: true,
  });
  const page = await context.newPage();
  page.setDefaultTimeout(15000);
  await page.goto(`${base}/phone/list.asp`);
  // The table list is for staff: sign in with the counter's login password first.
  await page.locator('input[name=password]').fill(process.env.CJ_STAFF_PASSWORD || '739');
  await page.locator('button[type=submit]').tap();
  await page.waitForSelector('a.table');
  const free = page.locator('a.table:not(.busy)').first();
  const table = (await free.locator('b').innerText()).trim();
  await free.tap();
  await page.waitForURL(/menu\.asp/);

  const items = page.locator('.card.row');
  const first = (await items.nth(0).locator('b').innerText()).trim();
  const second = (await items.nth(1).locator('b').innerText()).trim();
  await items.nth(0).locator('button.plus').tap();
  await items.nth(0).locator('button.plus').tap();
  await items.nth(1).locator('input[type=number]').fill('1');
  if (process.env.CJ_E2E_MENU_SHOT) await page.screenshot({ path: process.env.CJ_E2E_MENU_SHOT });
  await page.locator('#submitOrder').tap();
  await page.waitForURL(/detail\.asp/);

  const lines = await page.locator('.card.line .grow > b').allInnerTexts();
  const receivable = (await page.locator('#receivable').innerText()).trim();
  await page.screenshot({ path: screenshot, fullPage: true });
  console.log(JSON.stringify({ table, first, second, lines, receivable }));
} finally {
  await browser.close();
}
