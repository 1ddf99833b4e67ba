#!/usr/bin/env python3
"""Draws the toolbar pictures and the program icon with ImageMagick.

Run from anywhere; writes into the folder of this script:
  toolbar1.bmp  eight 20x20 pictures, 24-bit, magenta (FF00FF) is transparent
  toolbar2.bmp  the same eight with an alpha channel (32-bit)
  toolbar3.bmp  greyed versions of toolbar2 for disabled buttons (32-bit)
  pelbo.ico     the program icon, 16/32/48 pixels
Picture order: delete, backup, settings, close, new, save, about, help.
"""
import math
import os
import subprocess
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
S = 80          # drawing size; pictures are reduced to 20x20
FONT = "DejaVu-Sans-Bold"


def gear(cx, cy, r_out, r_in, teeth):
    pts = []
    for i in range(teeth * 4):
        a = 2 * math.pi * i / (teeth * 4) - math.pi / 2
        r = r_out if (i % 4) in (1, 2) else r_in
        pts.append(f"{cx + r * math.cos(a):.1f},{cy + r * math.sin(a):.1f}")
    return "polygon " + " ".join(pts)


# Each picture: a list of ImageMagick -draw argument groups (fill, stroke, width, primitive).
PICTURES = [
    # 0 delete: a red cross
    [("#b81c1c", "#7a0c0c", 4, None, "path 'M 18,26 L 26,18 L 40,32 L 54,18 L 62,26 L 48,40 L 62,54 L 54,62 L 40,48 L 26,62 L 18,54 L 32,40 Z'")],
    # 1 backup: a carton with a green arrow going into it
    [("#d9a45a", "#7a5220", 3, None, "polygon 10,40 70,40 70,74 10,74"),
     ("#e8be7e", "#7a5220", 3, None, "polygon 10,40 20,30 60,30 70,40"),
     ("#2f9e3a", "#16571c", 3, None, "polygon 30,4 50,4 50,24 62,24 40,48 18,24 30,24")],
    # 2 settings: a grey gear
    [("#8a96a8", "#3c4656", 3, None, gear(40, 40, 36, 26, 8)),
     ("#dfe6ee", "#3c4656", 3, None, "circle 40,40 40,52")],
    # 3 close: a door with a red arrow leaving it
    [("#9c6a3a", "#553415", 3, None, "polygon 8,6 44,6 44,74 8,74"),
     ("#f0d090", "#553415", 2, None, "circle 35,42 35,46"),
     ("#d03a2a", "#7a1a10", 3, None, "polygon 40,32 58,32 58,20 76,40 58,60 58,48 40,48")],
    # 4 new: a white sheet with a folded corner and a spark
    [("#ffffff", "#4a5a70", 3, None, "polygon 16,6 50,6 66,22 66,74 16,74"),
     ("#d8e0ea", "#4a5a70", 3, None, "polygon 50,6 50,22 66,22"),
     (None, "#9aaabb", 3, None, "line 24,36 58,36"), (None, "#9aaabb", 3, None, "line 24,48 58,48"),
     (None, "#9aaabb", 3, None, "line 24,60 50,60"),
     ("#ffcc00", "#b07800", 2, None, "polygon 14,2 18,12 28,14 18,18 14,28 10,18 0,14 10,12")],
    # 5 save: a blue floppy disk
    [("#2c5aa0", "#162e55", 3, None, "path 'M 8,8 L 64,8 L 74,18 L 74,74 L 8,74 Z'"),
     ("#f4f6f8", "#162e55", 2, None, "polygon 18,8 58,8 58,32 18,32"),
     ("#2c5aa0", None, 0, None, "polygon 46,12 54,12 54,28 46,28"),
     ("#dfe4ea", "#162e55", 2, None, "polygon 18,46 64,46 64,74 18,74"),
     (None, "#8a96a8", 3, None, "line 24,56 58,56"), (None, "#8a96a8", 3, None, "line 24,65 58,65")],
    # 6 about: a blue disc with an "i"
    [("#2f6fd0", "#163a75", 3, None, "circle 40,40 40,4"),
     ("#ffffff", None, 0, None, "circle 40,21 40,27"),
     ("#ffffff", None, 0, None, "roundrectangle 34,33 46,64 3,3")],
    # 7 help: a green disc with a question mark
    [("#2e9a55", "#14552c", 3, None, "circle 40,40 40,4"),
     ("#ffffff", None, 0, "text", "?")],
]


