// The two C library routines the compiler itself may call (for zeroing and copying records):
// the stub links no C runtime, so it brings its own.
#include <stddef.h>

extern "C" __attribute__((used)) void* memset(void* target, int value, size_t count) {
  unsigned char* p = static_cast<unsigned char*>(target);
  while (count-- > 0) *p++ = static_cast<unsigned char>(value);
  return target;
}

extern "C" __attribute__((used)) void* memcpy(void* target, const void* source, size_t count) {
  unsigned char* t = static_cast<unsigned char*>(target);
  const unsigned char* s = static_cast<const unsigned char*>(source);
  while (count-- > 0) *t++ = *s++;
  return target;
}
