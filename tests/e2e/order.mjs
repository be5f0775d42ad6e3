// Orders a dish and a drink for the first free table through the phone pages, in headless Chromium at a
// phone's size and with 300 ms of network delay: the dish in 菜品, the drink after switching to 酒水, both
// sent as one order from the 下单 sheet with a double tap, then Back to the menu.
// Usage: node order.mjs <base url> <screenshot.png>. Prints one JSON line with what it did.
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

  const dish = page.locator('section#c0 .d').first();
  const first = (await dish.locator('b').innerText()).trim();
  await dish.locator('button.plus').tap();
  await dish.locator('button.plus').tap();
  await page.locator('.tabs a[data-c="1"]').tap();
  const drink = page.locator('section#c1 .d').first();
  const second = (await drink.locator('b').innerText()).trim();
  await drink.locator('input').fill('1');
  const cartCount = (await page.locator('#cartCount').innerText()).trim();
  if (process.env.CJ_E2E_MENU_SHOT) await page.screenshot({ path: process.env.CJ_E2E_MENU_SHOT });

  // From here on every request takes 300 ms longer, as on a busy restaurant Wi-Fi.
  await page.route('**/*', async (route) => {
    await new Promise((resolve) => setTimeout(resolve, 300));
    await route.continue();
  });
  await page.locator('#submitOrder').tap();
  await page.waitForURL(/savemenu\.asp/);
  const sheetLines = await page.locator('.card b').allInnerTexts();
  // What the button says while the order is on its way, kept past the page change.
  await page.evaluate(() => document.getElementById('place').addEventListener('submit', () => setTimeout(() => {
    sessionStorage.setItem('busyText', document.getElementById('placeOrder').textContent);
  }, 0)));
  const place = page.locator('#placeOrder');
  const box = await place.boundingBox();
  await page.touchscreen.tap(box.x + box.width / 2, box.y + box.height / 2);
  await page.waitForTimeout(120);
  await page.touchscreen.tap(box.x + box.width / 2, box.y + box.height / 2).catch(() => {});
  await page.waitForURL(/detail\.asp/);

  const busyText = await page.evaluate(() => sessionStorage.getItem('busyText'));
  const lines = await page.locator('.card.line .grow > b').allInnerTexts();
  const receivable = (await page.locator('#receivable').innerText()).trim();
  await page.screenshot({ path: screenshot, fullPage: true });

  // Back to the menu: its boxes are empty again, nothing is offered twice.
  await page.goBack();
  await page.goBack();
  await page.waitForURL(/menu\.asp/);
  const refilled = await page.locator('.d input').evaluateAll(
    (inputs) => inputs.reduce((sum, input) => sum + (parseFloat(input.value) || 0), 0));
  console.log(JSON.stringify({ table, first, second, cartCount, sheetLines, busyText, lines, receivable, refilled }));
} finally {
  await browser.close();
}
