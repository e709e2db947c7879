// A disk whose every sync takes a while (see stalling_disk.cpp).
#pragma once

/// Every fsync of the process sleeps `milliseconds` first (0: none).
void StallEverySync(int milliseconds);
