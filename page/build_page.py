#!/usr/bin/env python3
"""Makes the joiner page, one self-contained file: the template with the page's script, the
worker's script as a text, and the two WebAssembly modules in base64.

  build_page.py TEMPLATE PAGE_JS WORKER_JS CORE_WASM SIMD_WASM OUTPUT
"""
import base64
import json
import sys


def sections(path):
    """The ids of a WebAssembly module's sections, with the count of entries of those that
    begin with one (globals, data)."""
    with open(path, "rb") as f:
        data = f.read()

    def leb(at):
        value = shift = 0
        while True:
            byte = data[at]
            at += 1
            value |= (byte & 0x7F) << shift
            shift += 7
            if byte < 0x80:
                return value, at

    found, at = {}, 8
    while at < len(data):
        section = data[at]
        size, at = leb(at + 1)
        found[section] = leb(at)[0] if section in (6, 11) and size else 0
        at += size
    return found


def main(template, page_js, worker_js, core_wasm, simd_wasm, output):
    # The SIMD module shares the core's memory: a global (its stack pointer) or data of its own
    # would be laid where the core's are.
    simd = sections(simd_wasm)
    if simd.get(6) or simd.get(11):
        sys.exit(f"{simd_wasm}: has globals or data of its own, which would overwrite the core's")

    def text(path):
        with open(path, encoding="utf-8") as f:
            return f.read()

    def wasm(path):
        with open(path, "rb") as f:
            return base64.b64encode(f.read()).decode("ascii")

    page = text(template)
    script = text(page_js)
    if "</script" in script.lower():
        sys.exit(f"{page_js}: holds </script, which would end the page's script")
    # The worker's source as a string literal; "</" escaped, so that it cannot end the script.
    worker = json.dumps(text(worker_js), ensure_ascii=False).replace("</", "<\\/")
    for marker, value in (("/*CORE*/", wasm(core_wasm)), ("/*SIMD*/", wasm(simd_wasm)),
                          ("/*WORKER*/''", worker), ("/*PAGE*/", script)):
        if page.count(marker) != 1:
            sys.exit(f"{template}: {marker} must be there once")
        page = page.replace(marker, value)
    with open(output, "w", encoding="utf-8", newline="\n") as f:
        f.write(page)


if __name__ == "__main__":
    if len(sys.argv) != 7:
        sys.exit(__doc__)
    main(*sys.argv[1:])
