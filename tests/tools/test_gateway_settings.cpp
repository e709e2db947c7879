// The gateway's settings from its command line and config file, and the periods its recorder
// files cover; that it links nothing that draws.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include <map>
#include <string>
#include <vector>

#include "gateway_options.h"
#include "gateway_record.h"

namespace {

using gateway::Options;

std::map<std::string, std::string> gFiles;

bool ReadFake(const std::string& path, std::string* text) {
  const auto it = gFiles.find(path);
  if (it == gFiles.end()) return false;
  *text = it->second;
  return true;
}

std::string Parse(std::vector<const char*> args, Options* o) {
  args.insert(args.begin(), "rorir-gateway");
  return gateway::ParseOptions(static_cast<int>(args.size()), args.data(), ReadFake, o);
}

TEST(GatewaySettings, OptionsAndConfigFile) {
  gFiles["plant.conf"] = "# line 4\nbroker = mqtts://broker.plant:8884\nqos = 0\nprefix = plant/hall2\n\n"
                         "port = /dev/ttyUSB0\nid = line4\nverbose = true\n";
  gFiles["typo.conf"] = "broker = mqtt://h\nbrokr = mqtt://h\n";
  struct Row {
    std::vector<const char*> args;
    const char* refusal;  // "" when the options are good; else the start of the one line
  } rows[] = {
      {{"--port", "/dev/ttyS0", "--broker", "mqtt://127.0.0.1", "--id", "line1"}, ""},
      {{"--config", "plant.conf", "--qos", "1"}, ""},
      {{"--config", "missing.conf"}, "cannot read the config file missing.conf"},
      {{"--config", "typo.conf"}, "typo.conf line 2: unknown key 'brokr'"},
      {{"--port", "p", "--broker", "mqtt://h:99999", "--id", "a"}, "the broker is mqtt://host[:port]"},
      {{"--port", "p", "--adapter", "A5XK3RJT", "--broker", "mqtt://h"}, "give the sensor by --port PATH or"},
      {{"--port", "p", "--broker", "mqtt://h"}, "--id ID is missing"},
      {{"--port", "p", "--broker", "mqtt://h", "--id", "a/b"}, "--id is one topic level"},
      {{"--port", "p", "--broker", "mqtt://h", "--id", "a", "--record", "d", "--record-split", "day"},
       "a recorder file holds at most 65535 records: 86400"},
      {{"--port", "p", "--broker", "mqtt://h", "--id", "a", "--record", "d", "--record-split", "day",
        "--record-interval", "2"}, ""},
      {{"--port", "p", "--broker", "mqtt://h", "--id", "a", "--shifts", "14:00,06:00"}, "--shifts wants rising"},
  };
  for (const Row& row : rows) {
    Options o;
    const std::string why = Parse(row.args, &o);
    if (row.refusal[0] == '\0') {
      EXPECT_EQ(why, "") << row.args[1];
    } else {
      EXPECT_EQ(why.rfind(row.refusal, 0), 0u) << why;
    }
  }

  Options o;
  ASSERT_EQ(Parse({"--port", "/dev/ttyS0", "--broker", "mqtt://127.0.0.1", "--id", "line1"}, &o), "");
  EXPECT_EQ(o.host, "127.0.0.1");
  EXPECT_EQ(o.brokerPort, 1883);
  EXPECT_EQ(o.prefix, "rorir");
  EXPECT_EQ(o.clientId, "rorir-gateway-line1");
  EXPECT_EQ(o.qos, 1);
  EXPECT_EQ(gateway::QueueCapacity(o), 600 * 27) << "ten minutes of results at the line rate";

  Options fromFile;
  ASSERT_EQ(Parse({"--config", "plant.conf", "--qos", "1"}, &fromFile), "");
  EXPECT_TRUE(fromFile.tls);
  EXPECT_EQ(fromFile.host, "broker.plant");
  EXPECT_EQ(fromFile.brokerPort, 8884);
  EXPECT_EQ(fromFile.qos, 1) << "the command line overrides the file";
  EXPECT_EQ(fromFile.prefix, "plant/hall2");
  EXPECT_TRUE(fromFile.verbose);

  Options adapter;
  ASSERT_EQ(Parse({"--adapter", "A5XK3RJT", "--broker", "mqtt://[::1]:1884", "--aggregate", "500"}, &adapter), "");
  EXPECT_EQ(adapter.id, "A5XK3RJT") << "the sensor id defaults to the adapter's serial number";
  EXPECT_EQ(adapter.host, "::1");
  EXPECT_EQ(adapter.brokerPort, 1884);
  EXPECT_EQ(gateway::QueueCapacity(adapter), 1200) << "ten minutes of aggregates";
}

// 2026-12-08 in UTC, so the periods do not depend on the machine's zone.
long long At(int day, int hour, int minute) { return 1796688000LL + (day - 8) * 86400LL + hour * 3600 + minute * 60; }

TEST(GatewaySettings, ShiftsAndDaysGiveEachRecordItsFile) {
  setenv("TZ", "UTC", 1);
  tzset();
  Options shifts;
  shifts.id = "line1";
  struct Row {
    long long when;
    const char* file;
  } rows[] = {
      {At(8, 5, 59), "line1_2026-12-07_2200"},  // before the first shift: the night shift of the day before
      {At(8, 6, 0), "line1_2026-12-08_0600"},
      {At(8, 13, 59), "line1_2026-12-08_0600"},
      {At(8, 14, 0), "line1_2026-12-08_1400"},
      {At(8, 23, 59), "line1_2026-12-08_2200"},
  };
  for (const Row& row : rows)
    EXPECT_EQ(gateway::PeriodFileName(shifts, gateway::PeriodStart(shifts, row.when)), row.file) << row.when;
  Options days = shifts;
  days.split = gateway::RecordSplit::Day;
  EXPECT_EQ(gateway::PeriodFileName(days, gateway::PeriodStart(days, At(8, 23, 59))), "line1_2026-12-08");
  EXPECT_EQ(gateway::PeriodStart(days, At(9, 0, 0)), At(9, 0, 0));
}

TEST(GatewaySettings, LinksNoWindowLibraries) {
  FILE* ldd = popen("/usr/bin/ldd " RORIR_GATEWAY_BIN, "r");
  ASSERT_NE(ldd, nullptr);
  std::string out;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, ldd)) > 0;) out.append(buf, n);
  ASSERT_EQ(pclose(ldd), 0) << out;
  EXPECT_NE(out.find("libmosquitto"), std::string::npos) << out;
  EXPECT_NE(out.find("libQt6Core"), std::string::npos) << out;
  EXPECT_EQ(out.find("libQt6Gui"), std::string::npos) << out;
  EXPECT_EQ(out.find("libQt6Widgets"), std::string::npos) << out;
}

}  // namespace
