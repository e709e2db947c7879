// The recorder file's bytes, the batch-name rule and the duration split, as pure functions,
// plus the two writers against real files.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <clocale>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <locale>
#include <string>

#include "state/globals.h"
#include "platform/sys/utility.h"
#include "recorder/popup.h"
#include "recorder/recfile.h"
#include "support/decimal_comma_locale.h"

namespace {

std::string Header(const RecHeader& h) {
  std::string out;
  char buf[HEADER_LINE_SIZE];
  for (int i = 0; i < HEADER_LINES; ++i) {
    int n = BuildHeaderLine(i, h, buf, sizeof buf);
    EXPECT_GE(n, 0) << "line " << i;
    if (n > 0) out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

const std::string kHead = "E-LEFT\tE-RIGHT\tM-VALUE\tEDGES\tGAPPIX\tGAPVAL\tGAPLEN\r\n";

TEST(RecFile, HeaderIsTheSixLabelledLinesAndTheColumnHeadInWindows1252WithCrLf) {
  const RecHeader h{"03-14-2024", "09:05:07", "CHARGE0123.DAT", 40000, 10, 1024};
  const std::string expected =
      "Datum:\t03-14-2024\r\n"
      "Zeit:\t09:05:07\r\n"
      "Chargen-Name:\tCHARGE0123.DAT\r\n"
      "Zeit-Intervall[s]:\t40000\r\n"
      "Max. Anzahl Messwerte:\t10\r\n"
      "Slope [\xB5m/Pixel]:\t1024\r\n" +
      kHead;
  EXPECT_EQ(Header(h), expected);
}

TEST(RecFile, HeaderNumbersHaveNoBlanksSignsOrLeadingZeros) {
  const struct {
    u16 incTime, numSample, slope;
    const char *inc, *num, *slo;
  } cases[] = {
      {0, 0, 0, "0", "0", "0"},
      {1, 10, 1024, "1", "10", "1024"},
      {65535, 65535, 65535, "65535", "65535", "65535"},
  };
  for (const auto& c : cases) {
    const RecHeader h{"01-01-2000", "00:00:00", "B", c.incTime, c.numSample, c.slope};
    char buf[HEADER_LINE_SIZE];
    ASSERT_GT(BuildHeaderLine(3, h, buf, sizeof buf), 0);
    EXPECT_EQ(std::string(buf), std::string("Zeit-Intervall[s]:\t") + c.inc + "\r\n");
    ASSERT_GT(BuildHeaderLine(4, h, buf, sizeof buf), 0);
    EXPECT_EQ(std::string(buf), std::string("Max. Anzahl Messwerte:\t") + c.num + "\r\n");
    ASSERT_GT(BuildHeaderLine(5, h, buf, sizeof buf), 0);
    EXPECT_EQ(std::string(buf), std::string("Slope [\xB5m/Pixel]:\t") + c.slo + "\r\n");
  }
}

TEST(RecFile, BatchNameGoesIntoTheHeaderAsWindows1252) {
  const RecHeader h{"01-01-2000", "00:00:00", "Pr\xC3\xBC" "fung \xE2\x82\xAC 5\xC2\xB5m", 1, 1, 1};
  char buf[HEADER_LINE_SIZE];
  const int n = BuildHeaderLine(2, h, buf, sizeof buf);
  ASSERT_GT(n, 0);
  EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), "Chargen-Name:\tPr\xFC" "fung \x80 5\xB5m\r\n");
}

TEST(RecFile, LongestBatchNameFillsTheHeaderLineAndOneMoreDoesNotFit) {
  const std::string longest(MAX_BATCH_NAME, 'A');
  const std::string tooLong(MAX_BATCH_NAME + 1, 'A');
  char buf[HEADER_LINE_SIZE];
  const RecHeader fits{"", "", longest.c_str(), 1, 1, 1};
  EXPECT_EQ(BuildHeaderLine(2, fits, buf, sizeof buf), HEADER_LINE_SIZE - 1);
  const RecHeader over{"", "", tooLong.c_str(), 1, 1, 1};
  EXPECT_EQ(BuildHeaderLine(2, over, buf, sizeof buf), -1);
  EXPECT_EQ(BuildHeaderLine(7, fits, buf, sizeof buf), -1);
}

TEST(RecFile, ScaledIndicatorsHoldTheLargestValues) {
  struct Case {
    u16 value, slope;
    double scaled;
  } cases[] = {{0, 65534, 0.0}, {1, 1024, 1.024}, {500, 1000, 500.0}, {65535, 65534, 4294770.69}};
  for (const Case& c : cases) EXPECT_NEAR(ScaleBySlope(c.value, c.slope), c.scaled, 1e-6) << c.value << " x " << c.slope;
}

TEST(RecFile, RecordLineIsSevenTabSeparatedNumbersWithCrLf) {
  const struct {
    u16 values[RECORD_COLUMNS];
    const char* line;
  } cases[] = {
      {{0, 0, 0, 0, 0, 0, 0}, "0\t0\t0\t0\t0\t0\t0\r\n"},
      {{1, 22, 333, 4, 5555, 60006, 7}, "1\t22\t333\t4\t5555\t60006\t7\r\n"},
      {{65535, 65535, 65535, 65535, 65535, 65535, 65535},
       "65535\t65535\t65535\t65535\t65535\t65535\t65535\r\n"},
  };
  for (const auto& c : cases) {
    char buf[RECORD_LINE_SIZE];
    const int n = BuildRecordLine(c.values, buf, sizeof buf);
    EXPECT_EQ(std::string(buf, n > 0 ? static_cast<size_t>(n) : 0), c.line);
  }
  char small[10];
  const u16 big[RECORD_COLUMNS] = {65535, 65535, 65535, 65535, 65535, 65535, 65535};
  EXPECT_EQ(BuildRecordLine(big, small, sizeof small), -1);
}

TEST(RecFile, RecordTakesGapValBeforeGapPix) {
  Ledge = 101;
  Redge = 202;
  Mvalue = 303;
  edcnt = 4;
  gapVal = 505;
  gapPix = 606;
  gapLen = 707;
  u16 values[RECORD_COLUMNS];
  CurrentRecordValues(values);
  const u16 expected[RECORD_COLUMNS] = {101, 202, 303, 4, 505, 606, 707};
  for (int i = 0; i < RECORD_COLUMNS; ++i) EXPECT_EQ(values[i], expected[i]) << "column " << i + 1;
}

// Grouping by dots of three, decimal comma: numbers printed through a locale would change.
struct GermanPunct : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
  char do_thousands_sep() const override { return '.'; }
  std::string do_grouping() const override { return "\3"; }
};

