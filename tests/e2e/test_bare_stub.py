"""A bare stub (exactly 28672 bytes, no header) ends at once with code 0 and shows no window."""
import tarnovell_e2e as e


def main():
    work = e.work_dir("bare_stub")
    exe = work / "bare.exe"
    exe.write_bytes(e.stub_image())
    proc = e.start_stub(exe)
    seen = []
    # Watch the screen until the program ends: no window of it may appear meanwhile.
    def ended():
        seen.extend(e.find_windows("Tarnovell|Error|Ошибка"))
        return proc.poll() is not None
    e.wait_until(ended, timeout=30, what="the bare stub to end")
    assert proc.returncode == 0, proc.returncode
    assert not seen, f"windows appeared: {seen}"


e.run_case(main)
