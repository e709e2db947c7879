// The settings change log: the line's text, the sensor's identity in it, rotation before the
// size limit with one old file kept, the tail read across both files, and a log that cannot
// be written.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "app/change_log.h"
#include "link/com232.h"
#include "platform/sys/utility.h"
#include "state/globals.h"
#include "support/ui_helpers.h"

namespace {

constexpr u16 kBefore[PNUM] = {500, 0, 512, 1, 0, 2, 10, 2000, 1000, 50, 0, 0, 1024, 30000, 4, 0};
constexpr u16 kPowerAndThreshold[PNUM] = {777, 0, 400, 1, 0, 2, 10, 2000, 1000, 50, 0, 0, 1024, 30000, 4, 0};
constexpr u16 kEdgesAndPowerMode[PNUM] = {500, 0, 512, 1, 0, 2, 12, 1990, 1000, 50, 0, 0, 1024, 30000, 4, 1};

TEST(ChangeLine, NamesEachChangedSettingAndKeepsTheLineValidText) {
  const char* when = "2026-12-08 07:12:03 +0100";
  const char* port = "COM1 /dev/ttyUSB0";
  const char* sensor = "type 2, 2048 pixels, firmware K-VOR V1.52";
  struct Case {
    const char* what;
    ChangeFacts facts;
    size_t size;
    const char* line;
  } cases[] = {
      {"two settings changed",
       {when, "ops", port, sensor, "RAM", kBefore, kPowerAndThreshold}, CHANGE_LOG_LINE_SIZE,
       "2026-12-08 07:12:03 +0100 | ops | COM1 /dev/ttyUSB0 | type 2, 2048 pixels, firmware K-VOR V1.52"
       " | RAM | power 500 -> 777, vThd 512 -> 400"},
      {"nothing changed",
       {when, "ops", port, sensor, "EEPROM", kBefore, kBefore}, CHANGE_LOG_LINE_SIZE,
       "2026-12-08 07:12:03 +0100 | ops | COM1 /dev/ttyUSB0 | type 2, 2048 pixels, firmware K-VOR V1.52"
       " | EEPROM | no setting changed"},
      {"before not known",
       {when, "ops", port, sensor, "RAM", nullptr, kBefore}, CHANGE_LOG_LINE_SIZE,
       "2026-12-08 07:12:03 +0100 | ops | COM1 /dev/ttyUSB0 | type 2, 2048 pixels, firmware K-VOR V1.52"
       " | RAM | power ? -> 500, tolMode ? -> 0, vThd ? -> 512, anaMode ? -> 1, polarity ? -> 0,"
       " eMode ? -> 2, eBeg ? -> 10, eEnd ? -> 2000, tVal ? -> 1000, tTol ? -> 50, opMode ? -> 0,"
       " eHardware ? -> 0, slope ? -> 1024, intersect ? -> 30000, average ? -> 4, powMode ? -> 0"},
      {"a file target, its name in UTF-8 and with a bar",
       {when, "müller", "COM3 /dev/ttyS0", "sensor not identified", "file /home/müller/a|b.dat",
        kBefore, kEdgesAndPowerMode},
       CHANGE_LOG_LINE_SIZE,
       "2026-12-08 07:12:03 +0100 | müller | COM3 /dev/ttyS0 | sensor not identified"
       " | file /home/müller/a|b.dat | eBeg 10 -> 12, eEnd 2000 -> 1990, powMode 0 -> 1"},
      {"control characters and bytes that are not UTF-8",
       {when, "o\tps", port, "type 2, 2048 pixels, firmware K\x01V\xff" "1.5\xc2\x85",
        "file /tmp/x\n\xe2\x82.dat", kBefore, kBefore},
       CHANGE_LOG_LINE_SIZE,
       "2026-12-08 07:12:03 +0100 | o?ps | COM1 /dev/ttyUSB0 | type 2, 2048 pixels, firmware K?V?1.5?"
       " | file /tmp/x???.dat | no setting changed"},
      {"cut before a character that does not fit whole",
       {when, "Mü", port, sensor, "RAM", kBefore, kBefore}, 31,
       "2026-12-08 07:12:03 +0100 | M"},
  };
  for (const Case& c : cases) {
    char out[CHANGE_LOG_LINE_SIZE];
    memset(out, 'x', sizeof out);
    const size_t n = FormatChangeLine(c.facts, out, c.size);
    EXPECT_STREQ(out, c.line) << c.what;
    EXPECT_EQ(n, strlen(c.line)) << c.what;
  }
}

TEST(ChangeLine, IdentityShowsTheFirmwareTextAsPrintableAscii) {
  struct Case {
    int identified;
    const char* version;
    const char* text;
  } cases[] = {
      {0, "K-VOR V1.52", "sensor not identified"},
      {1, "K-VOR V1.52", "type 2, 2048 pixels, firmware K-VOR V1.52"},
      {1, "K-VOR V1.52   \r\n\x01", "type 2, 2048 pixels, firmware K-VOR V1.52"},
      {1, "K\xb5VOR\x07V1", "type 2, 2048 pixels, firmware K?VOR?V1"},
      {1, "  ", "type 2, 2048 pixels, firmware word 152"},  // a board that sent no text
  };
  ccdtype = 2;
  ccdmaxpixel = 2048;
  softversion = 152;
  for (const Case& c : cases) {
    sensorIdentified = c.identified;
    CopyText(szFirmware, c.version);
    char out[TEXT_SIZE * 2];
    SensorIdentityText(out, sizeof out);
    EXPECT_STREQ(out, c.text) << c.version;
  }
  sensorIdentified = 0;
  szFirmware[0] = '\0';
}

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// `count` lines of 99 characters and a line end, each naming `tag` and its number.
std::string Filler(const char* tag, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    char line[100];
    snprintf(line, sizeof line, "%s %05d", tag, i);
    std::string padded = line;
    padded.resize(99, '.');
    text += padded + "\n";
  }
  return text;
}

