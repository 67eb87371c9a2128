// The name field in record 1's filler: laid out as documented (read here by its offsets), the
// exact name back in UTF-8 and UTF-16, and every forged field ignored: it names no file outside
// the chosen folder and no name Windows would not keep. The Windows-1251 table against iconv.
#include "container/name_field.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

#include "container/container_writer.h"

namespace {

uint8_t* Bytes(std::string& header) { return reinterpret_cast<uint8_t*>(&header[0]); }

// A header whose record 1 is record and whose field (tag, length, bytes) is field, as a forger
// would lay it.
std::string Forged(const std::string& record, const std::string& field) {
  std::string header = HeaderBytes(MakeHeaderTexts(record, 1, 0, 0, 0));
  std::string bytes = std::string("\x89NAM") + static_cast<char>(field.size()) + field;
  header.replace(1 + record.size(), bytes.size(), bytes);
  return header.substr(0, 2048);
}

// Record 1 as the field's rendering makes it, so the tie holds and only the rule named fails.
std::string Rendered(const std::string& name) {
  uint8_t out[255];
  int32_t length = 0;
  if (!RenderName1251(reinterpret_cast<const uint8_t*>(name.data()),
                      static_cast<int32_t>(name.size()), out, &length))
    return "?";
  return std::string(reinterpret_cast<char*>(out), length);
}

bool Reads(std::string header, std::string* name = nullptr, std::u16string* wide = nullptr) {
  const uint8_t* utf8 = nullptr;
  int32_t length = 0;
  WideChar units[NameWideSize];
  if (!ReadNameField(Bytes(header), &utf8, &length, units)) return false;
  if (name != nullptr) name->assign(reinterpret_cast<const char*>(utf8), length);
  if (wide != nullptr) wide->assign(units, units + std::char_traits<WideChar>::length(units));
  return true;
}

TEST(NameField, TheExactNameTravelsBesideItsRendering) {
  const std::string name = "Müller – Ωmega 日本 😀.pdf";
  const std::string record = "M_ller \x96 _mega __ _.pdf";
  EXPECT_EQ(Rendered(name), record);
  std::string header = HeaderBytes(MakeHeaderTexts(record, 1, 0, 0, 0));
  ASSERT_TRUE(WriteNameField(Bytes(header), reinterpret_cast<const uint8_t*>(name.data()),
                             static_cast<int32_t>(name.size())));
  // Right after record 1's text: the tag, the length, the UTF-8 bytes.
  EXPECT_EQ(header.substr(1 + record.size(), 5 + name.size()),
            "\x89NAM" + std::string(1, static_cast<char>(name.size())) + name);
  std::string back;
  std::u16string wide;
  ASSERT_TRUE(Reads(header, &back, &wide));
  EXPECT_EQ(back, name);
  EXPECT_EQ(wide, u"Müller – Ωmega 日本 😀.pdf");
  // One byte more than the record holds does not fit.
  std::string big(250 - record.size() - 5 + 1, 'x');
  EXPECT_FALSE(WriteNameField(Bytes(header), reinterpret_cast<const uint8_t*>(big.data()),
                              static_cast<int32_t>(big.size())));
}

TEST(NameField, AForgedFieldIsIgnored) {
  const std::string forged[] = {
      "a/b.txt",      "a\\b.txt",
      "C:evil.txt",   "..",
      ". .",          "name.",
      "name ",        "CON",
      "nul.txt",      "Com7.tar",
      "lpt1",         "a\x01z",
      "a\xC2\x85z",   "a*b",
      "\xC0\xAF",     "a\xE0\x80\xAF",
      "\xED\xA0\x80", "\xF4\x90\x80\x80",
      "abc\xE6\x97",  "",
  };
  for (const std::string& name : forged) {
    EXPECT_FALSE(Reads(Forged(Rendered(name), name))) << name;
    std::string header = HeaderBytes(MakeHeaderTexts(Rendered(name), 1, 0, 0, 0));
    EXPECT_FALSE(WriteNameField(Bytes(header), reinterpret_cast<const uint8_t*>(name.data()),
                                static_cast<int32_t>(name.size())))
        << name;
  }
  EXPECT_TRUE(Reads(Forged("film.mkv", "film.mkv")));
  EXPECT_TRUE(Reads(Forged("COM10", "COM10"))) << "not a device name";
  // The tie: record 1 must be the field's rendering, byte for byte.
  EXPECT_FALSE(Reads(Forged("film.mkw", "film.mkv")));
  EXPECT_FALSE(Reads(Forged("film.mk", "film.mkv")));
  // A length past the record's end.
  std::string past = Forged("a", "a");
  past[1 + 1 + 4] = static_cast<char>(251);
  EXPECT_FALSE(Reads(past));
}

TEST(NameField, Windows1251AsIconvHasIt) {
  iconv_t cd = iconv_open("UTF-16LE", "CP1251");
  ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
  for (int b = 1; b < 256; b++) {
    if (b == 0x98) continue;  // no character: Windows gives U+0098, iconv none
    char in = static_cast<char>(b);
    char out[4];
    char* inPtr = &in;
    char* outPtr = out;
    size_t inLeft = 1, outLeft = sizeof out;
    ASSERT_NE(iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft), static_cast<size_t>(-1)) << b;
    WideChar expected = static_cast<WideChar>(static_cast<uint8_t>(out[0]) | out[1] << 8);
    EXPECT_EQ(WideOf1251(static_cast<unsigned char>(b)), expected) << b;
    EXPECT_EQ(Cp1251Of(expected), b) << b;
  }
  iconv_close(cd);
  EXPECT_EQ(Cp1251Of(0x00FC), 0) << "ü has no 1251 form";
}

}  // namespace
