// Upper case in the Windows-1251 code page, as Windows upper-cases Russian ANSI text: the Latin
// and Cyrillic letters; every other byte stays as it is.
#pragma once

unsigned char Cp1251Upper(unsigned char c);
