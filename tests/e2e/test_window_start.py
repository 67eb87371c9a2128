"""The window of a fresh container: place, size, title, what is painted, and closing it."""
import tarnovell_e2e as e

BAR_BLUE = (0, 0, 127)


def main():
    work = e.work_dir("window_start")
    proc, win = e.start_sample(work, "movie", "C:\\films\\movie.avi", 655360, b"x" * 1000)
    assert e.window_name(win) == "Tarnovell! - movie.EXE", e.window_name(win)

    x, y = e.expected_window_origin()
    expected = (x + e.CLIENT_OFFSET[0], y + e.CLIENT_OFFSET[1]) + e.CLIENT_SIZE
    assert e.window_geometry(win) == expected, (e.window_geometry(win), expected)

    geometry = e.window_geometry(win)
    shot = e.wait_painted(geometry)
    pixel = lambda px, py: shot.client_pixel(geometry, px, py)
    background = pixel(5, 5)
    # Separator frame: top edge 16..264 at y 66; bar frame: top edge at y 93, left edge at x 16.
    for px in (16, 100, 263):
        assert pixel(px, 66) == e.SHADOW, ("separator", px, pixel(px, 66))
        assert pixel(px, 93) == e.SHADOW, ("bar frame top", px, pixel(px, 93))
    for py in (93, 98, 102):
        assert pixel(16, py) == e.SHADOW, ("bar frame left", py, pixel(16, py))
    assert pixel(100, 64) == background and pixel(100, 70) == background
    # No block in the bar before a join.
    bar = shot.region(geometry, 17, 94, 264, 103)
    assert BAR_BLUE not in bar.values(), "a block in the bar before any join"
    # No outcome line: the rows under the bar hold only the background.
    below = shot.region(geometry, 16, 107, 265, 120)
    assert set(below.values()) == {background}, set(below.values())
    # The icon (a black page outline) at 16, 14, and the links in blue.
    assert pixel(16 + 5, 14 + 1) == (0, 0, 0) and pixel(16 + 5, 14 + 20) == (0, 0, 0)
    assert (0, 0, 255) in shot.region(geometry, 140, 29, 230, 42).values(), "credit name not in link blue"
    assert (0, 0, 255) in shot.region(geometry, 66, 45, 206, 58).values(), "web address not in link blue"
    # Size text right-aligned: ink near x 264 on the size line, none right of the frame.
    size_line = shot.region(geometry, 199, 78, 282, 91)
    assert any(v != background for (px, _), v in size_line.items() if 255 <= px < 265)
    assert all(v == background for (px, _), v in size_line.items() if px >= 266)

    e.send_keys(win, "alt+F4")
    assert e.wait_exit(proc, 20) == 0


e.run_case(main)
