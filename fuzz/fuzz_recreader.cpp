// Fuzz target: the recorder file reader of the review. Any bytes must give a consistent result
// (the counts add up to the records, the trace covers them, the texts are UTF-8), and the same
// result when the bytes come in small pieces, as a file read in chunks cuts them anywhere.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "recorder/recreader.h"

namespace {

ReviewFile gWhole;
ReviewFile gPieces;

void Check(bool ok) {
  if (!ok) std::abort();
}

bool IsUtf8(const char* s, size_t size) {
  const size_t n = strnlen(s, size);
  Check(n < size);
  const unsigned char* p = reinterpret_cast<const unsigned char*>(s);
  for (size_t i = 0; i < n;) {
    const int extra = p[i] < 0x80 ? 0 : (p[i] & 0xE0) == 0xC0 ? 1 : (p[i] & 0xF0) == 0xE0 ? 2 : -1;
    if (extra < 0 || i + extra >= n) return false;
    for (int k = 1; k <= extra; ++k)
      if ((p[i + k] & 0xC0) != 0x80) return false;
    i += 1 + extra;
  }
  return true;
}

void CheckConsistent(const ReviewFile& f, int result, long long lines) {
  Check((result == 0) == (f.message[0] == '\0'));
  Check(strnlen(f.message, sizeof f.message) < sizeof f.message);
  Check((result < 0) == !f.isRecorderFile);
  Check(f.records + f.badLines <= lines);
  Check(f.badLines == 0 ? f.firstBadLine == 0 : f.firstBadLine >= 8 && f.firstBadLine <= lines);
  Check(IsUtf8(f.date, sizeof f.date) && IsUtf8(f.time, sizeof f.time) && IsUtf8(f.batch, sizeof f.batch) &&
        IsUtf8(f.interval, sizeof f.interval) && IsUtf8(f.maxCount, sizeof f.maxCount) &&
        IsUtf8(f.slope, sizeof f.slope));
  for (const ReviewColumn& c : f.columns) {
    Check(c.n == f.records);
    long long sum = 0;
    for (unsigned count : c.counts) sum += count;
    Check(sum == f.records);
    Check(c.buckets >= 0 && c.buckets <= REVIEW_POINTS && c.bucketWidth >= 1);
    if (f.records == 0) {
      Check(c.buckets == 0 && c.min == 0 && c.max == 0);
      continue;
    }
    // The buckets in use hold every record: all but the last are full.
    Check(static_cast<long long>(c.buckets - 1) * c.bucketWidth < f.records &&
          static_cast<long long>(c.buckets) * c.bucketWidth >= f.records);
    Check(c.min <= c.mean && c.mean <= c.max && c.m2 >= 0);
    for (int b = 0; b < c.buckets; ++b) Check(c.low[b] <= c.high[b] && c.low[b] >= c.min && c.high[b] <= c.max);
    Check(ColumnOutside(c, -1, 65536) == 0 && ColumnOutside(c, 70000, 70000) == f.records);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);
  const int result = ParseRecorderBytes(bytes, size, &gWhole);
  long long lines = 1;
  for (size_t i = 0; i < size; ++i) lines += bytes[i] == '\n';
  CheckConsistent(gWhole, result, lines);

  // The same bytes in pieces of 1..64 bytes, the size taken from the input.
  const size_t piece = size ? 1 + data[size - 1] % 64 : 1;
  ReviewParser parser;
  BeginReview(&parser, &gPieces);
  for (size_t at = 0; at < size; at += piece)
    if (!FeedReview(&parser, bytes + at, size - at < piece ? size - at : piece)) break;
  Check(EndReview(&parser) == result);
  Check(gPieces.records == gWhole.records && gPieces.badLines == gWhole.badLines &&
        gPieces.firstBadLine == gWhole.firstBadLine && gPieces.cutOff == gWhole.cutOff);
  Check(std::strcmp(gPieces.message, gWhole.message) == 0 && std::strcmp(gPieces.batch, gWhole.batch) == 0 &&
        std::strcmp(gPieces.date, gWhole.date) == 0 && std::strcmp(gPieces.slope, gWhole.slope) == 0);
  for (int c = 0; c < REVIEW_COLUMNS; ++c) {
    const ReviewColumn& a = gWhole.columns[c];
    const ReviewColumn& b = gPieces.columns[c];
    Check(a.buckets == b.buckets && a.bucketWidth == b.bucketWidth && a.mean == b.mean && a.m2 == b.m2);
    Check(std::memcmp(a.counts, b.counts, sizeof a.counts) == 0);
    Check(std::memcmp(a.low, b.low, sizeof a.low) == 0 && std::memcmp(a.high, b.high, sizeof a.high) == 0);
  }
  return 0;
}
