#!/usr/bin/python3
# Makes the fixtures of the 3x3 convolution test with Pillow:
#   photo.ppm   the 61 x 45 photograph of ../jpegpng as libjpeg decodes it (photo420.s1.ppm)
#   kernel.ppm  photo.ppm through ImageFilter.Kernel with the coefficients below, rows top
#               to bottom, divided by 12.
# Pillow's kernel runs bottom row first, so its list is given with the rows reversed; it
# rounds where the library truncates, and leaves the outermost rows and columns as they were.
import os

from PIL import Image, ImageFilter

HERE = os.path.dirname(os.path.abspath(__file__))
ROWS = [[1, 2, 0], [3, 4, -1], [0, 1, 2]]

src = Image.open(os.path.join(HERE, "../jpegpng/photo420.s1.ppm")).convert("RGB")
src.save(os.path.join(HERE, "photo.ppm"))
kernel = [k for row in reversed(ROWS) for k in row]
src.filter(ImageFilter.Kernel((3, 3), kernel, scale=12)).save(os.path.join(HERE, "kernel.ppm"))
