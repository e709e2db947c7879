// Frame codec and parameter packet. Words travel big-endian; the one 32-bit result (umValue)
// is carried as two words with its low word first.
#include "link/com232_codec.h"

namespace {

constexpr int HEADER_SIZE = 4;  // sync word and order word

int KeepWordCount(int count) {
  if (count < 0) return 0;
  if (count > PNUM) return PNUM;
  return count;
}

// The settings in the order of the parameter words; CopyVarsToPP and CopyPPtoVars both walk it,
// so the two directions cannot drift apart.
u16* const kSettingWords[PNUM] = {
    &power, &tolMode, &vThd,  &anaMode,   &polarity, &eMode,     &eBeg,    &eEnd,
    &tVal,  &tTol,    &opMode, &eHardware, &slope,    &intersect, &average, &powMode,
};

}  // namespace

void EncodeFrame(u16 order, const u16 words[PNUM], unsigned char frame[FRAME_SIZE]) {
  PutWordAt(frame, 0, SYNC_TO_SENSOR);
  PutWordAt(frame, 2, order);
  for (int i = 0; i < PNUM; ++i) PutWordAt(frame, HEADER_SIZE + 2 * i, words[i]);
}

u16 DecodeFrame(const unsigned char frame[FRAME_SIZE], int count, u16 words[PNUM]) {
  const int n = KeepWordCount(count);
  for (int i = 0; i < n; ++i) words[i] = WordAt(frame, HEADER_SIZE + 2 * i);
  return WordAt(frame, 2);
}

void FillTxBuf(u16 order, const u16 words[PNUM]) { EncodeFrame(order, words, szWriteBuf); }

int GetRxBuf(int count) { return DecodeFrame(szReadBuf, count, pp) == ORDER_MEASURE ? 1 : 0; }

void CopyVarsToPP(void) {
  for (int i = 0; i < PNUM; ++i) pp[i] = *kSettingWords[i];
}

void CopyPPtoVars(void) {
  for (int i = 0; i < PNUM; ++i) *kSettingWords[i] = pp[i];
}

void CopyPPtoRAWVars(void) {
  Ledge = pp[0];
  Redge = pp[1];
  Mvalue = pp[2];
  umValue = static_cast<u32>(pp[3]) | (static_cast<u32>(pp[4]) << 16);
  tVal = pp[5];
  tTol = pp[6];
  edcnt = pp[7];
  mvstart = pp[8];
  mvend = pp[9];
  dynpower = pp[10];
  anaMax = pp[11];
  anaMin = pp[12];
  gapLen = pp[13];
  gapVal = pp[14];
  gapPix = pp[15];
}
