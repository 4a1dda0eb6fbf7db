#!/usr/bin/python3
# Makes the editor's test pictures: 40 x 30, four coloured quadrants and a black pixel at (0, 0).
from PIL import Image

img = Image.new("RGB", (40, 30))
for y in range(30):
    for x in range(40):
        if x < 20 and y < 15:
            c = (255, 0, 0)
        elif y < 15:
            c = (0, 255, 0)
        elif x < 20:
            c = (0, 0, 255)
        else:
            c = (255, 255, 255)
        img.putpixel((x, y), c)
img.putpixel((0, 0), (0, 0, 0))
img.save("quad.bmp")
img.save("quad.png")
img.save("quad.jpg", quality=95)

# 8 x 6, 16 bits per sample with alpha (64 bits a pixel); no date chunks, so it makes the same bytes again.
import subprocess

subprocess.run(["convert", "-size", "8x6", "gradient:red-blue", "-alpha", "set", "-channel", "A", "-evaluate", "set",
                "50%", "+channel", "-depth", "16", "-define", "png:exclude-chunks=date,time", "PNG64:rgba16.png"],
               check=True)
