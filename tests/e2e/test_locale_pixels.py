"""The joiner reads the same, in Russian, whatever the system's code page: under the ru_RU (1251),
en_US (1252) and ja_JP (932) locales the window before a join and after it (its outcome line and
the button "Выход"), after a join that rebuilt a piece and after one that found a piece damaged,
is the same pixels: the RGB bytes of its client area, from screenshots, compared byte for byte.
The joined file's Cyrillic name, shown there, comes from the header's name field on every system.

The boxes naming the rebuilt and the damaged pieces are the system's message boxes: the program
hands them the same text under every locale (the relay log's wide string), and under en_US they
are the same pixels above their button, whose label ("OK", "ОК") is the system's own. A Japanese
system draws its boxes in its own font (another size of box): there only the text is compared."""
import re

import tarnovell_e2e as e
import join_common as j
import digest_sets as d

LOCALES = ("ru_RU", "en_US", "ja_JP")
NAME = "Отпуск на море.bin"
BUTTON_ROWS = 38  # the bottom of a box: its button and the margin below


def settled(geometry, rows, ready, what):
    """The bytes of the first rows of a window's client area once ready(pixels) holds and two
    screenshots 0.3 s apart agree: nothing is drawn there any more."""
    last = []
    def still():
        pixels = e.screenshot().client(geometry)[:geometry[2] * 3 * rows]
        same = ready(pixels) and last == [pixels]
        last[:] = [pixels]
        return pixels if same else None
    return e.wait_until(still, 30, interval=0.3, what=what)


def box_shot():
    """The message box on the screen once its text is drawn: its size and the bytes of its
    client area above the button."""
    box = e.wait_until(e.message_boxes, 60, what="the box on screen")[0]
    geometry = e.window_geometry(box)
    width, rows = geometry[2], geometry[3] - BUTTON_ROWS
    def text(pixels):  # black right of the icon
        return any(pixels[(y * width + x) * 3:(y * width + x) * 3 + 3] == bytes(j.BLACK)
                   for y in range(rows) for x in range(60, width))
    return geometry[2:], settled(geometry, rows, text, "the box's text drawn")


def window_shot(geometry):
    return geometry[2:], settled(geometry, geometry[3], lambda pixels: True, "the window drawn")


def join(work, views, texts, box, after, outcome):
    """Joins the set in work through the window, each view taken on the way; the box's text as
    the relay log shows it into texts."""
    proc, win = j.start(work / "DATA.exe", relay=True)
    geometry = e.window_geometry(win)
    e.wait_painted(win)
    views.setdefault("the window", window_shot(geometry))
    j.press_start(win)
    j.save_as(proc, work / "out.bin")
    views[box] = box_shot()
    texts[box] = [e.message_box_call(line)[1] for line in e.relay_calls(proc, "user32.MessageBoxW")]
    d.answer_box()
    j.wait_outcome_only(geometry, outcome, {j.BLACK, j.DARK_RED, j.RED} - {outcome})
    views[after] = window_shot(geometry)
    j.press_exit(proc, d.main_window(proc))


def seen_under(locale):
    e.use_locale(locale)
    views, texts = {}, {}
    work = e.work_dir(f"locale_pixels_{locale}")
    _, data = d.tool_set(work, 400000, 160000, name=NAME, recovery=1)
    (work / "DATA.c001").unlink()
    join(work, views, texts, "the box of rebuilt pieces", "the window after a rebuild", j.BLACK)
    assert (work / "out.bin").read_bytes() == data, "the rebuilt join differs"
    work = e.work_dir(f"locale_pixels_{locale}_damaged")
    d.tool_set(work, 400000, 160000, name=NAME)
    d.flip_bit(work / "DATA.c001", 1000)
    join(work, views, texts, "the box of damaged pieces", "the window after damage", j.DARK_RED)
    return views, texts


def save(folder, name, size, pixels):
    """A view as a PPM picture, for a look at a difference."""
    path = folder / (re.sub(r"\W+", "_", name) + ".ppm")
    path.write_bytes(b"P6 %d %d 255\n" % (size[0], len(pixels) // 3 // size[0]) + pixels)


def main():
    seen = {locale: seen_under(locale) for locale in LOCALES}
    views, texts = seen["ru_RU"]
    assert texts == {"the box of rebuilt pieces": [d.rebuilt_box_text("DATA.C001")],
                     "the box of damaged pieces": [d.box_text("DATA.C001")]}, texts
    folder = e.work_dir("locale_pixels_views")
    for locale in LOCALES[1:]:
        other_views, other_texts = seen[locale]
        assert other_texts == texts, f"the boxes' texts under {locale}: {other_texts}"
        for view, (size, pixels) in views.items():
            if locale == "ja_JP" and "box" in view:
                continue
            other_size, other = other_views[view]
            differing = sum(1 for i in range(0, len(pixels), 3) if pixels[i:i + 3] != other[i:i + 3])
            if differing or other_size != size:
                save(folder, f"{view} ru_RU", size, pixels)
                save(folder, f"{view} {locale}", other_size, other)
            assert other_size == size, f"{view} under {locale}: {other_size}, not {size} (see {folder})"
            assert differing == 0, f"{view} under {locale}: {differing} pixels differ (see {folder})"


e.run_case(main)
