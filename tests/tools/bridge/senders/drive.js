// Sends Art-Net and sACN to lumenta-bridge for its tests, with the npm packages `artnet` and `sacn`.
// Every packet goes by unicast to the host a command names (a loopback address); nothing is
// broadcast and no multicast group is joined.
//
// One JSON command a line on standard input, one answer a line on standard output ("ok" or
// "error: ..."):
//   {"op":"artnet","host":H,"universe":U,"channel":C,"values":[...]}   artnet's set(): port-address U,
//        slots from C on
//   {"op":"sacn","host":H,"universe":U,"cid":C,"name":N,"priority":P,"levels":{"1":v,...}}
//        sacn's Sender, one a host, universe and CID, numbering its packets itself
//   {"op":"sacn-packet", ...the same..., "sequence":S, "terminate":true|false}
//        sacn's Packet with a sequence number of the test's choosing, the stream-terminated option
//        set when asked, sent on a plain socket
//   {"op":"close"}                                                      ends the program
'use strict';
const dgram = require('dgram');
const readline = require('readline');
const artnetModule = require('artnet');
const { Sender, Packet } = require('sacn');

const SACN_PORT = 5568;
const STREAM_TERMINATED = 0x40;
const OPTIONS_OFFSET = 112;

const artnetSenders = new Map();
const sacnSenders = new Map();
const plainSocket = dgram.createSocket('udp4');

function loopbackOnly(host) {
  if (!/^127\.\d+\.\d+\.\d+$/.test(host)) {
    throw new Error(`refusing to send to ${host}: the tests send to loopback addresses only`);
  }
  return host;
}

function artnetTo(host) {
  if (!artnetSenders.has(host)) {
    // A host that does not end in 255 is sent to by unicast, from an unbound socket.
    artnetSenders.set(host, artnetModule({ host: loopbackOnly(host), refresh: 60000 }));
  }
  return artnetSenders.get(host);
}

function cidOf(text) {
  const cid = Buffer.from(text.padEnd(32, '0').slice(0, 32), 'hex');
  if (cid.length !== 16) throw new Error(`bad cid ${text}`);
  return cid;
}

function packetOptions(command) {
  return {
    payload: command.levels || {},
    sourceName: command.name || 'lumenta test',
    priority: command.priority,
    cid: cidOf(command.cid || '1'),
    useRawDmxValues: true,
  };
}

function sacnSender(command) {
  const key = `${command.host}/${command.universe}/${command.cid}`;
  if (!sacnSenders.has(key)) {
    sacnSenders.set(key, new Sender({
      universe: command.universe,
      useUnicastDestination: loopbackOnly(command.host),
    }));
  }
  return sacnSenders.get(key);
}

function sendPlain(buffer, host) {
  return new Promise((resolve, reject) => {
    plainSocket.send(buffer, SACN_PORT, loopbackOnly(host), (err) => (err ? reject(err) : resolve()));
  });
}

async function run(command) {
  switch (command.op) {
    case 'artnet':
      // The package sends at most every 25 ms and then the newest data; the answer does not wait.
      artnetTo(command.host).set(command.universe, command.channel, command.values);
      return;
    case 'sacn':
      await sacnSender(command).send(packetOptions(command));
      return;
    case 'sacn-packet': {
      const packet = new Packet({ ...packetOptions(command), universe: command.universe, sequence: command.sequence });
      const buffer = packet.buffer;
      if (command.terminate) buffer[OPTIONS_OFFSET] |= STREAM_TERMINATED;
      await sendPlain(buffer, command.host);
      return;
    }
    case 'close':
      // artnet's set() sends a moment later.
      await new Promise((resolve) => setTimeout(resolve, 100));
      for (const sender of artnetSenders.values()) sender.close();
      for (const sender of sacnSenders.values()) sender.close();
      plainSocket.close();
      process.stdout.write('ok\n', () => process.exit(0));
      return 'closed';
    default:
      throw new Error(`unknown op ${command.op}`);
  }
}

const lines = readline.createInterface({ input: process.stdin });
let queue = Promise.resolve();
lines.on('line', (line) => {
  queue = queue.then(async () => {
    try {
      if ((await run(JSON.parse(line))) !== 'closed') process.stdout.write('ok\n');
    } catch (err) {
      process.stdout.write(`error: ${err.message}\n`);
    }
  });
});
lines.on('close', () => queue.then(() => process.exit(0)));
