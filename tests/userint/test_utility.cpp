// Utility services: bounded texts, paths, the data folder and the durable file helpers.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>

#include "display/utility.h"
#include "support/ui_helpers.h"

namespace {

TEST(BoundedText, CopiesAndAppendsAreCutAndAlwaysTerminated) {
  char buf[8];
  EXPECT_EQ(CopyText(buf, "0123456789"), 7u);
  EXPECT_STREQ(buf, "0123456");
  CopyText(buf, "abc");
  AppendText(buf, "defghij");
  EXPECT_STREQ(buf, "abcdefg");
  CopyText(buf, nullptr);
  EXPECT_STREQ(buf, "");
  // A buffer that was never terminated is terminated rather than overrun.
  char raw[4] = {'x', 'y', 'z', 'w'};
  AppendText(raw, "more");
  EXPECT_EQ(raw[3], '\0');
}

TEST(Paths, JoinWithOneSeparatorAndReportCutting) {
  char path[260];
  EXPECT_EQ(MakePathname("/data", "CHARGE0123.DAT", path), 0);
  EXPECT_STREQ(path, "/data/CHARGE0123.DAT");
  EXPECT_EQ(MakePathname("/data/", "x.dat", path), 0);
  EXPECT_STREQ(path, "/data/x.dat");
  EXPECT_EQ(MakePathname("/data", std::string(300, 'a').c_str(), path), -1);
  EXPECT_EQ(strlen(path), 259u);
}

TEST(Paths, DataFolderFollowsTheEnvironment) {
  std::string dir = MakeTempDir() + "/nested/data";
  setenv("RORIR_DATA_DIR", dir.c_str(), 1);
  char got[260];
  EXPECT_EQ(GetProjectDir(got), 0);
  EXPECT_EQ(std::string(got), dir);
  struct stat st {};
  EXPECT_EQ(stat(dir.c_str(), &st), 0) << "created on first use";
  unsetenv("RORIR_DATA_DIR");
  RemoveTree(dir.substr(0, dir.size() - strlen("/nested/data")));
}

TEST(Files, AppendWriteReadAndTheirFailures) {
  std::string dir = MakeTempDir();
  std::string f = dir + "/rec.dat";
  EXPECT_EQ(AppendFileBytes(f.c_str(), "ab\r\n", 4), 0);
  EXPECT_EQ(AppendFileBytes(f.c_str(), "cd\r\n", 4), 0);
  char buf[16];
  size_t n = 0;
  EXPECT_EQ(ReadFileBytes(f.c_str(), buf, sizeof buf, &n), 0);
  EXPECT_EQ(std::string(buf, n), "ab\r\ncd\r\n");
  EXPECT_EQ(ReadFileBytes(f.c_str(), buf, 3, &n), 1);  // larger than the buffer
  EXPECT_EQ(n, 3u);
  EXPECT_EQ(GetFileInfo(f.c_str(), nullptr), 1);

  EXPECT_EQ(WriteFileBytes(f.c_str(), "new", 3), 0);
  EXPECT_EQ(ReadFileBytes(f.c_str(), buf, sizeof buf, &n), 0);
  EXPECT_EQ(std::string(buf, n), "new");

  std::string missingDir = dir + "/absent/x.dat";
  EXPECT_LT(AppendFileBytes(missingDir.c_str(), "x", 1), 0);
  EXPECT_LT(WriteFileBytes(missingDir.c_str(), "x", 1), 0);
  EXPECT_LT(ReadFileBytes(missingDir.c_str(), buf, sizeof buf, &n), 0);
  EXPECT_LT(ReadFileBytes(dir.c_str(), buf, sizeof buf, &n), 0) << "a folder is not a file";
  EXPECT_EQ(DeleteFile(f.c_str()), 0);
  EXPECT_EQ(GetFileInfo(f.c_str(), nullptr), 0);
  EXPECT_LT(DeleteFile(f.c_str()), 0);
  RemoveTree(dir);
}

TEST(DateAndTime, MonthBeforeDayAndBothFromTheSameReading) {
  // Local time is UTC here, so the seconds below are the times they name.
  const char* saved = getenv("TZ");
  const std::string savedTz = saved ? saved : "";
  setenv("TZ", "UTC", 1);
  tzset();
  struct Case {
    long long when;
    const char* date;
    const char* time;
  } cases[] = {
      {0, "01-01-1970", "00:00:00"},
      {1770163199, "02-03-2026", "23:59:59"},  // the last second of 3 February
      {1770163200, "02-04-2026", "00:00:00"},  // midnight: the new day's date with its time
      {1798761599, "12-31-2026", "23:59:59"},
  };
  for (const Case& c : cases) {
    char date[16] = "x", time[16] = "x";
    FormatDateTime(c.when, date, sizeof date, time, sizeof time);
    EXPECT_STREQ(date, c.date) << c.when;
    EXPECT_STREQ(time, c.time) << c.when;
  }
  // A short buffer holds the beginning, terminated.
  char shortDate[6] = "", shortTime[3] = "";
  FormatDateTime(0, shortDate, sizeof shortDate, shortTime, sizeof shortTime);
  EXPECT_STREQ(shortDate, "01-01");
  EXPECT_STREQ(shortTime, "00");
  if (saved) {
    setenv("TZ", savedTz.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

}  // namespace
