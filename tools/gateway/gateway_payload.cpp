#include "gateway_payload.h"

#include <cstdio>
#include <cstring>

#include "link/com232_codec.h"
#include "link/com232_paraset.h"
#include "platform/sys/utility.h"
#include "state/globals.h"

namespace gateway {

namespace {

struct ResultField {
  const char* name;
  const char* unit;
  const u16* value;
};
// The result frame's values in the frame's order; umValue (32 bits) comes after Mvalue.
const ResultField kResultFields[] = {
    {"Ledge", "pixel", &Ledge},     {"Redge", "pixel", &Redge},       {"Mvalue", "pixel", &Mvalue},
    {"tVal", "pixel", &tVal},       {"tTol", "pixel", &tTol},         {"edcnt", "edges", &edcnt},
    {"mvstart", "pixel", &mvstart}, {"mvend", "pixel", &mvend},       {"dynpower", "digits", &dynpower},
    {"anaMax", "digits", &anaMax},  {"anaMin", "digits", &anaMin},    {"gapLen", "pixel", &gapLen},
    {"gapVal", "pixel", &gapVal},   {"gapPix", "pixel", &gapPix},
};

std::string Number(double v) {
  char text[40];
  std::snprintf(text, sizeof text, "%.3f", v);
  return text;
}

std::string Time(long long ms) {
  char text[40];
  FormatUtcMs(ms, text, sizeof text);
  return text;
}

}  // namespace

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", c);
      out += esc;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string ResultJson(long long seq, long long timeMs, gauge::Verdict verdict) {
  std::string out = "{\"time\":\"" + Time(timeMs) + "\",\"seq\":" + std::to_string(seq) + ",\"judgement\":";
  out += verdict == gauge::Verdict::Ok ? "\"OK\"" : verdict == gauge::Verdict::Nok ? "\"NOK\"" : "null";
  out += ",\"values\":{";
  bool first = true;
  for (const ResultField& f : kResultFields) {
    if (!first) out += ',';
    first = false;
    out += "\"" + std::string(f.name) + "\":{\"value\":" + std::to_string(*f.value) + ",\"unit\":\"" + f.unit + "\"}";
    if (f.value == &Mvalue)
      out += ",\"umValue\":{\"value\":" + std::to_string(static_cast<unsigned long>(umValue)) + ",\"unit\":\"um\"}";
  }
  return out + "}}";
}

void AddToAggregate(Aggregate& a, double mvalue, bool nok) {
  if (a.n == 0 || mvalue < a.min) a.min = mvalue;
  if (a.n == 0 || mvalue > a.max) a.max = mvalue;
  ++a.n;
  a.sum += mvalue;
  if (nok) ++a.nok;
}

std::string AggregateJson(long long seq, long long timeMs, int periodMs, const Aggregate& a) {
  std::string out = "{\"time\":\"" + Time(timeMs) + "\",\"seq\":" + std::to_string(seq) +
                    ",\"period_ms\":" + std::to_string(periodMs) + ",\"quantity\":\"Mvalue\",\"unit\":\"pixel\",\"n\":" +
                    std::to_string(a.n);
  if (a.n > 0)
    out += ",\"mean\":" + Number(a.sum / static_cast<double>(a.n)) + ",\"min\":" + Number(a.min) + ",\"max\":" + Number(a.max);
  else
    out += ",\"mean\":null,\"min\":null,\"max\":null";
  return out + ",\"nok\":" + std::to_string(a.nok) + "}";
}

std::string IdentityJson(const std::string& adapter, const std::string& device) {
  std::string out = "{\"type\":" + std::to_string(ccdtype) + ",\"pixels\":" + std::to_string(ccdmaxpixel) +
                    ",\"subpixels\":" + std::to_string(ccdsubpixelReported) + ",\"board\":" + std::to_string(pcbtype) +
                    ",\"firmware\":" + JsonString(szFirmware) + ",\"adapter\":" + JsonString(adapter) +
                    ",\"device\":" + JsonString(device) + ",\"settings\":{";
  // The settings as the packet lays them out; pp itself belongs to the link's exchanges.
  u16 saved[PNUM];
  std::memcpy(saved, pp, sizeof saved);
  CopyVarsToPP();
  u16 words[PNUM];
  std::memcpy(words, pp, sizeof words);
  std::memcpy(pp, saved, sizeof saved);
  for (int i = 0; i < PNUM; ++i) {
    if (i) out += ',';
    out += "\"" + std::string(kSettings[i].key) + "\":{\"value\":" + std::to_string(words[i]) + ",\"unit\":\"" +
           kSettings[i].unit + "\"}";
  }
  return out + "}}";
}

}  // namespace gateway
