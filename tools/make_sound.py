#!/usr/bin/python3
"""Makes the program's sound, assets/sound/1.wav: a soft jet swell that
passes by, with a two-note chime on top as it fades.

Standard library only, fixed seed: running it again gives the same bytes.
Usage: /usr/bin/python3 tools/make_sound.py [output path]
"""

import math
import os
import random
import struct
import sys
import wave

RATE = 22050
SECONDS = 3.6
PEAK = 0.55  # of full scale, so the chime never clips against the jet


def smoothstep(x):
    x = min(max(x, 0.0), 1.0)
    return x * x * (3.0 - 2.0 * x)


def jet(n, rng):
    """Filtered noise whose brightness and loudness swell and fall away,
    plus a low engine hum: a jet passing overhead."""
    out = []
    lp1 = lp2 = 0.0
    for i in range(n):
        t = i / RATE
        # Swell up to 1.4 s, then fade to the end.
        if t < 1.4:
            env = smoothstep(t / 1.4)
        else:
            env = 1.0 - smoothstep((t - 1.4) / (SECONDS - 1.6))
        # The cutoff follows the swell: darker far away, brighter overhead.
        cutoff = 250.0 + 2200.0 * env
        a = 1.0 - math.exp(-2.0 * math.pi * cutoff / RATE)
        white = rng.uniform(-1.0, 1.0)
        lp1 += a * (white - lp1)
        lp2 += a * (lp1 - lp2)  # two poles for a softer hiss
        # A little Doppler drop in the hum as the aeroplane passes.
        hum_freq = 110.0 - 18.0 * smoothstep((t - 1.0) / 1.2)
        hum = 0.25 * math.sin(2.0 * math.pi * hum_freq * t)
        out.append(env * (1.6 * lp2 + hum * env))
    return out


def chime(n):
    """Two bell notes (a fifth apart) with a soft attack and a long decay."""
    out = [0.0] * n
    for start, freq in ((1.55, 1046.5), (1.85, 1568.0)):
        s = int(start * RATE)
        for i in range(s, n):
            t = (i - s) / RATE
            attack = min(t / 0.004, 1.0)
            decay = math.exp(-t * 2.6)
            tone = (math.sin(2 * math.pi * freq * t)
                    + 0.35 * math.sin(2 * math.pi * freq * 2.76 * t) * math.exp(-t * 6.0)
                    + 0.2 * math.sin(2 * math.pi * freq * 5.4 * t) * math.exp(-t * 11.0))
            out[i] += 0.32 * attack * decay * tone
    return out


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "assets", "sound", "1.wav")
    rng = random.Random(20240611)
    n = int(SECONDS * RATE)
    mix = [a + b for a, b in zip(jet(n, rng), chime(n))]
    # Short fades at both ends so the sound never starts or stops with a click.
    edge = int(0.02 * RATE)
    for i in range(edge):
        g = i / edge
        mix[i] *= g
        mix[n - 1 - i] *= g
    scale = PEAK / max(abs(v) for v in mix)
    frames = b"".join(struct.pack("<h", int(round(v * scale * 32767))) for v in mix)
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(frames)
    print(f"{path}: {n} frames, {os.path.getsize(path)} bytes")


if __name__ == "__main__":
    main()
