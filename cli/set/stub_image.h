// The padded stub image, embedded at build time (exactly StubSize bytes): the joiner program that
// split puts in front of every set, and that the set's readers compare containers with.
#pragma once

#include <stddef.h>

extern const unsigned char StubImage[];
extern const size_t StubImageSize;
