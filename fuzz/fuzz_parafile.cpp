// Fuzz target: the parameter-file reader. Any accepted text must write back (low 16 bits of
// each number, as the program keeps them) into a text that reads back to the same words.
#include <cstdint>
#include <cstdlib>

#include "app/storage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  u32 values[PNUM];
  if (!ParseParameterText(reinterpret_cast<const char*>(data), size, values)) return 0;
  u16 words[PNUM];
  for (int i = 0; i < PNUM; ++i) words[i] = static_cast<u16>(values[i] & 0xFFFFu);
  char text[PNUM * (PARA_FIELD_WIDTH + 2) + 1];
  const size_t n = FormatParameterText(words, text, sizeof text);
  u32 again[PNUM];
  if (n == 0 || !ParseParameterText(text, n, again)) std::abort();
  for (int i = 0; i < PNUM; ++i)
    if (again[i] != words[i]) std::abort();
  return 0;
}