std::string FillerLine(const char* tag, int i) {
  const std::string all = Filler(tag, i + 1);
  return all.substr(all.size() - 100, 99);
}

void WriteWhole(const std::string& path, const std::string& text) {
  ASSERT_EQ(WriteFileBytes(path.c_str(), text.data(), text.size()), 0) << path;
}

std::vector<std::string> FolderNames(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

class ChangeLogFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = MakeTempDir();
    ASSERT_FALSE(dir.empty());
    setenv("RORIR_DATA_DIR", dir.c_str(), 1);
    CopyText(proj_dir, dir.c_str());
    setenv("RORIR_COM7", "/tmp/rorir-change-log-no-such-device", 1);
    com = 7;
    sensorIdentified = 1;
    ccdtype = 2;
    ccdmaxpixel = 2048;
    CopyText(szFirmware, "K-VOR V1.52");
  }
  void TearDown() override {
    unsetenv("RORIR_DATA_DIR");
    unsetenv("RORIR_COM7");
    proj_dir[0] = '\0';
    sensorIdentified = 0;
    szFirmware[0] = '\0';
    RemoveTree(dir);
  }
  std::string dir;
};

// 10,485 filler lines are 1,048,500 bytes: no log line fits in the 76 bytes left.
constexpr int NEAR_LIMIT_LINES = 10485;