def draw_picture(items, out_png):
    cmd = ["convert", "-size", f"{S}x{S}", "xc:none", "-draw", "stroke-linejoin round"]
    for fill, stroke, width, kind, prim in items:
        cmd += ["-fill", fill or "none", "-stroke", stroke or "none", "-strokewidth", str(width)]
        if kind == "text":
            cmd += ["-font", FONT, "-pointsize", "62", "-gravity", "center", "-annotate", "+1+3", prim,
                    "-gravity", "northwest"]
        else:
            cmd += ["-draw", prim]
    cmd += ["-resize", "20x20", out_png]
    subprocess.run(cmd, check=True)


def main():
    with tempfile.TemporaryDirectory() as tmp:
        pngs = []
        for i, items in enumerate(PICTURES):
            p = os.path.join(tmp, f"p{i}.png")
            draw_picture(items, p)
            pngs.append(p)
        strip = os.path.join(tmp, "strip.png")
        subprocess.run(["convert", *pngs, "+append", strip], check=True)
        # With alpha: 32-bit BMP (BITMAPV5 header, BGRA).
        subprocess.run(["convert", strip, "-define", "bmp:format=bmp4", "-alpha", "on",
                        os.path.join(HERE, "toolbar2.bmp")], check=True)
        # Masked: half-transparent edges blend into the button face, the rest becomes magenta.
        flat = os.path.join(tmp, "flat.png")
        mask = os.path.join(tmp, "mask.png")
        subprocess.run(["convert", strip, "-background", "#F0F0F0", "-alpha", "remove", "-alpha", "off", flat],
                       check=True)
        subprocess.run(["convert", strip, "-alpha", "extract", "-threshold", "45%", mask], check=True)
        subprocess.run(["convert", flat, mask, "-alpha", "off", "-compose", "CopyOpacity", "-composite",
                        "-background", "#FF00FF", "-alpha", "remove", "-alpha", "off", "-type", "TrueColor",
                        "BMP3:" + os.path.join(HERE, "toolbar1.bmp")], check=True)
        # Disabled: grey, lighter, half transparent.
        subprocess.run(["convert", strip, "-colorspace", "Gray", "-colorspace", "sRGB",
                        "-channel", "RGB", "-level", "-40%,100%", "+channel",
                        "-channel", "A", "-evaluate", "multiply", "0.55", "+channel",
                        "-define", "bmp:format=bmp4", os.path.join(HERE, "toolbar3.bmp")], check=True)
        # Program icon: a green-blue vault plate with a carton and an arrow.
        big = os.path.join(tmp, "icon.png")
        subprocess.run([
            "convert", "-size", "256x256", "xc:none",
            "-fill", "#1f6f8b", "-stroke", "#0d3a4a", "-strokewidth", "8",
            "-draw", "roundrectangle 12,12 244,244 40,40",
            "-fill", "#e8be7e", "-stroke", "#7a5220", "-strokewidth", "8",
            "-draw", "polygon 44,130 212,130 212,222 44,222",
            "-fill", "#f3d7a6", "-draw", "polygon 44,130 72,100 184,100 212,130",
            "-fill", "#5fd16a", "-stroke", "#1c6b25", "-strokewidth", "8",
            "-draw", "polygon 104,24 152,24 152,84 188,84 128,150 68,84 104,84",
            big], check=True)
        subprocess.run(["convert", big, "-define", "icon:auto-resize=48,32,16",
                        os.path.join(HERE, "pelbo.ico")], check=True)


if __name__ == "__main__":
    main()
