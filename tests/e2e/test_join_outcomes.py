"""The two failed outcomes on the screen: pieces holding more than the header's total size
(dark red), and a piece that cannot be read (red; no output is left)."""
import tarnovell_e2e as e
import join_common as j


def run(work, colour):
    out = work / "joined.bin"
    j.join_through_save(work / "DATA.exe", out, colour)
    return out


def main():
    # Payloads of 100000 + 80000 + 60000 against a total of 150000: the join stops after
    # piece 1 and reports a possibly damaged file.
    work = e.work_dir("join_mismatch")
    _, data = j.make_set(work, [100000, 80000, 60000], total=150000)
    out = run(work, j.DARK_RED)
    assert out.read_bytes() == data[:180000]

    # Piece 1 is a folder: the copy fails, the output is deleted and stays deleted.
    work = e.work_dir("join_file_error")
    j.make_set_with_folder_piece(work)
    out = run(work, j.RED)
    assert not out.exists(), "an output is left after a failed copy"


e.run_case(main)
