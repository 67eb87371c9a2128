"""Every row of the recovery and join table, side by side in one run (see bench_table.sh).

Run by bench_table.sh in a scratch folder: python3 bench_table.py TOOL ROUNDS [COPY_BENCH].
Each row's two contenders run in interleaved rounds (the order turned every round, the first
round only warming the page cache); a child's time is its wall time, its peak memory the
maximum resident set size wait4 gives, its bytes read the rchar of /proc/PID/io (of a run
without mapped files, TARNOVELL_NO_MAP), read while it has exited but is not yet reaped. Every row runs twice: from the page cache, each run's writes
left to the kernel, and fsynced, each run's time taking in a sync of what it wrote. The load
average is printed before and after."""
import glob
import os
import shutil
import statistics
import subprocess
import sys
import time

TOOL, ROUNDS = sys.argv[1], int(sys.argv[2])
COPY_BENCH = sys.argv[3] if len(sys.argv) > 3 else None
ROWS = (sys.argv[4].split(",") if len(sys.argv) > 4 else
        ["split", "repair", "join", "verify", "survey", "copy"])
MIB = 1 << 20
FSYNCED = False  # the mode of the rows running: a sync after each run, inside its time


def run(command, stdout=subprocess.DEVNULL, ok=(0,), env=None):
    """Runs command (a list) under /usr/bin/time, whose small image the child starts from (a
    child of this Python would count its memory as its own); returns (seconds, peak KiB, bytes
    read: time's, which take in its child's once reaped). Fails on a non-zero exit."""
    if FSYNCED:
        command = ["sh", "-c", '"$@" && sync', "sh"] + command
    start = time.perf_counter()
    child = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", "peak.txt"] + command, stdout=stdout,
                             env=env)
    os.waitid(os.P_PID, child.pid, os.WEXITED | os.WNOWAIT)
    seconds = time.perf_counter() - start
    with open("/proc/%d/io" % child.pid) as io:
        rchar = int(next(line for line in io if line.startswith("rchar:")).split()[1])
    if child.wait() not in ok:
        sys.exit("%s: exit %d" % (" ".join(command), child.returncode))
    with open("peak.txt") as f:
        peak = int(f.read().split()[-1])
    return seconds, peak, rchar


def read_bytes(command, before=None, after=None, ok=(0,)):
    """The bytes command reads, every file read by read calls (TARNOVELL_NO_MAP): the tool maps
    the files it surveys, which rchar does not count; the same bytes are taken either way."""
    if before:
        before()
    rchar = run(command, ok=ok, env=dict(os.environ, TARNOVELL_NO_MAP="1"))[2]
    if after:
        after()
    return rchar


def settle():
    """Flushes earlier writes, then writes and deletes 1.6 GB: on this virtual machine memory left
    free for a while goes back to the host, and whichever program fills it next pays for it."""
    os.sync()
    subprocess.run("dd if=/dev/zero of=warm.bin bs=16M count=100 status=none && rm warm.bin",
                   shell=True, check=True)


def rounds(contenders):
    """contenders: {name: (before, command, stdout path or None, after)}; runs them interleaved;
    returns {name: [(seconds, peak KiB, rchar), ...]} without the warming round."""
    results = {name: [] for name in contenders}
    for round in range(ROUNDS + 1):
        order = list(contenders) if round % 2 == 0 else list(reversed(contenders))
        for name in order:
            before, command, out, after = contenders[name]
            if before:
                before()
            settle()
            stdout = open(out, "wb") if out else subprocess.DEVNULL
            result = run(command, stdout)
            if out:
                stdout.close()
            if after:
                after()
            if round > 0:
                results[name].append(result)
    return results


def row(label, results, baseline, subject, subject_over_baseline):
    """Prints each contender's times and peak memory and the ratio the table asks for: subject's
    time over baseline's (subject_over_baseline) or baseline's over subject's."""
    for name in (baseline, subject):
        times = [r[0] for r in results[name]]
        print("    %-12s best %7.3f s, median %7.3f s, peak %7d KiB" %
              (name, min(times), statistics.median(times), max(r[1] for r in results[name])))
    b = [r[0] for r in results[baseline]]
    s = [r[0] for r in results[subject]]
    if subject_over_baseline:
        best, median = min(s) / min(b), statistics.median(s) / statistics.median(b)
    else:
        best, median = min(b) / min(s), statistics.median(b) / statistics.median(s)
    print("  %-62s best %.2f, median %.2f" % (label, best, median))
    sys.stdout.flush()


def remove(pattern):
    for path in glob.glob(pattern):
        os.remove(path)


def set_files(base):
    return [base + ".exe"] + sorted(glob.glob(base + ".c[0-9]*"))


