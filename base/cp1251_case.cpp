#include "base/cp1251_case.h"

// The lower-case letters of 128 to 191, which follow no common offset, with their capitals.
// 192 to 223 are А to Я and 224 to 255 а to я, 32 apart like the Latin letters.
static const unsigned char ScatteredLetters[][2] = {
    {0x83, 0x81},  // ѓ Ѓ
    {0x90, 0x80},  // ђ Ђ
    {0x9A, 0x8A},  // љ Љ
    {0x9C, 0x8C},  // њ Њ
    {0x9D, 0x8D},  // ќ Ќ
    {0x9E, 0x8E},  // ћ Ћ
    {0x9F, 0x8F},  // џ Џ
    {0xA2, 0xA1},  // ў Ў
    {0xB3, 0xB2},  // і І
    {0xB4, 0xA5},  // ґ Ґ
    {0xB8, 0xA8},  // ё Ё
    {0xBA, 0xAA},  // є Є
    {0xBC, 0xA3},  // ј Ј
    {0xBE, 0xBD},  // ѕ Ѕ
    {0xBF, 0xAF},  // ї Ї
};

unsigned char Cp1251Upper(unsigned char c) {
  if ((c >= 'a' && c <= 'z') || c >= 0xE0) return static_cast<unsigned char>(c - 32);
  for (const auto& letter : ScatteredLetters) {
    if (letter[0] == c) return letter[1];
  }
  return c;
}