TEST(RecFile, NumbersStayPlainUnderAGermanLocale) {
  const std::locale saved = std::locale::global(std::locale(std::locale::classic(), new GermanPunct));
  // The C library's German locale too (made for the test where the machine has none).
  std::string savedC, why;
  ASSERT_TRUE(decimal_comma_locale::Use(&savedC, &why)) << why;
  ASSERT_STREQ(std::localeconv()->decimal_point, ",");
  const u16 values[RECORD_COLUMNS] = {1024, 2048, 30000, 2, 1000, 65535, 12345};
  char record[RECORD_LINE_SIZE];
  BuildRecordLine(values, record, sizeof record);
  const RecHeader h{"01-01-2000", "00:00:00", "B", 40000, 1000, 1024};
  char inc[HEADER_LINE_SIZE];
  BuildHeaderLine(3, h, inc, sizeof inc);
  decimal_comma_locale::Restore(savedC);
  std::locale::global(saved);
  EXPECT_STREQ(record, "1024\t2048\t30000\t2\t1000\t65535\t12345\r\n");
  EXPECT_STREQ(inc, "Zeit-Intervall[s]:\t40000\r\n");
}

TEST(RecFile, Utf8ToWindows1252) {
  const struct {
    const char* in;
    int length;  // -1: refused
    const char* out;
  } cases[] = {
      {"ABC.DAT", 7, "ABC.DAT"},
      {"\xC2\xB5", 1, "\xB5"},            // micro sign
      {"\xC3\xA4\xC3\x9F", 2, "\xE4\xDF"},  // a-umlaut, sharp s
      {"\xE2\x82\xAC", 1, "\x80"},        // euro sign
      {"\xE2\x80\x9C\xE2\x80\x9D", 2, "\x93\x94"},  // curly quotes
      {"\xC5\xB8", 1, "\x9F"},            // Y with diaeresis
      {"\xCE\xA9", -1, ""},               // Greek omega: no byte
      {"\xC2\x81", -1, ""},               // a C1 control: no byte
      {"\xC3", -1, ""},                   // cut sequence
      {"\xC0\xAF", -1, ""},               // overlong slash
      {"\xED\xA0\x80", -1, ""},           // surrogate
      {"", 0, ""},
  };
  for (const auto& c : cases) {
    char out[16];
    EXPECT_EQ(Utf8ToWindows1252(c.in, out, sizeof out), c.length) << c.in;
    if (c.length >= 0) {
      EXPECT_EQ(std::string(out), c.out);
    }
  }
  char tiny[3];
  EXPECT_EQ(Utf8ToWindows1252("ABC", tiny, sizeof tiny), -1);
}