def split_rows():
    for size in ("200M", "1G"):
        clean = lambda: remove("s.*")
        plain = [TOOL, "split", "-q", "--size", size, "--base", "s", "payload.bin"]
        made = {}
        def note():
            made.update(files=len(set_files("s")), recovery=os.path.getsize("s.r01"),
                        set=sum(os.path.getsize(path) for path in set_files("s")))
        results = rounds({
            "split": (clean, plain, None, None),
            "split-r2": (clean, plain + ["--recovery", "2"], None, note),
        })
        print("  (pieces of %s: %d files, recovery files of %d bytes)" %
              (size, made["files"], made["recovery"]))
        row("split --recovery 2, %s pieces, time over plain split" % size, results,
            "split", "split-r2", True)
        written = (made["set"] + 2 * made["recovery"]) / made["set"]
        print("  bytes written with the recovery files over without: %.2f (the aim: the time's"
              " ratio at most 1.1 x this)" % written)
        remove("s.*")


def join_rows(files):
    join = [TOOL, "join", "-q", "-o", "out.bin", "ten.exe"]
    clean = lambda: remove("out.bin")
    def check():
        if subprocess.run(["cmp", "-s", "ten.bin", "out.bin"]).returncode != 0:
            sys.exit("joined bytes differ")
        remove("out.bin")
    results = rounds({"cat": (clean, ["cat"] + files, "out.bin", clean),
                      "join": (clean, join, None, check)})
    row("join with checking, cat time over join time (>= 1.0)", results, "cat", "join", False)


def verify_rows(files, recovery):
    aside = lambda: [shutil.move(path, "aside/") for path in recovery]
    back = lambda: [shutil.move("aside/" + path, ".") for path in recovery]
    os.makedirs("aside", exist_ok=True)
    aside()
    results = rounds({"cat-null": (None, ["cat"] + files, None, None),
                      "verify": (None, [TOOL, "verify", "-q", "ten.exe"], None, None)})
    back()
    row("verify, cat SET > /dev/null time over verify time (>= 1.0)", results, "cat-null", "verify",
        False)
    # Not -q: a quiet verify of a whole set does not look at its recovery files at all.
    set_bytes = sum(os.path.getsize(path) for path in files)
    recovery_bytes = sum(os.path.getsize(path) for path in recovery)
    peak = run([TOOL, "verify", "ten.exe"])[1]
    rchar = read_bytes([TOOL, "verify", "ten.exe"])
    print("  verify with %d recovery files beside the set: read %.2f x the set's bytes "
          "(the set %d, the recovery files %d more; one read: %.2f), peak %d KiB" %
          (len(recovery), rchar / set_bytes, set_bytes, recovery_bytes,
           (set_bytes + recovery_bytes) / set_bytes, peak))


def flip_a_byte_in_each(files, mib_apart):
    """One byte flipped in each file, the n-th's in its n-th MiB (a stripe of its own with 1 MiB
    slices); returns a function that flips them back."""
    def flip(path, offset):
        with open(path, "r+b") as f:
            f.seek(offset)
            byte = f.read(1)
            f.seek(offset)
            f.write(bytes([byte[0] ^ 0x10]))
    spots = [(path, (30720 if n == 0 else 0) + n * mib_apart * MIB + 1000)
             for n, path in enumerate(files)]
    for spot in spots:
        flip(*spot)
    return lambda: [flip(*spot) for spot in spots]


def survey_rows(files, recovery):
    """verify and repair with the recovery files beside the set: the bytes read, the time."""
    whole = sum(os.path.getsize(path) for path in files + recovery)
    results = rounds({"cat-all": (None, ["cat"] + files + recovery, None, None),
                      "verify": (None, [TOOL, "verify", "ten.exe"], None, None)})
    row("verify with the recovery files, cat SET R* > /dev/null time over verify time", results,
        "cat-all", "verify", False)
    print("  verify read %.2f x the set and recovery files' bytes (one read: 1.00)" %
          (read_bytes([TOOL, "verify", "ten.exe"]) / whole))
    unflip = flip_a_byte_in_each(files, 1)
    rchar = read_bytes([TOOL, "verify", "ten.exe"], ok=(0, 1))
    print("  verify of a set with a byte flipped in each of its %d files: read %.2f x" %
          (len(files), rchar / whole))
    unflip()
    digests = subprocess.run(["sha256sum"] + files, capture_output=True, check=True).stdout
    def check():
        if subprocess.run(["sha256sum"] + files, capture_output=True, check=True).stdout != digests:
            sys.exit("the repaired set differs")
    results = rounds({"cat-all": (None, ["cat"] + files + recovery, None, None),
                      "repair": (lambda: flip_a_byte_in_each(files, 1),
                                 [TOOL, "repair", "-q", "ten.exe"], None, check)})
    row("repair of a byte flipped in each of %d files, time over cat SET R*" % len(files),
        results, "cat-all", "repair", True)
    print("  repair read %.2f x the set and recovery files' bytes" %
          (read_bytes([TOOL, "repair", "-q", "ten.exe"], lambda: flip_a_byte_in_each(files, 1),
                      check) / whole))


