#!/usr/bin/python3
"""Takes a screenshot of the main dialog on Wine's virtual desktop and checks it loosely.

usage: dialog_screenshot.py DISPLAY DESKTOP_WIDTH DESKTOP_HEIGHT OUT.png

Waits (30 s at most) until a window stands on the desktop's plain background, saves the
screen as OUT.png for a person to look at, then checks what the template promises: the
dialog is centred, has a caption band of one colour above its face, and the three buttons
of its last row (Start, Pause, Stop) carry text where the template puts them. Exit 0 when
every check holds; each failed check is printed.
"""
import sys
import time

from PIL import ImageGrab

# The main dialog's template, in dialog units: its size and the buttons of the last row.
TEMPLATE_WIDTH, TEMPLATE_HEIGHT = 133, 94
BUTTONS = {"Start": (3, 79, 39, 13), "Pause": (46, 79, 39, 13), "Stop": (85, 79, 39, 13)}
WAIT_SECONDS = 30
CENTRE_SLACK = 8           # pixels the dialog's centre may be off the desktop's
MIN_TEXT_PIXELS = 6        # pixels unlike the button face inside a labelled button
COLOUR_SLACK = 24          # per channel, for "the same colour"


def same(a, b):
    return all(abs(x - y) <= COLOUR_SLACK for x, y in zip(a, b))


def dialog_box(image, width, height):
    """The bounding box of what is not the desktop's background, or None."""
    background = image.getpixel((1, 1))
    xs, ys = [], []
    for y in range(0, height, 2):
        for x in range(0, width, 2):
            if not same(image.getpixel((x, y)), background):
                xs.append(x)
                ys.append(y)
    if not xs:
        return None
    return min(xs), min(ys), max(xs) + 1, max(ys) + 1


def check(image, width, height):
    failures = []
    box = dialog_box(image, width, height)
    if box is None:
        return ["no window on the desktop"]
    left, top, right, bottom = box
    centre_x, centre_y = (left + right) / 2, (top + bottom) / 2
    if abs(centre_x - width / 2) > CENTRE_SLACK or abs(centre_y - height / 2) > CENTRE_SLACK:
        failures.append(f"the dialog {box} is not centred on the {width}x{height} desktop")
    # The caption: rows of one colour from the top edge down to the face.
    caption = image.getpixel((left + 4, top + 3))
    caption_bottom = top + 3
    while caption_bottom < bottom and same(image.getpixel((left + 4, caption_bottom)), caption):
        caption_bottom += 1
    face = image.getpixel((right - 3, bottom - 12))
    if caption_bottom - top < 10 or same(caption, face):
        failures.append(f"no caption band at the top (colour {caption}, face {face})")
    # Dialog units to pixels, from the client area the frame leaves.
    client_top, client_height = caption_bottom, bottom - caption_bottom
    scale_x = (right - left) / TEMPLATE_WIDTH
    scale_y = client_height / TEMPLATE_HEIGHT
    for name, (x, y, w, h) in BUTTONS.items():
        x0 = int(left + (x + w * 0.25) * scale_x)
        x1 = int(left + (x + w * 0.75) * scale_x)
        y0 = int(client_top + (y + h * 0.3) * scale_y)
        y1 = int(client_top + (y + h * 0.7) * scale_y)
        marks = sum(1 for yy in range(y0, y1) for xx in range(x0, x1)
                    if not same(image.getpixel((xx, yy)), face))
        if marks < MIN_TEXT_PIXELS:
            failures.append(f"no label on {name} at ({x0},{y0})-({x1},{y1})")
    return failures


def main():
    display, width, height, out = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
    deadline = time.monotonic() + WAIT_SECONDS
    image = None
    while time.monotonic() < deadline:
        image = ImageGrab.grab(xdisplay=display).convert("RGB")
        if dialog_box(image, width, height) is not None:
            time.sleep(2)  # the controls are drawn after the frame
            image = ImageGrab.grab(xdisplay=display).convert("RGB")
            break
        time.sleep(0.5)
    image.save(out)
    failures = check(image, width, height)
    for failure in failures:
        print(f"dialog_screenshot: {failure}", file=sys.stderr)
    print(f"dialog_screenshot: {out}: " + ("as the template says" if not failures else "see above"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
