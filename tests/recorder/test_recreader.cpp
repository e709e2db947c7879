// The recorder file read back for the review: files made by the program's own writer
// functions, a table of damaged inputs, the decimated trace past its bucket count, and the
// chunked read of a real file.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "recorder/recfile.h"
#include "recorder/recreader.h"

namespace {

ReviewFile gFile;   // large: one static object, as the review window keeps it
ReviewFile gOther;

std::string Header(const char* batch = "CHARGE0123.DAT") {
  const RecHeader h{"04-17-2024", "13:05:09", batch, 5, 100, 1234};
  std::string out;
  char buf[HEADER_LINE_SIZE];
  for (int i = 0; i < HEADER_LINES; ++i) {
    const int n = BuildHeaderLine(i, h, buf, sizeof buf);
    EXPECT_GT(n, 0) << "line " << i;
    if (n > 0) out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

std::string Record(u16 a, u16 b, u16 c, u16 d, u16 e, u16 f, u16 g) {
  const u16 values[RECORD_COLUMNS] = {a, b, c, d, e, f, g};
  char buf[RECORD_LINE_SIZE];
  const int n = BuildRecordLine(values, buf, sizeof buf);
  EXPECT_GT(n, 0);
  return std::string(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

int Parse(const std::string& bytes, ReviewFile* out = &gFile) {
  return ParseRecorderBytes(bytes.data(), bytes.size(), out);
}

TEST(RecReader, KnownFileGivesItsHeaderStatisticsCountsAndTrace) {
  const std::string bytes = Header("Probe \xC2\xB5" "1 \xE2\x82\xAC") +  // "Probe µ1 €"
                            Record(100, 0, 10, 2, 7, 0, 1) + Record(200, 0, 10, 2, 7, 0, 2) +
                            Record(300, 0, 10, 4, 7, 9, 3) + Record(400, 65535, 10, 2, 7, 0, 4);
  ASSERT_EQ(Parse(bytes), 0);
  const ReviewFile& f = gFile;
  EXPECT_TRUE(f.isRecorderFile);
  EXPECT_STREQ(f.message, "");
  EXPECT_STREQ(f.date, "04-17-2024");
  EXPECT_STREQ(f.time, "13:05:09");
  EXPECT_STREQ(f.batch, "Probe \xC2\xB5" "1 \xE2\x82\xAC");
  EXPECT_STREQ(f.interval, "5");
  EXPECT_STREQ(f.maxCount, "100");
  EXPECT_STREQ(f.slope, "1234");
  EXPECT_EQ(f.records, 4);
  EXPECT_EQ(f.badLines, 0);
  EXPECT_EQ(f.firstBadLine, 0);
  EXPECT_FALSE(f.cutOff);

  const struct {
    int column;
    double mean, m2, min, max, sd;
  } stats[] = {
      {0, 250, 50000, 100, 400, 129.09944487358056},
      {1, 16383.75, 3221127168.75, 0, 65535, 32767.5},
      {2, 10, 0, 10, 10, 0},
      {3, 2.5, 3, 2, 4, 1.0},
      {5, 2.25, 60.75, 0, 9, 4.5},
      {6, 2.5, 5, 1, 4, 1.2909944487358056},
  };
  for (const auto& s : stats) {
    const ReviewColumn& c = f.columns[s.column];
    SCOPED_TRACE(kReviewColumnNames[s.column]);
    EXPECT_EQ(c.n, 4);
    EXPECT_DOUBLE_EQ(c.mean, s.mean);
    EXPECT_NEAR(c.m2, s.m2, 1e-6);
    EXPECT_EQ(c.min, s.min);
    EXPECT_EQ(c.max, s.max);
    EXPECT_NEAR(ColumnSd(c), s.sd, 1e-9);
  }
  EXPECT_EQ(f.columns[3].counts[2], 3u);
  EXPECT_EQ(f.columns[3].counts[4], 1u);
  EXPECT_EQ(f.columns[3].counts[3], 0u);
  EXPECT_EQ(f.columns[1].counts[65535], 1u);
  EXPECT_EQ(f.columns[4].counts[7], 4u);

  // Limits are inside: a value on a limit is not outside.
  EXPECT_EQ(ColumnOutside(f.columns[0], 150, 350), 2);
  EXPECT_EQ(ColumnOutside(f.columns[0], 100, 400), 0);
  EXPECT_EQ(ColumnOutside(f.columns[6], 2.5, 3.5), 3);
  EXPECT_EQ(ColumnOutside(f.columns[1], 0, 65534), 1);

  // A small file: one record a bucket, the trace is the records themselves.
  const unsigned short left[] = {100, 200, 300, 400};
  for (const ReviewColumn& c : f.columns) {
    EXPECT_EQ(c.buckets, 4);
    EXPECT_EQ(c.bucketWidth, 1);
  }
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(f.columns[0].low[i], left[i]);
    EXPECT_EQ(f.columns[0].high[i], left[i]);
  }
  EXPECT_EQ(f.columns[1].high[3], 65535);
  EXPECT_EQ(f.columns[1].low[2], 0);
}

TEST(RecReader, ColumnNamesAreTheColumnHead) {
  std::string head;
  for (int i = 0; i < REVIEW_COLUMNS; ++i) head += std::string(i ? "\t" : "") + kReviewColumnNames[i];
  EXPECT_EQ(Header().substr(Header().size() - head.size() - 2), head + "\r\n");
}

TEST(RecReader, DamagedInputsGiveOneClearMessageAndKeepTheGoodRecords) {
  const std::string h = Header();
  const std::string r = Record(1, 2, 3, 4, 5, 6, 7);
  std::string lf = h + r + r;
  for (size_t at = lf.find("\r\n"); at != std::string::npos; at = lf.find("\r\n", at)) lf.erase(at, 1);
  const struct {
    const char* name;
    std::string bytes;
    int result;
    long long records, badLines, firstBad;
    bool cutOff, isRecorder;
    const char* message;
  } cases[] = {
      {"not a recorder file", "Hello\r\nworld\r\n" + r, -1, 0, 0, 0, false, false,
       "Not a recorder file: its first line is not \"Datum:\"."},
      {"empty file", "", -1, 0, 0, 0, false, false, "Not a recorder file: the file is empty."},
      {"one line of junk without a line end", "\x7F" "ELF\x02\x01", -1, 0, 0, 0, false, false,
       "Not a recorder file: its first line is not \"Datum:\"."},
      {"header without the column head", h.substr(0, h.find("E-LEFT")) + r, -1, 0, 0, 0, false, false,
       "Not a recorder file: line 7 is not the column head."},
      {"header cut off", h.substr(0, 40), -1, 0, 0, 0, false, false,
       "Not a recorder file: the header ends before the column head."},
      {"header only", h, 0, 0, 0, 0, false, true, ""},
      {"LF line ends", lf, 0, 2, 0, 0, false, true, ""},
      {"last line without its line end", h + r + r + "1\t2\t3\t4\t5\t6\t7", 1, 2, 0, 0, true, true,
       "The last line is cut off."},
      {"last line of fewer than seven numbers", h + r + r + "1\t2\t3\r\n", 1, 2, 0, 0, true, true,
       "The last line is cut off."},
      {"last line ending in a tab", h + r + "1\t2\t", 1, 1, 0, 0, true, true, "The last line is cut off."},
      {"bad lines in the middle", h + r + "1\t2\tx\t4\t5\t6\t7\r\n" + r + "1\t2\r\n" + r + "\r\n" + r, 1, 4, 3, 9,
       false, true, "3 bad lines skipped (first: line 9)."},
      {"a number of 65536", h + r + "65536\t0\t0\t0\t0\t0\t0\r\n" + r, 1, 2, 1, 9, false, true,
       "1 bad line skipped (first: line 9)."},
      {"eight numbers, a blank, a sign, a CR inside", h + r + r + "1\t2\t3\t4\t5\t6\t7\t8\r\n" +
       "1\t2\t3\t4\t5\t6 \r\n" + "1\t2\t3\t4\t5\t6\t-7\r\n" + "1\t2\r3\t4\t5\t6\t7\r\n", 1, 2, 4, 10,
       false, true, "4 bad lines skipped (first: line 10)."},
      {"a bad line and a cut-off one", h + r + "nonsense\r\n" + r + "1\t2", 1, 2, 1, 9, true, true,
       "1 bad line skipped (first: line 9); the last line is cut off."},
      {"a line far longer than any record", h + r + std::string(5000, '1') + "\r\n" + r, 1, 2, 1, 9, false,
       true, "1 bad line skipped (first: line 9)."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Parse(c.bytes), c.result);
    EXPECT_EQ(gFile.records, c.records);
    EXPECT_EQ(gFile.badLines, c.badLines);
    EXPECT_EQ(gFile.firstBadLine, c.firstBad);
    EXPECT_EQ(gFile.cutOff, c.cutOff);
    EXPECT_EQ(gFile.isRecorderFile, c.isRecorder);
    EXPECT_STREQ(gFile.message, c.message);
    EXPECT_EQ(gFile.columns[6].n, c.records);
    EXPECT_EQ(gFile.columns[6].counts[7], static_cast<unsigned>(c.records));
  }
}

TEST(RecReader, HeaderTextsConvertWindows1252ToUtf8) {
  // Raw header bytes as another writer might have left them: unused bytes and controls show
  // as U+FFFD, never as a broken text.
  const std::string bytes = std::string("Datum:\t01-02-2003\r\nZeit:\t04:05:06\r\n") +
                            "Chargen-Name:\t\xB5m \x80 \x9F \xFF \x81|\x01\r\n" +
                            "Zeit-Intervall[s]:\t1\r\nMax. Anzahl Messwerte:\t2\r\nSlope [\xB5m/Pixel]:\t3\r\n" +
                            "E-LEFT\tE-RIGHT\tM-VALUE\tEDGES\tGAPPIX\tGAPVAL\tGAPLEN\r\n";
  ASSERT_EQ(Parse(bytes), 0);
  EXPECT_STREQ(gFile.batch, "\xC2\xB5m \xE2\x82\xAC \xC5\xB8 \xC3\xBF \xEF\xBF\xBD|\xEF\xBF\xBD");
  EXPECT_STREQ(gFile.slope, "3");

  // The longest batch name the writer accepts, all three-byte characters in UTF-8, is kept whole.
  std::string longest;
  for (int i = 0; i < MAX_BATCH_NAME; ++i) longest += "\xE2\x82\xAC";
  ASSERT_EQ(Parse(Header(longest.c_str())), 0);
  EXPECT_EQ(std::string(gFile.batch), longest);
}

TEST(RecReader, TraceMergesNeighboursAndKeepsEverySpike) {
  // 10000 records: the width doubles twice (4096 -> 2 a bucket -> 4 a bucket), 2500 buckets.
  std::string bytes = Header();
  for (int i = 0; i < 10000; ++i)
    bytes += Record(static_cast<u16>(i % 4 * 10), i == 7777 ? 65535 : 5, static_cast<u16>(i), 0, 0, 0,
                    i == 9999 ? 1 : 2);
  ASSERT_EQ(Parse(bytes), 0);
  EXPECT_EQ(gFile.records, 10000);
  for (const ReviewColumn& c : gFile.columns) {
    EXPECT_EQ(c.buckets, 2500);
    EXPECT_EQ(c.bucketWidth, 4);
  }
  const ReviewColumn& phase = gFile.columns[0];
  const ReviewColumn& spike = gFile.columns[1];
  for (int b = 0; b < 2500; ++b) {
    ASSERT_EQ(phase.low[b], 0) << b;
    ASSERT_EQ(phase.high[b], 30) << b;
    ASSERT_EQ(spike.low[b], 5) << b;
    ASSERT_EQ(spike.high[b], b == 1944 ? 65535 : 5) << b;
  }
  const ReviewColumn& ramp = gFile.columns[2];
  EXPECT_EQ(ramp.low[0], 0);
  EXPECT_EQ(ramp.high[0], 3);
  EXPECT_EQ(ramp.low[1], 4);
  EXPECT_EQ(ramp.high[1], 7);
  EXPECT_EQ(ramp.low[2499], 9996);
  EXPECT_EQ(ramp.high[2499], 9999);
  EXPECT_EQ(gFile.columns[6].low[2499], 1);
  EXPECT_EQ(gFile.columns[6].high[2498], 2);
  EXPECT_EQ(gFile.columns[6].low[2498], 2);

  // One record past a full trace: it opens a bucket of its own at the new width.
  bytes = Header();
  for (int i = 0; i < 4097; ++i) bytes += Record(i == 4096 ? 900 : 1, 0, 0, 0, 0, 0, 0);
  ASSERT_EQ(Parse(bytes), 0);
  EXPECT_EQ(gFile.columns[0].buckets, 2049);
  EXPECT_EQ(gFile.columns[0].bucketWidth, 2);
  EXPECT_EQ(gFile.columns[0].low[2047], 1);
  EXPECT_EQ(gFile.columns[0].high[2047], 1);
  EXPECT_EQ(gFile.columns[0].low[2048], 900);
  EXPECT_EQ(gFile.columns[0].high[2048], 900);
}

struct TempDir {
  TempDir() {
    char pattern[] = "/tmp/rorir-recreader-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made) path = made;
  }
  ~TempDir() {
    if (!path.empty()) std::filesystem::remove_all(path);
  }
  std::string path;
};

TEST(RecReader, FileReadInChunksEqualsTheBytesInMemory) {
  TempDir dir;
  ASSERT_FALSE(dir.path.empty());
  // Far more than one chunk, with a bad line and a cut-off line on chunk boundaries' far side.
  std::string bytes = Header();
  for (int i = 0; i < 30000; ++i) bytes += Record(static_cast<u16>(i), static_cast<u16>(i * 7), 3, 2, 1, 0, 9);
  bytes += "1\t2\t3\t4\t5\t6\t70000\r\n";
  for (int i = 0; i < 100; ++i) bytes += Record(65535, 0, 0, 0, 0, 0, 0);
  bytes += "1\t2\t3";
  ASSERT_GT(bytes.size(), 5u * 64 * 1024);
  const std::string path = dir.path + "/CHARGE0123.DAT";
  {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    ASSERT_TRUE(out.good());
  }
  EXPECT_EQ(ReadRecorderFile(path.c_str(), &gFile), 1);
  EXPECT_EQ(Parse(bytes, &gOther), 1);
  EXPECT_EQ(gFile.records, 30100);
  EXPECT_EQ(gFile.firstBadLine, 30008);
  EXPECT_STREQ(gFile.message, "1 bad line skipped (first: line 30008); the last line is cut off.");
  EXPECT_STREQ(gFile.message, gOther.message);
  for (int c = 0; c < REVIEW_COLUMNS; ++c) {
    SCOPED_TRACE(kReviewColumnNames[c]);
    EXPECT_EQ(gFile.columns[c].mean, gOther.columns[c].mean);
    EXPECT_EQ(gFile.columns[c].m2, gOther.columns[c].m2);
    EXPECT_EQ(gFile.columns[c].buckets, gOther.columns[c].buckets);
    EXPECT_EQ(0, std::memcmp(gFile.columns[c].counts, gOther.columns[c].counts, sizeof gFile.columns[c].counts));
    EXPECT_EQ(0, std::memcmp(gFile.columns[c].low, gOther.columns[c].low, sizeof gFile.columns[c].low));
    EXPECT_EQ(0, std::memcmp(gFile.columns[c].high, gOther.columns[c].high, sizeof gFile.columns[c].high));
  }
  EXPECT_EQ(gFile.columns[0].counts[65535], 100u);

  // A file that is not there: its own message, nothing read.
  EXPECT_EQ(ReadRecorderFile((dir.path + "/missing.DAT").c_str(), &gFile), -1);
  EXPECT_STREQ(gFile.message, "The file could not be opened.");
  EXPECT_FALSE(gFile.isRecorderFile);
  EXPECT_EQ(ReadRecorderFile(dir.path.c_str(), &gFile), -1);
  EXPECT_STREQ(gFile.message, "The file could not be opened.");
}

}  // namespace
