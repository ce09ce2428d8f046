#!/usr/bin/env python3
"""Generates the program's three sounds as 16-bit mono WAV files with the standard library:

  nextsearch.wav  a rising two-note chime     (a search string starts)
  foundfax.wav    one short bright blip       (a new fax number is stored; plays often)
  finished.wav    a falling three-note close  (the harvest stops)

Each note is a soft bell: a sine with a little of its octave and twelfth, a quick attack and
an exponential decay. The output is deterministic.

Usage: scripts/make-sounds.py [OUTPUT_DIR]   (default: resources/sounds beside this script)
"""
import math
import os
import struct
import sys
import wave

RATE = 44100
PEAK = 0.5  # of full scale: about -6 dBFS, gentle beside other programs' sounds


def note_freq(name):
    names = {"C": -9, "D": -7, "E": -5, "F": -4, "G": -2, "A": 0, "B": 2}
    semis = names[name[0]] + (1 if "#" in name else 0)
    octave = int(name[-1])
    return 440.0 * 2 ** ((semis + (octave - 4) * 12) / 12.0)


def bell(freq, start, length, decay, gain=1.0):
    """(start, samples) of one note; decay is the time constant in seconds."""
    n = int(length * RATE)
    attack = int(0.006 * RATE)
    out = []
    for i in range(n):
        t = i / RATE
        env = math.exp(-t / decay)
        if i < attack:
            env *= i / attack
        # fade the last 10 ms to silence so that no note ends in a click
        tail = n - i
        if tail < int(0.01 * RATE):
            env *= tail / (0.01 * RATE)
        s = (math.sin(2 * math.pi * freq * t)
             + 0.25 * math.sin(2 * math.pi * 2 * freq * t) * math.exp(-t / (decay * 0.5))
             + 0.08 * math.sin(2 * math.pi * 3 * freq * t) * math.exp(-t / (decay * 0.3)))
        out.append(gain * env * s)
    return int(start * RATE), out


def mix(notes, total):
    buf = [0.0] * int(total * RATE)
    for start, samples in notes:
        for i, v in enumerate(samples):
            if start + i < len(buf):
                buf[start + i] += v
    peak = max(abs(v) for v in buf) or 1.0
    return [v / peak * PEAK for v in buf]


def write(path, samples):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(b"".join(struct.pack("<h", int(round(v * 32767))) for v in samples))


SOUNDS = {
    "nextsearch.wav": (0.55, [bell(note_freq("E5"), 0.0, 0.30, 0.12),
                              bell(note_freq("A5"), 0.12, 0.43, 0.16)]),
    "foundfax.wav": (0.16, [bell(note_freq("C6"), 0.0, 0.16, 0.045, 0.9),
                            bell(note_freq("G6"), 0.0, 0.16, 0.03, 0.35)]),
    "finished.wav": (0.95, [bell(note_freq("G5"), 0.0, 0.35, 0.14),
                            bell(note_freq("E5"), 0.16, 0.35, 0.14),
                            bell(note_freq("C5"), 0.32, 0.63, 0.22)]),
}


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "resources", "sounds")
    os.makedirs(out, exist_ok=True)
    for name, (total, notes) in SOUNDS.items():
        write(os.path.join(out, name), mix(notes, total))
        print("wrote", name)


if __name__ == "__main__":
    main()
