#include "gateway_options.h"

#include <algorithm>
#include <charconv>
#include <map>

namespace gateway {

const char* const kUsage =
    "usage: rorir-gateway [--config FILE] (--port PATH | --adapter SERIAL) --broker URL [options]\n"
    "\n"
    "Runs the sensor's measurement cycle without end and publishes every result to an MQTT\n"
    "broker: <prefix>/<id>/result, and retained <prefix>/<id>/identity and <prefix>/<id>/status.\n"
    "\n"
    "The sensor:\n"
    "  --port PATH            its serial device (a USB adapter, a pseudo-terminal, a link)\n"
    "  --adapter SERIAL       instead of --port: the USB adapter with this serial number,\n"
    "                         found again in whatever socket it is plugged into\n"
    "  --parameters FILE      write this parameter file to the sensor's RAM at every\n"
    "                         identification, read it back and compare\n"
    "The broker:\n"
    "  --broker URL           mqtt://host[:port] (1883) or mqtts://host[:port] (8883)\n"
    "  --id ID                the sensor's name in the topics (default: the adapter's serial\n"
    "                         number)\n"
    "  --prefix P             topic prefix (default rorir)\n"
    "  --client-id C          MQTT client id (default rorir-gateway-<id>)\n"
    "  --qos 0|1              (default 1: at least once)\n"
    "  --aggregate MS         one aggregate (n, mean, min, max, NOK) every MS milliseconds\n"
    "                         instead of every result (default 0: every result)\n"
    "  --queue SECONDS        results kept while the broker is away (default 600 s worth);\n"
    "                         beyond it the oldest go, and are counted\n"
    "  --cafile F, --certfile F, --keyfile F   TLS files for mqtts\n"
    "  --user NAME            user name; --password-file F reads the password from F\n"
    "Recording (the desktop program's recorder files):\n"
    "  --record DIR           also record into DIR, a new file per shift or day\n"
    "  --record-split day|shift   (default shift)\n"
    "  --shifts HH:MM,...     the shifts' starts (default 06:00,14:00,22:00)\n"
    "  --record-interval S    seconds between records, 0 every result (default 1)\n"
    "Other:\n"
    "  --config FILE          key = value lines with the options' names; # comments;\n"
    "                         options on the command line override the file\n"
    "  --verbose              the link's status texts in the log\n"
    "  --help, -h             this text\n"
    "\n"
    "Exit status: 0 after SIGTERM or SIGINT; 1 when the parameter file's read-back differs;\n"
    "2 for a bad option, config or file.\n";

namespace {

struct Key {
  const char* name;
  bool value;  // takes a value (else a switch)
};
constexpr Key kKeys[] = {
    {"port", true},        {"adapter", true},       {"broker", true},      {"id", true},
    {"prefix", true},      {"client-id", true},     {"qos", true},         {"aggregate", true},
    {"queue", true},       {"cafile", true},        {"certfile", true},    {"keyfile", true},
    {"user", true},        {"password-file", true}, {"parameters", true},  {"record", true},
    {"record-split", true}, {"shifts", true},       {"record-interval", true}, {"verbose", false},
};

const Key* FindKey(const std::string& name) {
  for (const Key& k : kKeys)
    if (name == k.name) return &k;
  return nullptr;
}

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  const size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

bool ToInt(const std::string& s, long long lo, long long hi, int* out) {
  long long v = 0;
  const char* end = s.data() + s.size();
  const auto [p, ec] = std::from_chars(s.data(), end, v);
  if (s.empty() || ec != std::errc() || p != end || v < lo || v > hi) return false;
  *out = static_cast<int>(v);
  return true;
}

// A topic level of our own: no wildcard, no separator, printable.
bool TopicWord(const std::string& s, bool slashes) {
  if (s.empty() || s.size() > 128) return false;
  if (slashes && (s.front() == '/' || s.back() == '/' || s.find("//") != std::string::npos)) return false;
  for (unsigned char c : s)
    if (c <= ' ' || c == '+' || c == '#' || c == 0x7F || (c == '/' && !slashes)) return false;
  return true;
}

std::string ParseBroker(const std::string& url, Options* o) {
  const std::string bad = "the broker is mqtt://host[:port] or mqtts://host[:port], not '" + url + "'";
  std::string rest;
  if (url.rfind("mqtt://", 0) == 0) {
    rest = url.substr(7);
    o->tls = false;
    o->brokerPort = 1883;
  } else if (url.rfind("mqtts://", 0) == 0) {
    rest = url.substr(8);
    o->tls = true;
    o->brokerPort = 8883;
  } else {
    return bad;
  }
  if (!rest.empty() && rest.back() == '/') rest.pop_back();
  std::string host = rest;
  std::string port;
  if (!rest.empty() && rest.front() == '[') {  // [IPv6]:port
    const size_t close = rest.find(']');
    if (close == std::string::npos) return bad;
    host = rest.substr(1, close - 1);
    if (close + 1 < rest.size()) {
      if (rest[close + 1] != ':') return bad;
      port = rest.substr(close + 2);
      if (port.empty()) return bad;
    }
  } else if (const size_t colon = rest.rfind(':'); colon != std::string::npos) {
    host = rest.substr(0, colon);
    port = rest.substr(colon + 1);
    if (port.empty()) return bad;
  }
  if (host.empty() || host.find_first_of("/ @?#") != std::string::npos) return bad;
  if (!port.empty() && !ToInt(port, 1, 65535, &o->brokerPort)) return bad;
  o->host = host;
  return "";
}

std::string ParseShifts(const std::string& text, std::vector<int>* out) {
  const std::string bad = "--shifts wants rising start times HH:MM,HH:MM,..., not '" + text + "'";
  std::vector<int> starts;
  size_t at = 0;
  while (at <= text.size()) {
    const size_t comma = std::min(text.find(',', at), text.size());
    const std::string one = Trim(text.substr(at, comma - at));
    int h = 0, m = 0;
    if (one.size() != 5 || one[2] != ':' || !ToInt(one.substr(0, 2), 0, 23, &h) || !ToInt(one.substr(3, 2), 0, 59, &m))
      return bad;
    const int minute = h * 60 + m;
    if (!starts.empty() && minute <= starts.back()) return bad;
    starts.push_back(minute);
    at = comma + 1;
  }
  if (starts.empty()) return bad;
  *out = starts;
  return "";
}

// Records of the longest file `o` writes; the recorder file's header holds at most 65535.
long long RecordsPerFile(const Options& o) {
  int longest = 0;
  if (o.split == RecordSplit::Day) {
    longest = 24 * 60;
  } else {
    for (size_t i = 0; i < o.shiftStarts.size(); ++i) {
      const int next = i + 1 < o.shiftStarts.size() ? o.shiftStarts[i + 1] : o.shiftStarts[0] + 24 * 60;
      longest = std::max(longest, next - o.shiftStarts[i]);
    }
  }
  const long long seconds = 60LL * longest;
  return o.recordInterval == 0 ? seconds * LINE_RESULTS_PER_SECOND : seconds / o.recordInterval;
}

constexpr long long MAX_RECORDS_PER_FILE = 65535;

std::string Apply(const std::map<std::string, std::string>& v, Options* o) {
  auto get = [&](const char* key) -> const std::string* {
    const auto it = v.find(key);
    return it == v.end() ? nullptr : &it->second;
  };
  auto text = [&](const char* key, std::string* field) {
    if (const std::string* s = get(key)) *field = *s;
  };
  text("port", &o->port);
  text("adapter", &o->adapter);
  text("id", &o->id);
  text("prefix", &o->prefix);
  text("client-id", &o->clientId);
  text("cafile", &o->cafile);
  text("certfile", &o->certfile);
  text("keyfile", &o->keyfile);
  text("user", &o->user);
  text("password-file", &o->passwordFile);
  text("parameters", &o->parameters);
  text("record", &o->recordDir);
  o->verbose = get("verbose") != nullptr && *get("verbose") != "false" && *get("verbose") != "0";
  if (const std::string* s = get("qos"); s && !ToInt(*s, 0, 1, &o->qos))
    return "--qos is 0 or 1, not '" + *s + "'";
  if (const std::string* s = get("aggregate"); s && !ToInt(*s, 0, 3600000, &o->aggregateMs))
    return "--aggregate wants milliseconds from 0 to 3600000, not '" + *s + "'";
  if (const std::string* s = get("queue"); s && !ToInt(*s, 1, 7 * 86400, &o->queueSeconds))
    return "--queue wants seconds from 1 to 604800, not '" + *s + "'";
  if (const std::string* s = get("record-interval"); s && !ToInt(*s, 0, 65535, &o->recordInterval))
    return "--record-interval wants seconds from 0 to 65535, not '" + *s + "'";
  if (const std::string* s = get("record-split")) {
    if (*s == "day") o->split = RecordSplit::Day;
    else if (*s == "shift") o->split = RecordSplit::Shift;
    else return "--record-split is day or shift, not '" + *s + "'";
  }
  if (const std::string* s = get("shifts")) {
    const std::string why = ParseShifts(*s, &o->shiftStarts);
    if (!why.empty()) return why;
  }
  if (const std::string* s = get("broker")) {
    o->brokerUrl = *s;
    const std::string why = ParseBroker(*s, o);
    if (!why.empty()) return why;
  }

  if (o->port.empty() == o->adapter.empty()) return "give the sensor by --port PATH or by --adapter SERIAL (one of them)";
  if (o->brokerUrl.empty()) return "--broker URL is missing (mqtt://host:port)";
  if (o->id.empty()) o->id = o->adapter;
  if (o->id.empty()) return "--id ID is missing (with --port there is no serial number to take it from)";
  if (!TopicWord(o->id, false)) return "--id is one topic level without '/', '+', '#' or blanks, not '" + o->id + "'";
  if (!TopicWord(o->prefix, true)) return "--prefix is a topic without '+', '#', blanks or empty levels, not '" + o->prefix + "'";
  if (o->clientId.empty()) o->clientId = "rorir-gateway-" + o->id;
  if (o->clientId.size() > 128) return "--client-id is longer than 128 characters";
  if (!o->passwordFile.empty() && o->user.empty()) return "--password-file needs --user";
  if (!o->tls && (!o->cafile.empty() || !o->certfile.empty() || !o->keyfile.empty()))
    return "TLS files belong to an mqtts:// broker";
  if (o->certfile.empty() != o->keyfile.empty()) return "--certfile and --keyfile go together";
  if (!o->recordDir.empty() && RecordsPerFile(*o) > MAX_RECORDS_PER_FILE)
    return "a recorder file holds at most 65535 records: " + std::to_string(RecordsPerFile(*o)) +
           " would fall in one; record per shift or take a longer --record-interval";
  return "";
}

}  // namespace

long long QueueCapacity(const Options& o) {
  if (o.aggregateMs > 0) return std::max(1LL, 1000LL * o.queueSeconds / o.aggregateMs);
  return static_cast<long long>(o.queueSeconds) * LINE_RESULTS_PER_SECOND;
}

std::string ParseOptions(int argc, const char* const* argv, FileReader readFile, Options* out) {
  std::map<std::string, std::string> fromFile, given;
  std::string config;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      out->help = true;
      return "";
    }
    if (a.rfind("--", 0) != 0) return "unexpected argument '" + a + "' (see --help)";
    const std::string name = a.substr(2);
    if (name == "config") {
      if (i + 1 >= argc) return "--config needs a file";
      config = argv[++i];
      continue;
    }
    const Key* key = FindKey(name);
    if (!key) return "unknown option " + a + " (see --help)";
    if (!key->value) {
      given[name] = "true";
      continue;
    }
    if (i + 1 >= argc) return a + " needs a value (see --help)";
    given[name] = argv[++i];
  }
  if (!config.empty()) {
    std::string text;
    if (!readFile(config, &text)) return "cannot read the config file " + config;
    size_t at = 0;
    for (int line = 1; at < text.size(); ++line) {
      const size_t end = std::min(text.find('\n', at), text.size());
      const std::string row = Trim(text.substr(at, end - at));
      at = end + 1;
      if (row.empty() || row[0] == '#') continue;
      const size_t eq = row.find('=');
      const std::string where = config + " line " + std::to_string(line) + ": ";
      if (eq == std::string::npos) return where + "not a 'key = value' line";
      const std::string name = Trim(row.substr(0, eq));
      const Key* key = FindKey(name);
      if (!key) return where + "unknown key '" + name + "'";
      const std::string value = Trim(row.substr(eq + 1));
      if (key->value && value.empty()) return where + "'" + name + "' needs a value";
      fromFile[name] = key->value ? value : (value.empty() ? "true" : value);
    }
  }
  for (auto& [k, v] : given) fromFile[k] = v;
  return Apply(fromFile, out);
}

}  // namespace gateway