TEST(RecFile, BatchNameRule) {
  const std::string longest(MAX_BATCH_NAME, 'N');
  const std::string tooLong(MAX_BATCH_NAME + 1, 'N');
  const std::string longUmlauts = std::string(MAX_BATCH_NAME / 2 + 1, 'x') + [] {
    std::string s;
    for (int i = 0; i < MAX_BATCH_NAME / 2; ++i) s += "\xC3\xA4";
    return s;
  }();
  const struct {
    std::string name;
    BatchNameCheck why;
  } cases[] = {
      {"CHARGE0123.DAT", BATCH_OK},
      {"TEST1.DAT", BATCH_OK},
      {"a.b.c", BATCH_OK},
      {"Pr\xC3\xBC" "fung 5\xC2\xB5m.dat", BATCH_OK},
      {longest, BATCH_OK},
      {longUmlauts, BATCH_OK},  // 243 characters, more bytes in UTF-8
      {"", BATCH_EMPTY},
      {tooLong, BATCH_TOO_LONG},
      {"sub/CHARGE.DAT", BATCH_SEPARATOR},
      {"/etc/passwd", BATCH_SEPARATOR},
      {"sub\\CHARGE.DAT", BATCH_SEPARATOR},
      {"..", BATCH_PARENT},
      {".", BATCH_PARENT},
      {"..CHARGE", BATCH_PARENT},
      {"tab\tname", BATCH_CONTROL},
      {"line\rend", BATCH_CONTROL},
      {"\xCE\xA9mega", BATCH_CHARSET},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CheckBatchName(c.name.c_str()), c.why) << c.name;
    if (c.why != BATCH_OK) {
      EXPECT_STRNE(BatchNameRefusal(c.why), "") << c.name;
    }
  }
  EXPECT_EQ(CheckBatchName(nullptr), BATCH_EMPTY);
}

TEST(RecFile, DurationSplit) {
  const struct {
    int t, d, h, m, s;
  } cases[] = {
      {0, 0, 0, 0, 0},
      {10, 0, 0, 0, 10},
      {35990, 0, 9, 59, 50},  // 10 records at 3599 s
      {86399, 0, 23, 59, 59},
      {86400, 1, 0, 0, 0},
      {100000, 1, 3, 46, 40},
      {235860465, 2729, 20, 47, 45},  // 65535 records at 3599 s
  };
  for (const auto& c : cases) {
    int d = -1, h = -1, m = -1, s = -1;
    SplitRecTime(c.t, &d, &h, &m, &s);
    EXPECT_EQ(d, c.d) << c.t;
    EXPECT_EQ(h, c.h) << c.t;
    EXPECT_EQ(m, c.m) << c.t;
    EXPECT_EQ(s, c.s) << c.t;
  }
}

class RecFileWriteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "rorir-recfile-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string dir_;
};

TEST_F(RecFileWriteTest, HeaderAndRecordsAppendWholeLines) {
  const std::string path = dir_ + "/RUN.DAT";
  CopyText(szRunFile, path.c_str());
  CopyText(szRunDate, "12-31-2023");
  CopyText(szRunTime, "23:59:59");
  CopyText(charge_fname, "RUN.DAT");
  incTime = 5;
  numSample = 2;
  slope = 1000;
  ASSERT_EQ(writeFileHeader(), 0);
  Ledge = 1; Redge = 2; Mvalue = 3; edcnt = 4; gapVal = 5; gapPix = 6; gapLen = 7;
  ASSERT_EQ(AppendRecordLine(), 0);
  EXPECT_EQ(FileBytes(path),
            "Datum:\t12-31-2023\r\nZeit:\t23:59:59\r\nChargen-Name:\tRUN.DAT\r\n"
            "Zeit-Intervall[s]:\t5\r\nMax. Anzahl Messwerte:\t2\r\nSlope [\xB5m/Pixel]:\t1000\r\n" +
                kHead + "1\t2\t3\t4\t5\t6\t7\r\n");
}

TEST_F(RecFileWriteTest, WritersReportAFileThatCannotBeWritten) {
  const struct {
    std::string path;
    const char* what;
  } cases[] = {
      {dir_ + "/missing-folder/RUN.DAT", "folder does not exist"},
      {dir_, "a folder, not a file"},
      {"/dev/full", "disk full"},
  };
  CopyText(charge_fname, "RUN.DAT");
  for (const auto& c : cases) {
    CopyText(szRunFile, c.path.c_str());
    EXPECT_EQ(writeFileHeader(), -1) << c.what;
    EXPECT_EQ(AppendRecordLine(), -1) << c.what;
  }
}

}  // namespace
