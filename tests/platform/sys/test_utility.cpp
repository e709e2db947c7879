// Utility services: bounded texts, paths, the data folder and the durable file helpers.
#include <gtest/gtest.h>

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/sys/utility.h"
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
  FileId id;
  ASSERT_EQ(CreateNewFile(f.c_str(), &id), 0);
  EXPECT_EQ(AppendToFile(f.c_str(), id, "ab\r\n", 4), 0);
  EXPECT_EQ(AppendToFile(f.c_str(), id, "cd\r\n", 4), 0);
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
  EXPECT_LT(CreateNewFile(missingDir.c_str(), &id), 0);
  EXPECT_LT(WriteFileBytes(missingDir.c_str(), "x", 1), 0);
  EXPECT_LT(ReadFileBytes(missingDir.c_str(), buf, sizeof buf, &n), 0);
  EXPECT_LT(ReadFileBytes(dir.c_str(), buf, sizeof buf, &n), 0) << "a folder is not a file";
  EXPECT_EQ(DeleteFile(f.c_str()), 0);
  EXPECT_EQ(GetFileInfo(f.c_str(), nullptr), 0);
  EXPECT_LT(DeleteFile(f.c_str()), 0);
  RemoveTree(dir);
}

// A file made new and then appended to only while its name still stands for it: the same file
// is found under a link; a name removed, renamed away or taken by another file refuses the
// append and creates or touches nothing.
TEST(Files, AppendsGoOnlyToTheFileThatWasCreated) {
  const std::string dir = MakeTempDir();
  const std::string f = dir + "/run.dat";
  const std::string link = dir + "/link.dat";
  FileId id, other;
  ASSERT_EQ(CreateNewFile(f.c_str(), &id), 0);
  EXPECT_LT(CreateNewFile(f.c_str(), &other), 0) << "an existing file is never made new";
  EXPECT_EQ(AppendToFile(f.c_str(), id, "ab\r\n", 4), 0);
  ASSERT_EQ(symlink(f.c_str(), link.c_str()), 0);
  ASSERT_EQ(GetFileId(link.c_str(), &other), 0);
  EXPECT_TRUE(other == id);
  EXPECT_EQ(AppendToFile(link.c_str(), id, "cd\r\n", 4), 0);

  auto bytes = [](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  EXPECT_EQ(bytes(f), "ab\r\ncd\r\n");

  // Taken by another file: that one keeps its bytes.
  const std::string moved = dir + "/moved.dat";
  ASSERT_EQ(rename(f.c_str(), moved.c_str()), 0);
  std::ofstream(f, std::ios::binary) << "other";
  EXPECT_LT(AppendToFile(f.c_str(), id, "ef\r\n", 4), 0);
  EXPECT_EQ(bytes(f), "other");
  // Gone: not created again.
  ASSERT_EQ(unlink(f.c_str()), 0);
  EXPECT_LT(AppendToFile(f.c_str(), id, "ef\r\n", 4), 0);
  EXPECT_EQ(GetFileInfo(f.c_str(), nullptr), 0);
  EXPECT_EQ(bytes(moved), "ab\r\ncd\r\n");
  EXPECT_LT(GetFileId(f.c_str(), &other), 0);
  EXPECT_LT(CreateNewFile((dir + "/absent/x.dat").c_str(), &other), 0);
  RemoveTree(dir);
}

// A whole write never opens what lies at a name of its own choosing: a link there (which
// would make the write land in the file it points to) and a real file there (which a fixed
// temporary name would truncate and remove) both stay as they were, and the folder holds no
// temporary file afterwards, also when the rename fails.
TEST(Files, WholeWritesLeaveWhatLiesBesideTheTargetAlone) {
  const std::string dir = MakeTempDir();
  auto bytes = [](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  auto names = [&dir] {
    std::vector<std::string> out;
    if (DIR* d = opendir(dir.c_str())) {
      while (dirent* e = readdir(d))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) out.push_back(e->d_name);
      closedir(d);
    }
    std::sort(out.begin(), out.end());
    return out;
  };
  const std::string target = dir + "/export.csv";
  const std::string partial = target + ".partial";
  const std::string victim = dir + "/victim.dat";
  for (bool asLink : {true, false}) {
    SCOPED_TRACE(asLink ? "a link at <path>.partial" : "a file at <path>.partial");
    std::ofstream(target, std::ios::binary) << "old";
    std::ofstream(victim, std::ios::binary) << "recorded data";
    if (asLink) {
      ASSERT_EQ(symlink(victim.c_str(), partial.c_str()), 0);
    } else {
      std::ofstream(partial, std::ios::binary) << "operator's own file";
    }
    ASSERT_EQ(WriteFileBytes(target.c_str(), "new", 3), 0);
    EXPECT_EQ(bytes(target), "new");
    EXPECT_EQ(bytes(victim), "recorded data");
    struct stat st {};
    ASSERT_EQ(lstat(partial.c_str(), &st), 0);
    if (asLink) {
      EXPECT_TRUE(S_ISLNK(st.st_mode));
    } else {
      EXPECT_EQ(bytes(partial), "operator's own file");
    }
    EXPECT_EQ(names(), (std::vector<std::string>{"export.csv", "export.csv.partial", "victim.dat"}));
    ASSERT_EQ(unlink(partial.c_str()), 0);
  }
  // A folder in the target's place cannot be replaced: the temporary file goes again.
  const std::string folder = dir + "/taken";
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  EXPECT_LT(WriteFileBytes(folder.c_str(), "x", 1), 0);
  EXPECT_EQ(names(), (std::vector<std::string>{"export.csv", "taken", "victim.dat"}));
  RemoveTree(dir);
}

// A rename replaces what lies at the new name; a failed one leaves both names alone. A tail
// read gives the file's last bytes and says whether earlier ones were left out.
TEST(Files, RenameReplacesAndTailReadsTheEnd) {
  std::string dir = MakeTempDir();
  const std::string from = dir + "/log", to = dir + "/log.1";
  FileId id;
  ASSERT_EQ(CreateNewFile(from.c_str(), &id), 0);
  ASSERT_EQ(AppendToFile(from.c_str(), id, "0123456789", 10), 0);
  ASSERT_EQ(WriteFileBytes(to.c_str(), "older", 5), 0);

  char buf[16];
  size_t n = 0;
  EXPECT_EQ(ReadFileTail(from.c_str(), buf, sizeof buf, &n), 0);
  EXPECT_EQ(std::string(buf, n), "0123456789");
  EXPECT_EQ(ReadFileTail(from.c_str(), buf, 4, &n), 1);
  EXPECT_EQ(std::string(buf, n), "6789");
  EXPECT_LT(ReadFileTail(dir.c_str(), buf, sizeof buf, &n), 0) << "a folder is not a file";

  EXPECT_EQ(RenameFile(from.c_str(), to.c_str()), 0);
  EXPECT_EQ(GetFileInfo(from.c_str(), nullptr), 0);
  EXPECT_EQ(ReadFileBytes(to.c_str(), buf, sizeof buf, &n), 0);
  EXPECT_EQ(std::string(buf, n), "0123456789");

  EXPECT_LT(RenameFile(from.c_str(), to.c_str()), 0) << "the source is gone";
  EXPECT_LT(ReadFileTail(from.c_str(), buf, sizeof buf, &n), 0);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(ReadFileBytes(to.c_str(), buf, sizeof buf, &n), 0);
  EXPECT_EQ(std::string(buf, n), "0123456789");
  RemoveTree(dir);
}

// The account's name comes from the password database, before a $USER that says otherwise.
TEST(User, NameComesFromTheAccountBeforeTheEnvironment) {
  if (!getpwuid(getuid())) GTEST_SKIP() << "this uid has no password entry";
  const char* saved = getenv("USER");
  const std::string savedUser = saved ? saved : "";
  setenv("USER", "not-this-account", 1);
  char name[64] = "";
  GetUserName(name, sizeof name);
  EXPECT_STRNE(name, "not-this-account");
  EXPECT_STRNE(name, "");
  EXPECT_STRNE(name, "unknown");
  char shortName[2] = "";
  GetUserName(shortName, sizeof shortName);
  EXPECT_EQ(strlen(shortName), 1u) << "cut to the buffer, terminated";
  if (saved) {
    setenv("USER", savedUser.c_str(), 1);
  } else {
    unsetenv("USER");
  }
}

TEST(DateAndTime, LocalTimeCarriesItsZone) {
  const char* saved = getenv("TZ");
  const std::string savedTz = saved ? saved : "";
  struct Case {
    const char* tz;
    const char* zone;
  } cases[] = {
      {"UTC", " +0000"},
      {"<+01>-1", " +0100"},         // an hour east of Greenwich
      {"<-0530>5:30", " -0530"},     // half hours west
  };
  for (const Case& c : cases) {
    setenv("TZ", c.tz, 1);
    tzset();
    char text[40] = "x";
    LocalTimeWithZone(text, sizeof text);
    const std::string got = text;
    ASSERT_EQ(got.size(), 25u) << got;  // "YYYY-MM-DD HH:MM:SS +hhmm"
    EXPECT_EQ(got.substr(19), c.zone) << c.tz;
    for (size_t i : {4u, 7u}) EXPECT_EQ(got[i], '-') << got;
    for (size_t i : {13u, 16u}) EXPECT_EQ(got[i], ':') << got;
    EXPECT_EQ(got[10], ' ') << got;
  }
  char shortText[5] = "";
  LocalTimeWithZone(shortText, sizeof shortText);
  EXPECT_EQ(strlen(shortText), 4u) << "the year, cut and terminated";
  if (saved) {
    setenv("TZ", savedTz.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
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
