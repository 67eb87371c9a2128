// What the page's script gives the WebAssembly build, and the SIMD module's loops. Reads may
// wait for the browser: the build is transformed (Binaryen's asyncify) so that a read that waits
// unwinds the stack and the script rewinds it when the bytes are there.
#pragma once

#include <stddef.h>
#include <stdint.h>

#define PAGE_IMPORT(module, name) __attribute__((import_module(module), import_name(name)))
#define PAGE_EXPORT(name) __attribute__((export_name(name)))

extern "C" {
// count bytes of file at offset into bytes: 1, or 0 when the browser could not read them. File
// ids at RebuiltFiles and up are the page's rebuilt files, read from what was written to them.
PAGE_IMPORT("page", "read")
int32_t PageRead(int32_t file, void* bytes, uint32_t count, double offset);
// Keeps count rebuilt bytes of a rebuilt file at offset: 1, or 0 when the browser refused them.
PAGE_IMPORT("page", "write")
int32_t PageWrite(int32_t file, const void* bytes, uint32_t count, double offset);
// count more bytes were handled.
PAGE_IMPORT("page", "progress") void PageProgress(double count);
// The SIMD module's loops (simd_kernels.cpp), called only where it was compiled.
PAGE_IMPORT("simd", "crc32c") uint32_t SimdCrc32c(uint32_t crc, const void* bytes, size_t count);
PAGE_IMPORT("simd", "gf_encode")
void SimdGfEncode(size_t length, uint32_t k, uint32_t rows, const uint8_t* tables,
                  uint8_t* const* sources, uint8_t* const* outputs);
}

enum : int32_t { RebuiltFiles = 1 << 20 };