TEST_F(ChangeLogFiles, RotatesBeforeTheLimitKeepsOneOldFileAndReadsTheTailAcrossBoth) {
  const std::string log = dir + "/rorir-changes.log", old = dir + "/rorir-changes.log.1";

  // Well below the limit the line joins the file: no rotation.
  const std::string roomy = Filler("roomy", NEAR_LIMIT_LINES - 20);
  WriteWhole(log, roomy);
  ASSERT_EQ(LogSettingsChange(RAM, nullptr, kBefore, kPowerAndThreshold), 0);
  std::string text = ReadWhole(log);
  EXPECT_EQ(text.compare(0, roomy.size(), roomy), 0);
  const std::string first = text.substr(roomy.size());
  EXPECT_TRUE(EndsWith(first, " | COM7 /tmp/rorir-change-log-no-such-device"
                              " | type 2, 2048 pixels, firmware K-VOR V1.52"
                              " | RAM | power 500 -> 777, vThd 512 -> 400\n")) << first;
  EXPECT_EQ(first.find('\n'), first.size() - 1) << "one line";
  // The clock with its zone and a user name of some kind lead the line.
  EXPECT_TRUE(std::regex_search(first, std::regex(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d [+-]\d{4} \| [^|]+ \| COM7 )")))
      << first;
  EXPECT_EQ(FolderNames(dir), (std::vector<std::string>{"rorir-changes.log"}));

  // Near the limit: the full file becomes the old one, the line begins a new file.
  const std::string full = Filler("full", NEAR_LIMIT_LINES);
  WriteWhole(log, full);
  ASSERT_EQ(LogSettingsChange(EEPROM, nullptr, kBefore, kBefore), 0);
  EXPECT_EQ(ReadWhole(old), full);
  text = ReadWhole(log);
  EXPECT_TRUE(EndsWith(text, " | EEPROM | no setting changed\n")) << text;
  EXPECT_EQ(text.find('\n'), text.size() - 1) << "one line";

  // Again: the newer full file replaces the old one; no third file.
  const std::string fuller = Filler("fuller", NEAR_LIMIT_LINES);
  WriteWhole(log, fuller);
  ASSERT_EQ(LogSettingsChange(DATFILE, "/data/line 4.dat", nullptr, kEdgesAndPowerMode), 0);
  EXPECT_EQ(ReadWhole(old), fuller);
  const std::string newest = ReadWhole(log);
  EXPECT_TRUE(EndsWith(newest, " | file /data/line 4.dat | power ? -> 500, tolMode ? -> 0,"
                               " vThd ? -> 512, anaMode ? -> 1, polarity ? -> 0, eMode ? -> 2,"
                               " eBeg ? -> 12, eEnd ? -> 1990, tVal ? -> 1000, tTol ? -> 50,"
                               " opMode ? -> 0, eHardware ? -> 0, slope ? -> 1024,"
                               " intersect ? -> 30000, average ? -> 4, powMode ? -> 1\n"))
      << newest;
  EXPECT_EQ(FolderNames(dir), (std::vector<std::string>{"rorir-changes.log", "rorir-changes.log.1"}));

  // The newest lines, newest last: the old file's tail, then the current file.
  static char lines[4][CHANGE_LOG_LINE_SIZE];
  ASSERT_EQ(ReadChangeLogTail(lines, 4), 4);
  EXPECT_EQ(std::string(lines[0]), FillerLine("fuller", NEAR_LIMIT_LINES - 3));
  EXPECT_EQ(std::string(lines[1]), FillerLine("fuller", NEAR_LIMIT_LINES - 2));
  EXPECT_EQ(std::string(lines[2]), FillerLine("fuller", NEAR_LIMIT_LINES - 1));
  EXPECT_EQ(std::string(lines[3]) + "\n", newest);
  ASSERT_EQ(ReadChangeLogTail(lines, 1), 1);
  EXPECT_EQ(std::string(lines[0]) + "\n", newest);

  // Two lines in the current file: both come after the old file's newest.
  ASSERT_EQ(LogSettingsChange(RAM, nullptr, kBefore, kBefore), 0);
  ASSERT_EQ(ReadChangeLogTail(lines, 3), 3);
  EXPECT_EQ(std::string(lines[0]), FillerLine("fuller", NEAR_LIMIT_LINES - 1));
  EXPECT_EQ(std::string(lines[1]) + "\n", newest);
  EXPECT_TRUE(EndsWith(lines[2], " | RAM | no setting changed")) << lines[2];
}

TEST_F(ChangeLogFiles, AFolderThatCannotBeWrittenGivesANegativeResult) {
  // A regular file where the folder should be, and a folder where the log should be: neither
  // can take the line, whoever runs the test.
  const std::string notAFolder = dir + "/plain";
  WriteWhole(notAFolder, "x");
  CopyText(proj_dir, notAFolder.c_str());
  EXPECT_LT(LogSettingsChange(RAM, nullptr, kBefore, kPowerAndThreshold), 0);
  static char lines[2][CHANGE_LOG_LINE_SIZE];
  EXPECT_EQ(ReadChangeLogTail(lines, 2), 0);

  CopyText(proj_dir, dir.c_str());
  ASSERT_EQ(mkdir((dir + "/rorir-changes.log").c_str(), 0755), 0);
  EXPECT_LT(LogSettingsChange(EEPROM, nullptr, kBefore, kPowerAndThreshold), 0);
  EXPECT_EQ(ReadChangeLogTail(lines, 2), 0);
  EXPECT_EQ(FolderNames(dir), (std::vector<std::string>{"plain", "rorir-changes.log"}));
}

}  // namespace
