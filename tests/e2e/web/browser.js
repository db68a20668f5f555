// A headless Chromium for the end-to-end tests, driven line by line from a shell test:
// each command on standard input gets one line of answer on standard output ("ok ...", or
// "error ..."). Started with the playwright-core folder in NODE_PATH.
//   open URL            loads the page, waits for its first picture
//   shot FILE           the panel's canvas as a PNG file
//   state               "ok LINK DRAWN" (link 1 or 0, pictures drawn so far)
//   wait_link 0|1 SECS  until the page's link is down or up again
//   wait_drawn N SECS   until more than N pictures were drawn
//   tap X Y             a touch at canvas pixel X, Y
//   hold X Y MS         pressed there for MS milliseconds; answers the time it was let go
//   press X Y           pressed there until `release` (which answers the time it was let go)
//   taps N X Y MS       N taps there, MS milliseconds apart; answers the time of the last
//   size W H            the browser's viewport
//   stats               "ok DRAWN DRAWN_AT BYTES" (the last picture's time, bytes received)
//   more N URL          N more pages open at URL (each a browser of its own to the server)
//   last_status         the newest page's link (1 or 0) and the text it shows when down
//   close_more          closes the pages `more` opened
"use strict";
const {chromium} = require("playwright-core");
const readline = require("readline");
const fs = require("fs");

async function main() {
  const profile = fs.mkdtempSync(require("os").tmpdir() + "/vd-chromium-");
  // A new empty profile of its own (launchPersistentContext's folder is --user-data-dir).
  const browser = await chromium.launchPersistentContext(profile, {
    executablePath: process.env.VD_CHROMIUM || "/usr/bin/chromium",
    headless: true,
    viewport: {width: 1000, height: 600},
    args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
           "--disable-background-networking", "--disable-component-update", "--disable-sync"],
  });
  const page = browser.pages()[0] || (await browser.newPage());
  const others = [];
  const state = () => page.evaluate(() => [window.vd ? (vd.link ? 1 : 0) : 0, window.vd ? vd.drawn : 0]);
  const until = async (test, secs) => {
    for (const end = Date.now() + secs * 1000; Date.now() < end;) {
      if (await test()) return true;
      await new Promise((r) => setTimeout(r, 50));
    }
    return false;
  };
  const at = async (x, y) => {
    const box = await page.locator("#panel").boundingBox();
    const w = await page.evaluate(() => document.getElementById("panel").width);
    const k = box.width / w;
    return [box.x + (Number(x) + 0.5) * k, box.y + (Number(y) + 0.5) * k];
  };
  const commands = {
    async open(url) {
      await page.goto(url);
      if (!(await until(async () => (await state())[1] > 0, 20))) throw new Error("no picture");
      return "";
    },
    async shot(file) {
      const data = await page.evaluate(() => document.getElementById("panel").toDataURL("image/png"));
      fs.writeFileSync(file, Buffer.from(data.split(",")[1], "base64"));
      return "";
    },
    async state() { return (await state()).join(" "); },
    async wait_link(up, secs) {
      if (!(await until(async () => (await state())[0] === Number(up), Number(secs)))) throw new Error("link not " + up);
      return "";
    },
    async wait_drawn(n, secs) {
      if (!(await until(async () => (await state())[1] > Number(n), Number(secs)))) throw new Error("not drawn");
      return "";
    },
    async tap(x, y) { // answers the time of the touch
      const [px, py] = await at(x, y);
      await page.mouse.move(px, py);
      const t = Date.now();
      await page.mouse.down();
      await page.mouse.up();
      return String(t);
    },
    async hold(x, y, ms) {
      const [px, py] = await at(x, y);
      await page.mouse.move(px, py);
      await page.mouse.down();
      await new Promise((r) => setTimeout(r, Number(ms)));
      const t = Date.now();
      await page.mouse.up();
      return String(t);
    },
    async press(x, y) {
      const [px, py] = await at(x, y);
      await page.mouse.move(px, py);
      await page.mouse.down();
      return "";
    },
    async release() {
      const t = Date.now();
      await page.mouse.up();
      return String(t);
    },
    async taps(n, x, y, ms) {
      const [px, py] = await at(x, y);
      await page.mouse.move(px, py);
      let t = 0;
      for (let i = 0; i < Number(n); i++) {
        const next = Date.now() + Number(ms);
        t = Date.now();
        await page.mouse.down();
        await page.mouse.up();
        await new Promise((r) => setTimeout(r, Math.max(0, next - Date.now())));
      }
      return String(t);
    },
    async last_status() {
      const p = others[others.length - 1];
      return (await p.evaluate(() => [vd.link ? 1 : 0, vd.link ? "" : document.getElementById("status").textContent])).join(" ");
    },
    async close_more() {
      for (const p of others.splice(0)) await p.close();
      return "";
    },
    async stats() { return (await page.evaluate(() => [vd.drawn, vd.drawnAt, vd.bytes])).join(" "); },
    async more(n, url) {
      for (let i = 0; i < Number(n); i++) {
        const p = await browser.newPage();
        others.push(p);
        await p.goto(url);
      }
      return "";
    },
    async size(w, h) { await page.setViewportSize({width: Number(w), height: Number(h)}); return ""; },
  };
  const lines = readline.createInterface({input: process.stdin});
  for await (const line of lines) {
    const [name, ...args] = line.trim().split(/\s+/);
    try {
      if (!commands[name]) throw new Error("unknown command " + name);
      console.log(("ok " + (await commands[name](...args))).trim());
    } catch (e) {
      console.log("error " + String(e.message).split("\n")[0]);
    }
  }
  await browser.close();
  fs.rmSync(profile, {recursive: true, force: true});
}
main().catch((e) => { console.log("error " + e.message); process.exit(1); });
