// Hostile and broken clients for the tablet panel's server, all at once, for SECONDS seconds:
// from another address of this machine (127.0.0.2), 200 connections that never send a request
// (each opened again when dropped) and 24 refused requests trickling a body at 12 bytes/s in
// all (each opened again when closed); a WebSocket client that never reads, malformed frames,
// an oversized frame, a frame that claims 1 GiB and a frame begun and never finished. Prints
// one line per check ("closed" when the server closed a connection it had to close, with the
// milliseconds it took) and "done" at the end.
//   node abuse.js PORT CODE SECONDS
"use strict";
const net = require("net");
const [port, code, seconds] = [Number(process.argv[2]), process.argv[3], Number(process.argv[4])];

function upgrade(onOpen) {
  const s = net.connect(port, "127.0.0.1", () => {
    s.write("GET /ws?code=" + code + " HTTP/1.1\r\nHost: x\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n" +
            "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
  });
  let open = false;
  s.on("data", () => { if (!open) { open = true; onOpen(s); } });
  s.on("error", () => {});
  return s;
}

// A masked client frame: opcode, payload, and the length as the header claims it.
function frame(opcode, payload, claimed = payload.length) {
  let head;
  if (claimed < 126) head = Buffer.from([0x80 | opcode, 0x80 | claimed]);
  else if (claimed < 65536) head = Buffer.from([0x80 | opcode, 0x80 | 126, claimed >> 8, claimed & 255]);
  else { head = Buffer.alloc(10); head[0] = 0x80 | opcode; head[1] = 0x80 | 127; head.writeBigUInt64BE(BigInt(claimed), 2); }
  return Buffer.concat([head, Buffer.alloc(4), payload]); // a zero mask leaves the payload as it is
}

function expectClose(name, send) {
  let t0 = 0;
  const s = upgrade((sock) => { t0 = Date.now(); send(sock); });
  s.on("close", () => console.log("closed " + name + " " + (Date.now() - t0)));
}

let ending = false;
const idle = [];
function silent() { // a connection that never sends a request, opened again when dropped
  const s = net.connect({port, host: "127.0.0.1", localAddress: "127.0.0.2"});
  s.on("error", () => {});
  s.on("close", () => { if (!ending) silent(); });
  idle.push(s);
}
const refusedBody = "POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 100000\r\n\r\n";
let trickle = [];
function trickler() { // a refused request whose body trickles in; opened again when closed
  const s = net.connect({port, host: "127.0.0.1", localAddress: "127.0.0.2"}, () => s.write(refusedBody));
  s.on("error", () => {});
  s.on("close", () => { trickle = trickle.filter((x) => x !== s); if (!ending) setTimeout(trickler, 100); });
  trickle.push(s);
}
for (let i = 0; i < 200; i++) silent();
for (let i = 0; i < 24; i++) trickler();
let turn = 0;
const drip = setInterval(() => { // 12 bytes a second across them all
  if (trickle.length) trickle[turn++ % trickle.length].write("x");
}, 1000 / 12);
const deaf = upgrade((s) => s.pause()); // takes the pictures into its buffers and never reads
expectClose("oversized", (s) => s.write(frame(1, Buffer.alloc(65536, 0x6b))));
expectClose("huge-claim", (s) => s.write(frame(1, Buffer.alloc(16), 2 ** 30)));
expectClose("stalled", (s) => s.write(frame(1, Buffer.from("kc"), 5)));
expectClose("garbage", (s) => s.write(Buffer.alloc(32, 0xff)));
const junk = upgrade((s) => {
  s.write(frame(1, Buffer.from("kz"))); // not a key of ours
  s.write(frame(1, Buffer.from("q")));
  s.write(frame(2, Buffer.from([1, 2, 3]))); // binary
  s.write(frame(1, Buffer.from("r9")));
});
setTimeout(() => {
  ending = true;
  clearInterval(drip);
  for (const s of [...idle, ...trickle, deaf, junk]) s.destroy();
  console.log("done");
  process.exit(0);
}, seconds * 1000);
