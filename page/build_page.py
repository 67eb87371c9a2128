#!/usr/bin/env python3
"""Makes the joiner page, one self-contained file: the template with the page's script, the
worker's script as a text, and the two WebAssembly modules in base64.

  build_page.py TEMPLATE PAGE_JS WORKER_JS CORE_WASM SIMD_WASM OUTPUT
"""
import base64
import json
import sys


def main(template, page_js, worker_js, core_wasm, simd_wasm, output):
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