def repair_row(files, recovery, lost):
    """repair of the pieces lost, over cat of the set, and over moving the bytes it must: its
    survivors and one recovery file per piece read, the pieces' bytes written (copied by cat,
    which copies file to file in the kernel)."""
    digest = lambda: subprocess.run(["sha256sum"] + lost, capture_output=True, check=True).stdout
    want, size = digest(), os.path.getsize(lost[0])
    def check():
        if digest() != want:
            sys.exit("the rebuilt pieces differ")
    drop = lambda: [os.remove(path) for path in lost]
    survivors = [path for path in files if path not in lost] + recovery[:len(lost)]
    # The pieces' bytes copied from themselves, not written as zeros: this machine's disk takes
    # blocks of zeros for next to nothing when they are synced.
    move = "cat \"$@\" > /dev/null" + "".join(
        " && cat %s > moved.%d" % (path, i) for i, path in enumerate(lost))
    results = rounds({"cat-set": (None, ["cat"] + files, None, None),
                      "move": (None, ["sh", "-c", move, "sh"] + survivors, None,
                               lambda: remove("moved.*")),
                      "repair": (drop, [TOOL, "repair", "-q", "ten.exe"], None, check)})
    what = "%d lost %d MiB piece%s of %d" % (len(lost), size // MIB, "s" if len(lost) > 1 else "",
                                          len(files))
    row("repair of %s, time over cat of the set (<= 1.5)" % what, results, "cat-set", "repair",
        True)
    row("the same, time over moving its bytes (<= 1.2 fsynced)", results, "move", "repair", True)
    print("  repair read %.2f x the set's bytes" %
          (read_bytes([TOOL, "repair", "-q", "ten.exe"], drop, check) /
           sum(os.path.getsize(path) for path in files)))


def copy_rows(files):
    """What limits join against cat here: the same bytes copied by the ways a join can take."""
    if not COPY_BENCH:
        return
    modes = {
        "kernel": ["kernel", "0"],  # copy_file_range at the set's offsets
        "kernel-2k": ["kernel", "2048"],  # ... with every piece 2048 bytes off a page
        "rw-256k": ["rw", "262144"], "rw-1m": ["rw", "1048576"],  # pread + pwrite, no CRC
        "crc-256k": ["crc", "262144"], "crc-1m": ["crc", "1048576"],  # ... and CRC-32C
    }
    clean = lambda: remove("out.bin")
    contenders = {"cat": (clean, ["cat"] + files, "out.bin", clean)}
    contenders.update({name: (clean, [COPY_BENCH] + args + ["out.bin"] + files, None, clean)
                       for name, args in modes.items()})
    results = rounds(contenders)
    print("  the set copied to one file by each way (cat's time over each; cat copies the 30720"
          " bytes before the data too):")
    cat = [r[0] for r in results["cat"]]
    for name in ["cat"] + list(modes):
        times = [r[0] for r in results[name]]
        print("    %-10s best %7.3f s, median %7.3f s; cat / it: best %.2f, median %.2f" %
              (name, min(times), statistics.median(times), min(cat) / min(times),
               statistics.median(cat) / statistics.median(times)))


def load():
    return open("/proc/loadavg").read().split()[:3]


def main():
    global FSYNCED
    print("load average before: %s" % " ".join(load()))
    for FSYNCED in (False, True):
        print("==== %s ====" % ("fsynced: each run's time takes in a sync of its writes" if FSYNCED
                                else "page cache: writes left to the kernel"))
        table()
    print("load average after: %s" % " ".join(load()))


def table():
    if "split" in ROWS:
        print("== split: 2 GiB ==")
        split_rows()
    print("== a set of 10 files of 200 MiB with 2 recovery files ==")
    subprocess.run(["dd", "if=/dev/urandom", "of=ten.bin", "bs=8M", "count=249", "status=none"],
                   check=True)
    subprocess.run([TOOL, "split", "-q", "--size", "200M", "--recovery", "2", "ten.bin"], check=True)
    files = set_files("ten")
    recovery = sorted(glob.glob("ten.r[0-9]*"))
    print("  %d files: %s" % (len(files), ", ".join(str(os.path.getsize(p)) for p in files[:2])) +
          ", ...; the container's data %d bytes" % (os.path.getsize(files[0]) - 30720))
    for name, action in (("repair", lambda: repair_row(files, recovery, ["ten.c005"])),
                         ("repair", lambda: repair_row(files, recovery, ["ten.c003", "ten.c008"])),
                         ("join", lambda: join_rows(files)),
                         ("verify", lambda: verify_rows(files, recovery)),
                         ("survey", lambda: survey_rows(files, recovery)),
                         ("copy", lambda: copy_rows(files))):
        if name in ROWS:
            action()
    remove("ten.*")


if __name__ == "__main__":
    main()
