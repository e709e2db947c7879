// The gateway's settings: from its config file and its command line (an option given on the
// command line overrides the file's key of the same name), checked before anything is opened.
// Pure: strings in, settings or one line of refusal out.
#pragma once

#include <string>
#include <vector>

namespace gateway {

enum class RecordSplit { Day, Shift };

struct Options {
  std::string port;          ///< the sensor's device path, or
  std::string adapter;       ///< the serial number of its USB adapter
  std::string brokerUrl;
  std::string host;          ///< from brokerUrl
  int brokerPort = 1883;
  bool tls = false;
  std::string id;            ///< empty: the adapter's serial number
  std::string prefix = "rorir";
  std::string clientId;      ///< empty: "rorir-gateway-<id>"
  int qos = 1;
  int aggregateMs = 0;       ///< 0: every result
  int queueSeconds = 600;
  std::string cafile, certfile, keyfile;
  std::string user, passwordFile;
  std::string parameters;    ///< a parameter file written to RAM first
  std::string recordDir;     ///< empty: no recording
  RecordSplit split = RecordSplit::Shift;
  std::vector<int> shiftStarts = {6 * 60, 14 * 60, 22 * 60};  ///< minutes after midnight, rising
  int recordInterval = 1;    ///< seconds between records (0: every result)
  bool verbose = false;
  bool help = false;
};

/// Results a second at the line rate of 19200 baud, rounded up: what a queue of N seconds holds.
constexpr int LINE_RESULTS_PER_SECOND = 27;

/// Reads `argv` (and the config file it names, through `readFile`, which returns false when it
/// cannot read the file) into `out`. Returns "" or the one line that says what is wrong.
using FileReader = bool (*)(const std::string& path, std::string* text);
std::string ParseOptions(int argc, const char* const* argv, FileReader readFile, Options* out);

/// The usage text of --help.
extern const char* const kUsage;

/// The results the queue holds for `o`: its seconds at the rate it publishes.
long long QueueCapacity(const Options& o);

}  // namespace gateway
