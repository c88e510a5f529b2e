#!/usr/bin/env python3
"""Draws the program's pictures with ImageMagick's drawing primitives.

Run by hand from this folder when a picture changes; the PNGs it writes are
kept in the tree and built into the program through crawler_icons.qrc.
"""
import math
import subprocess

S = 256  # drawn at 256 px, stored at 64 (128 for the decoration): smooth edges


def web(cx, cy, r, spokes=8, rings=(0.35, 0.62, 0.9)):
    """A spider's web: spokes and rings of straight threads."""
    out = []
    pts = [(cx + r * math.cos(2 * math.pi * k / spokes - math.pi / 2),
            cy + r * math.sin(2 * math.pi * k / spokes - math.pi / 2)) for k in range(spokes)]
    for x, y in pts:
        out.append(f"line {cx},{cy} {x:.1f},{y:.1f}")
    for f in rings:
        ring = " ".join(f"{cx + (x - cx) * f:.1f},{cy + (y - cy) * f:.1f}" for x, y in pts)
        out.append(f"polygon {ring}")
    return out


def spider(cx, cy, s):
    """A small spider: body, head and eight bent legs."""
    out = []
    for side in (-1, 1):
        for k, (a, b) in enumerate([(-50, -80), (-20, -35), (15, 30), (45, 75)]):
            kx, ky = cx + side * s * 0.9, cy + s * (k - 1.5) * 0.45
            ex = cx + side * s * 1.7
            ey = cy + s * (k - 1.5) * 0.9
            out.append(f"polyline {cx},{cy} {kx:.1f},{ky - s * 0.35:.1f} {ex:.1f},{ey:.1f}")
    return out


def magick(name, size, commands, stroke_width, text=None):
    args = ["convert", "-size", f"{S}x{S}", "xc:none", "-strokewidth", str(stroke_width)]
    for fill, stroke, draws in commands:
        args += ["-fill", fill, "-stroke", stroke]
        for d in draws:
            args += ["-draw", d]
    if text:
        args += ["-fill", "white", "-stroke", "none", "-font", "DejaVu-Sans-Bold", "-pointsize", "190",
                 "-gravity", "center", "-annotate", "+0+6", text]
    args += ["-resize", f"{size}x{size}", f"{name}.png"]
    subprocess.run(args, check=True)


def program_icon(name, size, badge=None):
    c = S / 2
    cmds = [
        ("#1f4e79", "#163a5c", [f"roundrectangle 8,8 {S - 8},{S - 8} 44,44"]),
        ("none", "#e8f1fa", web(c, c, S * 0.40)),
        ("#111111", "#111111", spider(c, c + 6, 26)),
        ("#111111", "#111111", [f"ellipse {c},{c + 14} 20,26 0,360", f"circle {c},{c - 22} {c + 13},{c - 22}"]),
        ("#d62f2f", "none", [f"rectangle {c - 4},{c + 4} {c + 4},{c + 24}"]),
    ]
    if badge == "running":
        cmds += [("#2e9d3a", "white", [f"circle 188,188 188,244"]),
                 ("white", "none", ["polygon 170,160 170,216 218,188"])]
    elif badge == "paused":
        cmds += [("#e08a1e", "white", [f"circle 188,188 188,244"]),
                 ("white", "none", ["rectangle 166,162 181,214", "rectangle 195,162 210,214"])]
    magick(name, size, cmds, 6)


def round_button(name, colour, inner):
    magick(name, 64, [(colour, "#00000030", ["circle 128,128 128,14"]), ("white", "none", inner)], 8)


def gear(name):
    teeth, r_out, r_in = 8, 112, 86
    pts = []
    for k in range(teeth * 2):
        for j in (-0.5, 0.5):
            a = math.pi * (k + j * 0.8) / teeth
            r = r_out if k % 2 == 0 else r_in
            pts.append(f"{128 + r * math.cos(a):.1f},{128 + r * math.sin(a):.1f}")
    magick(name, 64, [("#5b6b7c", "#3d4a57", ["polygon " + " ".join(pts)]),
                      ("#f4f6f8", "#3d4a57", ["circle 128,128 128,92"])], 6)


def help_icon(name):
    magick(name, 64, [("#2b6cb0", "none", ["circle 128,128 128,14"])], 8, "?")


def replace_icon(name):
    magick(name, 64, [("#fbfbf7", "#6b6b6b", ["polygon 40,20 160,20 208,68 208,236 40,236"]),
                      ("#d9d9cf", "#6b6b6b", ["polygon 160,20 160,68 208,68"]),
                      ("none", "#9a9a90", ["line 68,104 180,104", "line 68,136 180,136", "line 68,168 150,168"]),
                      ("#d62f2f", "none", ["rectangle 62,196 118,214"]),
                      ("#2e9d3a", "none", ["rectangle 150,196 206,214"]),
                      ("#2b6cb0", "#2b6cb0", ["line 120,205 140,205", "polygon 136,192 152,205 136,218"])], 8)


program_icon("program", 64)
program_icon("running", 64, "running")
program_icon("paused", 64, "paused")
program_icon("decoration", 128)
round_button("run", "#2e9d3a", ["polygon 100,76 100,180 188,128"])
round_button("stop", "#e08a1e", ["rectangle 88,78 116,178", "rectangle 140,78 168,178"])
gear("config")
help_icon("help")
replace_icon("replace")
