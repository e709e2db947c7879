// The parameter file's text: written in fields of five with CR LF (integers only, so no locale
// enters), read back leniently as to blanks and line ends, strictly as to what counts as
// sixteen numbers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/storage.h"

namespace {

std::string Lines(const std::vector<std::string>& numbers, const char* end) {
  std::string out;
  for (const std::string& n : numbers) out += n + end;
  return out;
}

std::vector<std::string> Sixteen(const std::string& fill = "7") { return std::vector<std::string>(16, fill); }

TEST(ParameterFileText, WritesSixteenRightAlignedFieldsOfFiveWithCrLf) {
  const u16 words[PNUM] = {500, 0, 512, 3, 1, 2, 1, 1024, 450, 60, 1, 2, 65535, 30000, 8, 0};
  char text[256];
  const size_t n = FormatParameterText(words, text, sizeof text);
  EXPECT_EQ(std::string(text, n),
            "  500\r\n    0\r\n  512\r\n    3\r\n    1\r\n    2\r\n    1\r\n 1024\r\n"
            "  450\r\n   60\r\n    1\r\n    2\r\n65535\r\n30000\r\n    8\r\n    0\r\n");
  // A buffer one byte short takes nothing rather than half a file.
  EXPECT_EQ(FormatParameterText(words, text, n), 0u);
}

TEST(ParameterFileText, ReadsWhatItWrote) {
  const u16 words[PNUM] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 65535, 0};
  char text[256];
  const size_t n = FormatParameterText(words, text, sizeof text);
  u32 values[PNUM] = {};
  ASSERT_TRUE(ParseParameterText(text, n, values));
  for (int i = 0; i < PNUM; ++i) EXPECT_EQ(values[i], words[i]) << i;
}

TEST(ParameterFileText, AcceptsAndRefusesTable) {
  struct Case {
    const char* what;
    std::string text;
    bool ok;
    u32 first;   // value 0 when accepted
    u32 last;    // value 15 when accepted
  };
  auto with = [](int index, const std::string& token) {
    auto v = Sixteen();
    v[index] = token;
    return v;
  };
  std::string binary(112, '\0');
  for (size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>(i * 37 + 5);
  auto seventeen = Sixteen();
  seventeen.push_back("7");
  auto fifteen = Sixteen();
  fifteen.pop_back();
  const Case cases[] = {
      {"CR LF", Lines(with(0, "  500"), "\r\n"), true, 500, 7},
      {"LF only", Lines(with(0, "500"), "\n"), true, 500, 7},
      {"blanks and tabs around", Lines(with(15, "\t 42 \t"), "\r\n"), true, 7, 42},
      {"no line end after the last", Lines(Sixteen(), "\n").substr(0, 31), true, 7, 7},
      {"blank lines between", Lines(Sixteen(), "\n\n"), true, 7, 7},
      {"above 16 bits, within 32", Lines(with(0, "70000"), "\n"), true, 70000, 7},
      {"largest 32-bit number", Lines(with(15, "4294967295"), "\n"), true, 7, 4294967295u},
      {"leading zeros", Lines(with(0, "00012"), "\n"), true, 12, 7},
      {"fifteen numbers", Lines(fifteen, "\r\n"), false, 0, 0},
      {"seventeen numbers", Lines(seventeen, "\r\n"), false, 0, 0},
      {"a word", Lines(with(3, "abc"), "\r\n"), false, 0, 0},
      {"a number with a letter", Lines(with(3, "12a"), "\r\n"), false, 0, 0},
      {"a comma after a number", Lines(with(3, "12,"), "\r\n"), false, 0, 0},
      {"a negative number", Lines(with(3, "-5"), "\r\n"), false, 0, 0},
      {"a plus sign", Lines(with(3, "+5"), "\r\n"), false, 0, 0},
      {"a decimal point", Lines(with(3, "5.0"), "\r\n"), false, 0, 0},
      {"beyond 32 bits", Lines(with(3, "4294967296"), "\r\n"), false, 0, 0},
      {"far beyond 32 bits", Lines(with(3, "99999999999999999999999"), "\r\n"), false, 0, 0},
      {"empty", "", false, 0, 0},
      {"blanks only", " \r\n \r\n", false, 0, 0},
      {"binary", binary, false, 0, 0},
      {"a NUL inside", Lines(with(3, std::string("1\0" "2", 3)), "\r\n"), false, 0, 0},
  };
  for (const Case& c : cases) {
    u32 values[PNUM];
    for (u32& v : values) v = 99;
    EXPECT_EQ(ParseParameterText(c.text.data(), c.text.size(), values), c.ok) << c.what;
    if (c.ok) {
      EXPECT_EQ(values[0], c.first) << c.what;
      EXPECT_EQ(values[15], c.last) << c.what;
    } else {
      for (u32 v : values) EXPECT_EQ(v, 99u) << c.what << ": a refused text leaves the values alone";
    }
  }
}

}  // namespace
