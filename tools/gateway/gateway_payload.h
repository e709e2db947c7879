// What the gateway publishes, as JSON text: one result, one aggregate of results, the sensor's
// identity. Built from the link's globals (the result globals of the last result frame, the
// settings, the geometry of the last identification).
#pragma once

#include <string>

#include "display/gauge_stats.h"

namespace gateway {

/// The last result frame's values, each with its unit, and its judgement.
std::string ResultJson(long long seq, long long timeMs, gauge::Verdict verdict);

/// The results of one aggregate period.
struct Aggregate {
  long long n = 0, nok = 0;
  double sum = 0, min = 0, max = 0;
};
void AddToAggregate(Aggregate& a, double mvalue, bool nok);
/// The period's figures of the M-value (mean, min and max null when it took no result).
std::string AggregateJson(long long seq, long long timeMs, int periodMs, const Aggregate& a);

/// Type, pixels, firmware, the adapter's name and device, and the sixteen settings.
std::string IdentityJson(const std::string& adapter, const std::string& device);

/// `text` as a JSON string, quotes included.
std::string JsonString(const std::string& text);

}  // namespace gateway
