"""Sets the recovery files beside them cannot mend join as they would without them: three
damaged pieces with two recovery files (the warning box names all three, the output keeps what
the pieces gave); two damaged pieces and a lost one (the Open dialog asks for the lost one); and
the recovery files of an older split of the same base beside a set with a lost and a damaged
piece (the Open dialog, then the warning box)."""
import shutil

import tarnovell_e2e as e
import join_common as j
import digest_sets as d

WARNING_STYLE = "00000030"  # MB_OK | MB_ICONWARNING


def warned_join(proc, geometry, out, expected, names):
    """The rest of a join that ends with the warning box naming names, the outcome line dark red
    and the output holding expected."""
    _, text, _, caption, style = d.box_call(proc)
    assert (text, caption, style) == (d.box_text(names), "Tarnovell!", WARNING_STYLE), (text, style)
    d.answer_box()
    j.wait_outcome_only(geometry, j.DARK_RED, (j.BLACK, j.RED))
    assert out.read_bytes() == expected, "the output is not what the pieces gave"
    j.press_exit(proc, d.main_window(proc))


def opened_before_dialog(proc, title):
    """The files the stub opened after the title named title and before it showed the Open
    dialog."""
    current, opened = None, []
    for line in e.own_call_sequence(proc, ["user32.SetWindowTextW", "CreateFileW", "comdlg32.GetOpenFileNameW"]):
        if "SetWindowTextW" in line:
            current = line
        elif "GetOpenFileNameW" in line and f'"Tarnovell! - {title}"' in current:
            return opened
        elif current and f'"Tarnovell! - {title}"' in current:
            opened.append(line)
    raise e.E2EError(f"no Open dialog while the title named {title}")


def locate(proc, work, name, output_so_far):
    """The Open dialog asks for the lost piece name (the title names it; the output holds what
    came before it; no file was read for a rebuild that could not be) and is answered with the
    copy of it in work/other."""
    dialog = e.wait_window(j.OPEN_TITLE, proc=proc, timeout=60)
    title = e.window_name(d.main_window(proc))
    assert title == "Tarnovell! - " + name.upper(), title
    assert (work / "joined.bin").stat().st_size == output_so_far, "the output is not the pieces before"
    opened = opened_before_dialog(proc, name.upper())
    assert not opened, opened
    e.type_path(dialog, e.windows_path(work / "other" / name))
    e.wait_no_window(j.OPEN_TITLE, timeout=30)


def move_aside(work, first):
    """DATA.c<first> and the pieces after it copied into work/other; DATA.c<first> then removed."""
    other = work / "other"
    other.mkdir()
    for n in range(first, 6):
        shutil.copy(work / f"DATA.c{n:03d}", other)
    (work / f"DATA.c{first:03d}").unlink()


def three_damaged():
    work = e.work_dir("stub_repair_three_damaged")
    exe, data = d.repair_set(work)
    for n, at in ((1, 5), (3, 2500000), (5, 1234566)):
        data = d.damage(work, data, n, at)
    out = work / "joined.bin"
    proc, geometry = d.start_join(exe, out)
    warned_join(proc, geometry, out, data, "DATA.C001, DATA.C003, DATA.C005")


def two_damaged_one_lost():
    work = e.work_dir("stub_repair_two_damaged_one_lost")
    exe, data = d.repair_set(work)
    move_aside(work, 3)
    for n, at in ((1, 77), (2, 3000000)):
        data = d.damage(work, data, n, at)
    out = work / "joined.bin"
    proc, geometry = d.start_join(exe, out)
    locate(proc, work, "DATA.c003", d.piece_start(3))
    warned_join(proc, geometry, out, data, "DATA.C001, DATA.C002")


def older_recovery_files():
    older = e.work_dir("stub_repair_older_split")
    d.repair_set(older, seed=5)
    work = e.work_dir("stub_repair_newer_split")
    exe, data = d.repair_set(work)
    for row in ("DATA.r01", "DATA.r02"):
        shutil.copy(older / row, work / row)
    move_aside(work, 2)
    data = d.damage(work / "other", data, 4, 999)
    out = work / "joined.bin"
    proc, geometry = d.start_join(exe, out)
    locate(proc, work, "DATA.c002", d.piece_start(2))
    warned_join(proc, geometry, out, data, "DATA.C004")


def main():
    three_damaged()
    two_damaged_one_lost()
    older_recovery_files()


e.run_case(main)
