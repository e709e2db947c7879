// Storage and start values of the shared global state. InitVars (main_panel.cpp) assigns the
// defaults again at start-up; the values here are what the program holds when it is loaded.
#include "state/globals.h"

#include <cstring>

#include "state/sync_word.h"

int pHandle = 0;
int pPopup = 0;
char proj_dir[PATH_SIZE] = "";
int com = 1;
int order = 1;
int target = RAM;
int sync = 0x55;
int rx_flag = 0;
int graph_flag = 0;
int stop_flag = 1;
char szStatus[TEXT_SIZE] = "InitVars";
u16 pp[PNUM] = {};
unsigned char szWriteBuf[IO_BUF_SIZE] = {};
unsigned char szReadBuf[IO_BUF_SIZE] = {};
int nBytesW = 0;
int nBytesR = 0;
double tstart = 0.0;
double tdiff = 0.0;

u16 power = 500, tolMode = 0, vThd = 512, anaMode = 0, polarity = 1, eMode = 1, eBeg = 1,
    eEnd = 1024, tVal = 512, tTol = 100, opMode = 0, eHardware = 1, slope = SLOPEMULTI,
    intersect = YOFFSET, average = 0, powMode = 0;

u16 Ledge = 0, Redge = 0, Mvalue = 0;
u32 umValue = 0;
u16 edcnt = 0, mvstart = 0, mvend = 0, dynpower = 0, anaMax = 0, anaMin = 0, gapLen = 0,
    gapVal = 0, gapPix = 0;

u16 pixB = 1, pixE = 1024, ccdpixE = 1024, ccdsubpixel = 1024, ccdmaxpixel = 1024,
    ccdmaxpixelX8 = 8192, pcbtype = 0, ccdtype = 0;
u16 YAXISMAX = 1024;
u16 ccdresolution = 0, ccdpixB = 0, softversion = 0;
u16 ccdsubpixelReported = 1024;
char szVersion[TEXT_SIZE] = "";
char szFirmware[TEXT_SIZE] = "";
double xArray8[VIDEO_POINTS] = {};
u16 thdArray[VIDEO_POINTS] = {};
u16 adcbuf[VIDEO_POINTS] = {};

char charge_fname[PATH_SIZE] = "";
char rec_fname[PATH_SIZE] = "";
namespace {
// Both start out as DEFAULT_CHARGE; start-up then puts the data folder in front of rec_fname.
// (A character array cannot be initialised from a named constant, so this copies at load.)
[[maybe_unused]] const bool kDefaultNamesSet = [] {
  static_assert(sizeof DEFAULT_CHARGE <= PATH_SIZE);
  std::memcpy(charge_fname, DEFAULT_CHARGE, sizeof DEFAULT_CHARGE);
  std::memcpy(rec_fname, DEFAULT_CHARGE, sizeof DEFAULT_CHARGE);
  return true;
}();
}  // namespace
char szSoftVersion[TEXT_SIZE] = "Version 1.52";
char szSoftName[TEXT_SIZE] = "K-VOR-PX-Rorir-QMB";
u16 numSample = 10;
u16 incTime = 1;
