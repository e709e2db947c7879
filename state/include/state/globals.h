// The program's global state: every value that several modules share, with its start value.
// The modules are plain functions over these names; there are no objects and no heap.
#pragma once
//
// `sync` is declared in state/sync_word.h instead: POSIX declares a function of that name in
// <unistd.h>, and only files that never include it may see the variable.

#include <cstdint>

using u16 = std::uint16_t;
using u32 = std::uint32_t;

// ---- constants ----
constexpr int PNUM = 16;               ///< parameter words in a frame
constexpr int RAM = 1;                 ///< storage target: the sensor's RAM
constexpr int EEPROM = 2;              ///< storage target: the sensor's EEPROM
constexpr int DATFILE = 3;             ///< storage target: a parameter file
constexpr double TIMEOUT = 1.5;        ///< seconds to wait for an answer of the sensor
constexpr int eventMask = 0x8006;      ///< events of the receive callback
constexpr int SLOPEMULTI = 1024;       ///< start value of `slope`
constexpr int SLOPE_x1024 = 1024;      ///< `slope` after repair of an out-of-range value
constexpr int YOFFSET = 30000;         ///< start value of `intersect`, and its repair value

constexpr int TEXT_SIZE = 72;          ///< status and name texts
constexpr int PATH_SIZE = 260;         ///< paths
constexpr int IO_BUF_SIZE = 1024;      ///< transmit and receive buffers
constexpr int VIDEO_POINTS = 256;      ///< words of the video line

// ---- handles, paths and the link ----
extern int pHandle;                    ///< main panel
extern int pPopup;                     ///< data-recorder popup
extern char proj_dir[PATH_SIZE];       ///< the program's data folder
extern int com;                        ///< COM port number in use
extern int order;                      ///< order word of the frame being sent
extern int target;                     ///< RAM, EEPROM or DATFILE
extern int rx_flag;           ///< 1 once the receive callback took in a frame
extern int graph_flag;        ///< 1 when that frame was a result frame
extern int stop_flag;         ///< 0 while a loop runs; 1 stopped; 2 completed; 3 time-out
extern char szStatus[TEXT_SIZE];       ///< status line text
extern u16 pp[PNUM];                   ///< parameter packet
extern unsigned char szWriteBuf[IO_BUF_SIZE];
extern unsigned char szReadBuf[IO_BUF_SIZE];
extern int nBytesW;                    ///< count returned by the last write
extern int nBytesR;                    ///< count returned by the last block read
extern double tstart;                  ///< Timer() when the current wait began
extern double tdiff;                   ///< seconds elapsed in the current wait

// ---- settings (the sensor's parameter set) ----
extern u16 power, tolMode, vThd, anaMode, polarity, eMode, eBeg, eEnd, tVal, tTol, opMode,
    eHardware, slope, intersect, average, powMode;

// ---- results of the last result frame ----
extern u16 Ledge, Redge, Mvalue;
extern u32 umValue;
extern u16 edcnt, mvstart, mvend, dynpower, anaMax, anaMin, gapLen, gapVal, gapPix;

// ---- sensor geometry and display arrays ----
extern u16 pixB, pixE, ccdpixE, ccdsubpixel, ccdmaxpixel, ccdmaxpixelX8, pcbtype, ccdtype;
extern u16 YAXISMAX;
/// Fields of the hardware-information answer beyond the geometry: the CCD's resolution code,
/// its first pixel and the firmware version word.
extern u16 ccdresolution, ccdpixB, softversion;
/// The sub-pixel range as the sensor reported it (ccdsubpixel falls back to 256 for a range
/// the video scales do not know; the video graph's axis keeps the reported one).
extern u16 ccdsubpixelReported;
/// Decoded firmware text of the last identification (word-coded boards).
extern char szVersion[TEXT_SIZE];
/// The firmware text the sensor sent at its identification, whatever its board ("" before).
extern char szFirmware[TEXT_SIZE];
extern double xArray8[VIDEO_POINTS];
extern u16 thdArray[VIDEO_POINTS];
extern u16 adcbuf[VIDEO_POINTS];

// ---- file names and texts ----
/// The batch name a recorder starts with, and the file name it offers.
inline constexpr char DEFAULT_CHARGE[] = "CHARGE0123.DAT";
extern char charge_fname[PATH_SIZE];   ///< batch name, also the recorder file's name
extern char rec_fname[PATH_SIZE];      ///< full path of the recorder file
extern char szSoftVersion[TEXT_SIZE];
extern char szSoftName[TEXT_SIZE];
extern u16 numSample;                  ///< records of a recording run
extern u16 incTime;                    ///< recording interval in seconds
