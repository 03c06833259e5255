// The midi-file peer of the benchmark: the same drum-kit repair as kadenzo-batch, written
// with the npm package midi-file. Usage: node midi_file_peer.js PATH...; prints
// "files: N, conversions: M" last.
'use strict';
const fs = require('fs');
const { parseMidi, writeMidi } = require('midi-file');

// Drum kits that players have; any other program on a rhythm channel becomes kit 0.
const STANDARD_KITS = new Set([0, 1, 2, 3, 4, 5, 6, 7, 8, 16, 24, 25, 26, 27, 28, 29, 30,
  32, 33, 40, 48, 49, 50, 53, 56, 127]);
const CHANNEL_10 = 9;
const NO_CHANNEL = -1;

// data: the System Exclusive event's bytes after its length, F7 included (midi-file keeps
// it). A GS data set to 40 1x 02 moves part x to another channel; one to 40 1x 15 with a
// value other than 0 makes the channel part x receives on a rhythm channel. Only messages of
// 8 to 126 bytes, from device 0x10 or 0x00, count.
function applyGs(data, partChannel, rhythm) {
  if (data.length < 8 || data.length > 126) return;
  if (data[0] !== 0x41 || (data[1] !== 0x10 && data[1] !== 0x00) || data[2] !== 0x42 ||
      data[3] !== 0x12 || data[4] !== 0x40 || (data[5] & 0xF0) !== 0x10) return;
  const part = data[5] & 0x0F;
  const address = data[6];
  const value = data[7];
  if (address === 0x02) {
    partChannel[part] = value < 16 ? value : NO_CHANNEL;
  } else if (address === 0x15 && value !== 0 && partChannel[part] !== NO_CHANNEL) {
    rhythm[partChannel[part]] = true;
  }
}

// Repairs one parsed song in place; returns the number of programs set to kit 0.
function repair(song) {
  // GS part nibble 0 is part 10 (channel 10), 1..9 are parts 1..9, A..F parts 11..16.
  const partChannel = [9, 0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 15];
  const rhythm = new Array(16).fill(false);
  rhythm[CHANNEL_10] = true;
  let conversions = 0;
  for (const track of song.tracks) {
    for (const event of track) {
      if (event.type === 'programChange') {
        if (rhythm[event.channel] && !STANDARD_KITS.has(event.programNumber)) {
          event.programNumber = 0;
          conversions++;
        }
      } else if (event.type === 'sysEx') {
        applyGs(event.data, partChannel, rhythm);
      }
    }
  }
  return conversions;
}

let files = 0;
let conversions = 0;
for (const path of process.argv.slice(2)) {
  let song;
  try {
    song = parseMidi(fs.readFileSync(path));
  } catch (error) {
    console.error(`cannot read ${path}: ${error}`);
    continue;
  }
  files++;
  const changed = repair(song);
  if (changed) {
    // midi-file keeps running status and note-off spelling, so the rest of the file is
    // written back as it was.
    fs.writeFileSync(path, Buffer.from(writeMidi(song)));
    conversions += changed;
  }
}
console.log(`files: ${files}, conversions: ${conversions}`);
