// The review's file read: writes a recorder file of 1,000,000 records (the program's own header
// and record line builders) into a temporary folder, reads it with ReadRecorderFile a few
// times, and prints the seconds of each read and the peak resident memory, before and after the
// reads, as markdown rows. A read that does not give every record cleanly is an error (exit 1,
// no figures). `bench_review [RECORDS]` writes another count.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "recorder/recfile.h"
#include "recorder/recreader.h"

namespace {

ReviewFile gReview;

double PeakResidentMegabytes() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_maxrss) / 1024.0;
}

// A plausible run: edges wandering around their rest positions, now and then a gap, a few
// spikes to the ends of the range.
bool WriteFile(const std::string& path, long long records) {
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) return false;
  const RecHeader header{"04-17-2024", "13:05:09", "BENCH-\xC2\xB5.DAT", 1, 65535, 1024};
  char line[HEADER_LINE_SIZE];
  bool ok = true;
  for (int i = 0; i < HEADER_LINES && ok; ++i) {
    const int n = BuildHeaderLine(i, header, line, sizeof line);
    ok = n > 0 && std::fwrite(line, 1, static_cast<size_t>(n), out) == static_cast<size_t>(n);
  }
  unsigned state = 12345;
  for (long long r = 0; r < records && ok; ++r) {
    state = state * 1103515245u + 12345u;
    const unsigned noise = (state >> 16) & 0x3F;
    const bool gap = (state >> 8) % 50 == 0;
    const u16 values[RECORD_COLUMNS] = {
        static_cast<u16>(r % 99991 == 0 ? 0 : 1000 + noise),
        static_cast<u16>(r % 77777 == 0 ? 65535 : 3000 + noise),
        static_cast<u16>(2000 + noise / 2),
        static_cast<u16>(gap ? 4 : 2),
        static_cast<u16>(gap ? 120 + noise : 0),
        static_cast<u16>(gap ? 1500 + noise : 0),
        static_cast<u16>(gap ? 30 + noise / 4 : 0),
    };
    const int n = BuildRecordLine(values, line, sizeof line);
    ok = n > 0 && std::fwrite(line, 1, static_cast<size_t>(n), out) == static_cast<size_t>(n);
  }
  return std::fclose(out) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  const long long records = argc > 1 ? std::atoll(argv[1]) : 1000000;
  if (records <= 0) {
    std::fprintf(stderr, "usage: %s [RECORDS]\n", argv[0]);
    return 2;
  }
  std::string pattern = (std::filesystem::temp_directory_path() / "rorir-bench-review-XXXXXX").string();
  if (!mkdtemp(pattern.data())) {
    std::fprintf(stderr, "bench_review: no temporary folder\n");
    return 1;
  }
  const std::string path = pattern + "/BENCH.DAT";
  int status = 0;
  if (!WriteFile(path, records)) {
    std::fprintf(stderr, "bench_review: %s could not be written\n", path.c_str());
    status = 1;
  }
  const long long bytes = status == 0 ? static_cast<long long>(std::filesystem::file_size(path)) : 0;
  const double peakBefore = PeakResidentMegabytes();
  constexpr int READS = 3;
  double seconds[READS] = {};
  for (int i = 0; i < READS && status == 0; ++i) {
    const auto start = std::chrono::steady_clock::now();
    const int result = ReadRecorderFile(path.c_str(), &gReview);
    seconds[i] = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (result != 0 || gReview.records != records) {
      std::fprintf(stderr, "bench_review: read %d gave %d, %lld records, \"%s\"\n", i + 1, result,
                   gReview.records, gReview.message);
      status = 1;
    }
  }
  std::filesystem::remove_all(pattern);
  if (status != 0) return status;

  std::printf("| measurement | bound or target | result |\n|---|---|---|\n");
  std::printf("| review: read of %lld records (%.1f MB), each of %d reads | target < 2 s |", records,
              static_cast<double>(bytes) / 1e6, READS);
  for (int i = 0; i < READS; ++i) std::printf(" %.3f s", seconds[i]);
  std::printf(" |\n");
  std::printf("| review: peak resident memory before the reads / after | fixed, whatever the file size | %.0f MB / %.0f MB |\n",
              peakBefore, PeakResidentMegabytes());
  return 0;
}
