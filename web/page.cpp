// The tablet panel's page: plain HTML, CSS and JavaScript with no outside links (the tablet may
// have no internet). It draws each drawing list it is sent exactly as the program draws it into
// its work surface, with the same integer stretch, from the same artwork sheets, at the
// window's own size (?exact) or as large as the screen allows; it sends touches as short
// messages, says on the panel when the link is lost and reconnects by itself.
#include "web/web.h"

const char web_page[] = R"page(<!doctype html>
<html><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width,initial-scale=1,user-scalable=no">
<title>Valdora RMU</title>
<style>
html,body{margin:0;height:100%;overflow:hidden;background:#000;touch-action:none;user-select:none;-webkit-user-select:none}
#box{position:absolute;inset:0;display:flex;align-items:center;justify-content:center}
canvas{display:block;image-rendering:pixelated}
#status{position:absolute;left:0;right:0;top:40%;padding:2vmin;text-align:center;font:bold 5vmin sans-serif;color:#fff;background:rgba(150,0,0,.85);display:none}
</style></head>
<body><div id="box"><canvas id="panel"></canvas></div><div id="status">No link to Valdora &ndash; reconnecting&hellip;</div>
<script>
"use strict";
const query = new URLSearchParams(location.search), code = query.get("code") || "", exact = query.has("exact");
const canvas = document.getElementById("panel"), ctx = canvas.getContext("2d"), statusBox = document.getElementById("status");
const sheets = {}; // artwork set -> promise of [face, picker] pixels
let drawing = null, W = 0, H = 0, G = 0, xs = 1, ys = 1, ws = null, heard = 0;
let stacked = false; // a portrait screen: the second unit under the first, not beside it
window.vd = {drawn: 0, drawnAt: 0, link: false, bytes: 0}; // seen by the tests and benchmarks

async function loadSheet(name) {
  const reply = await fetch(name + "?code=" + encodeURIComponent(code));
  const img = await createImageBitmap(await reply.blob(), {colorSpaceConversion: "none", premultiplyAlpha: "none"});
  const c = document.createElement("canvas");
  c.width = img.width; c.height = img.height;
  const x = c.getContext("2d");
  x.drawImage(img, 0, 0);
  return {w: img.width, h: img.height, px: new Uint32Array(x.getImageData(0, 0, img.width, img.height).data.buffer)};
}

// The program's stretch: source column and row stepped by whole and counted fractional parts.
function stretch(src, dst, DW, DH, sx, sy, sw, sh, dx, dy, dw, dh) {
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
  const cols = new Int32Array(dw), sxinc = Math.floor(sw / dw), xcdec = sw - sxinc * dw, xcinc = dw - xcdec;
  for (let i = 0, s = sx, xc = xcinc; i < dw; i++) {
    cols[i] = s; s += sxinc;
    if (xc <= 0) { s++; xc += xcinc; } else xc -= xcdec;
  }
  const syinc = Math.floor(sh / dh), ycdec = sh - syinc * dh, ycinc = dh - ycdec;
  for (let j = 0, s = sy, yc = ycinc; j < dh; j++) {
    const y = dy + j;
    if (y >= 0 && y < DH && s >= 0 && s < src.h)
      for (let i = 0; i < dw; i++) {
        const x = dx + i;
        if (x >= 0 && x < DW && cols[i] >= 0 && cols[i] < src.w) dst[y * DW + x] = src.px[s * src.w + cols[i]];
      }
    s += syinc;
    if (yc <= 0) { s++; yc += ycinc; } else yc -= ycdec;
  }
}

// Design units to pixels as the program scales them: a float product, truncated.
function scale(v, f) { return Math.trunc(Math.fround(Math.fround(v) * f)); }

function size(d) {
  stacked = false;
  if (exact) { W = d.w; H = d.h; G = d.g; xs = Math.fround(d.xs); ys = Math.fround(d.ys); return; }
  const dpr = window.devicePixelRatio || 1, g = Math.max(d.g, 0);
  const wide = Math.min(innerWidth * dpr / (2 * d.w + d.g), innerHeight * dpr / d.h);
  const tall = Math.min(innerWidth * dpr / d.w, innerHeight * dpr / (2 * d.h + g));
  stacked = tall > wide;
  const s = stacked ? tall : wide;
  W = Math.max(1, Math.floor(d.w * s)); H = Math.max(1, Math.floor(d.h * s)); G = Math.round(d.g * s);
  xs = Math.fround(W / 504); ys = Math.fround(H / 700);
}

function paint(d, face, pick) {
  if (d !== drawing) return; // a newer picture came meanwhile
  size(d);
  const DW = 2 * W + G, DH = H, dpr = exact ? 1 : window.devicePixelRatio || 1;
  const CW = stacked ? W : DW, CH = stacked ? 2 * H + Math.max(G, 0) : DH;
  if (canvas.width !== CW || canvas.height !== CH) { canvas.width = CW; canvas.height = CH; }
  canvas.style.width = CW / dpr + "px"; canvas.style.height = CH / dpr + "px";
  const image = ctx.createImageData(DW, DH), px = new Uint32Array(image.data.buffer);
  for (const [sheet, sx, sy, sw, sh, kind, dx, dy, dw, dh] of d.ops) {
    const src = sheet === 0 ? face : pick;
    if (kind === 0) stretch(src, px, DW, DH, sx, sy, sw, sh, scale(dx, xs), scale(dy, ys), scale(dw, xs), scale(dh, ys));
    else if (kind === 1) stretch(src, px, DW, DH, sx, sy, sw, sh, 0, 0, DW, DH);
    else if (kind === 2) stretch(src, px, DW, DH, sx, sy, sw, sh, 0, 0, W, H);
    else for (let y = 0; y < H; y++) px.copyWithin(y * DW + W + G, y * DW, y * DW + W);
  }
  if (!stacked) ctx.putImageData(image, 0, 0);
  else { // the left unit on top, the right one (its copy) below
    ctx.putImageData(image, 0, 0, 0, 0, W, H);
    ctx.putImageData(image, -(W + G), H + Math.max(G, 0), W + G, 0, W, H);
  }
  const bg = face.px[10 * face.w + 10]; // the face's pixel (10, 10): the window's background
  document.body.style.background = "rgb(" + (bg & 255) + "," + (bg >> 8 & 255) + "," + (bg >> 16 & 255) + ")";
  vd.drawn++;
  vd.drawnAt = Date.now();
}

function render() {
  const d = drawing;
  if (!d) return;
  sheets[d.set] = sheets[d.set] || Promise.all([loadSheet("face" + d.set + ".bmp"), loadSheet("pick" + d.set + ".bmp")]);
  sheets[d.set].then(([face, pick]) => paint(d, face, pick), () => { delete sheets[d.set]; });
}

const lostText = statusBox.textContent;
// The link's state on the panel: up, or down with the server's reason (too many panels open).
function setLink(up, why) {
  vd.link = up; vd.why = why || "";
  statusBox.textContent = why ? "Valdora: " + why + " \u2013 trying again\u2026" : lostText;
  statusBox.style.display = up ? "none" : "block";
}
function send(m) { if (ws && ws.readyState === 1) ws.send(m); }

function connect() {
  ws = new WebSocket((location.protocol === "https:" ? "wss://" : "ws://") + location.host + "/ws?code=" + encodeURIComponent(code));
  ws.onopen = () => { heard = Date.now(); };
  ws.onmessage = (e) => {
    heard = Date.now();
    vd.bytes += e.data.length;
    if (e.data === "h") return;
    drawing = JSON.parse(e.data);
    setLink(true);
    render();
  };
  // 1013, try again later: turned away with its reason (too many panels open); tried less often.
  ws.onclose = (e) => { ws = null; letGo(); const full = e.code === 1013; setLink(false, full ? e.reason : ""); setTimeout(connect, full ? 5000 : 1000); };
}
// Our heartbeat; and a link silent for 5 s (the program's beats every 2 s) is given up.
setInterval(() => { send("p"); if (ws && ws.readyState === 1 && Date.now() - heard > 5000) ws.close(); }, 2500);

// Touch areas on the 504 x 700 face: the six radio windows, the knob, the eight audio keys.
const RADIOS = [[38, 62, 214, 128], [257, 62, 214, 128], [38, 222, 214, 128], [257, 222, 214, 128], [38, 377, 214, 64], [257, 377, 214, 64]];
const KEYS = [["c", 40, 560, 98], ["v", 155, 560, 102], ["n", 275, 560, 85], ["m", 380, 560, 88], ["b", 42, 630, 96], ["a", 160, 630, 88], ["k", 279, 630, 78], ["e", 388, 630, 72]];
const KNOB = [420, 484, 40];

function touched(e) {
  const r = canvas.getBoundingClientRect();
  let x = (e.clientX - r.left) * canvas.width / r.width, y = (e.clientY - r.top) * canvas.height / r.height;
  if (stacked) { if (y >= H + Math.max(G, 0)) y -= H + Math.max(G, 0); else if (y >= H) return null; }
  else if (x >= W + G) x -= W + G; else if (x >= W) return null;
  x /= xs; y /= ys;
  if (Math.abs(x - KNOB[0]) <= KNOB[2] && Math.abs(y - KNOB[1]) <= KNOB[2]) return x < KNOB[0] ? "h-" : "h+";
  for (const [k, kx, ky, kw] of KEYS) if (x >= kx && x < kx + kw && y >= ky && y < ky + 40) return "k" + k;
  for (let n = 0; n < 6; n++) {
    const [rx, ry, rw, rh] = RADIOS[n];
    if (x >= rx && x < rx + rw && y >= ry && y < ry + rh) return (n < 4 && y >= ry + 64 ? "s" : "r") + (n + 1);
  }
  return null;
}

let holding = null;
function letGo() { if (holding) { clearInterval(holding); holding = null; send("h0"); } }
canvas.addEventListener("pointerdown", (e) => {
  e.preventDefault();
  const m = touched(e);
  if (!m) return;
  if (m[0] === "h") letGo();
  send(m);
  if (m[0] === "h") {
    canvas.setPointerCapture(e.pointerId);
    holding = setInterval(() => send(m), 100);
  }
});
for (const ev of ["pointerup", "pointercancel", "lostpointercapture"]) canvas.addEventListener(ev, letGo);
addEventListener("resize", render);
addEventListener("contextmenu", (e) => e.preventDefault());
connect();
</script></body></html>
)page";
