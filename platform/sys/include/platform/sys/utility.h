// Utility services: clock, pauses, program and data folders, file helpers, date and time text,
// and the bounded text copy that every fixed buffer of the program goes through.
//
// Plain C++ interface; the implementation may use Qt Core and the OS.
#pragma once

#include <cstddef>

/// Bytes of every path buffer the services fill or read (259 characters and the terminator).
/// The program's own path buffers (PATH_SIZE of the global state) have the same size.
constexpr int PATH_BUFFER_SIZE = 260;

/// Seconds from a fixed origin, on a monotonic clock (never jumps with the wall clock).
double Timer(void);
/// Blocks for `seconds` without processing events.
int Delay(double seconds);

/// The program's data folder (PATH_BUFFER_SIZE bytes): RORIR_DATA_DIR when set; else the executable's folder
/// when it is writable; else ~/rorir, created on first use. Returns 0, or negative when no
/// folder could be had (the buffer then holds ".").
int GetProjectDir(char* dir);
/// The folder that holds the running executable (PATH_BUFFER_SIZE bytes).
int GetExecutableDir(char* dir);
/// Finds a resource file (the panel file, the logo) by name into `path` (PATH_BUFFER_SIZE bytes): an
/// absolute name as it is; otherwise in RORIR_RESOURCE_DIR when set, next to the executable,
/// then in the install's share/rorir. Returns 0 when found, -1 otherwise.
int FindResourceFile(const char* name, char* path);
/// Joins a folder and a file name with one separator into `path` (PATH_BUFFER_SIZE bytes), truncating.
/// Returns 0, or -1 when the result had to be cut.
int MakePathname(const char* dir, const char* file, char* path);
/// 1 when the file exists (its size in `size` when not null), 0 when it does not.
int GetFileInfo(const char* path, long* size);
/// Removes a file. 0 on success, negative when it could not be removed.
int DeleteFile(const char* path);
/// Renames a file, replacing `to`; 0 or negative. The folder is synced after the rename, so
/// the new name is what a power cut leaves; negative also when that sync failed (the name may
/// then have changed).
int RenameFile(const char* from, const char* to);

/// Which file a name stands for: its device and inode, the same under every path and link.
struct FileId {
  unsigned long long device = 0;
  unsigned long long inode = 0;
  bool operator==(const FileId&) const = default;
};
/// The identity of the regular file at `path` (links followed) into *id. 0, or negative when
/// there is no such file.
int GetFileId(const char* path, FileId* id);
/// Creates `path` as a new, empty file (never an existing one) and makes its entry in its
/// folder durable before it returns, so a power cut after later appends cannot lose the whole
/// file. Its identity goes to *id. 0, or negative when it exists or cannot be created.
int CreateNewFile(const char* path, FileId* id);
/// Appends `count` bytes to the file at `path` only while that name still stands for the file
/// `id`: a file that is missing, renamed away or replaced is neither created nor touched. The
/// bytes are on the disk before it returns; bytes of a failed append are cut off again. 0, or
/// negative when they could not all be written.
int AppendToFile(const char* path, const FileId& id, const void* data, size_t count);
/// Replaces the file at `path` with `count` bytes, on the disk before it returns. The old file
/// stays whole until the new one is complete: the bytes go to a temporary file of a name of its
/// own in the same folder (made new, so no file or link that lies there is followed or
/// touched), which is renamed over `path`, and the folder is synced. A link at `path` is
/// replaced, not followed. 0 on success, negative on failure.
int WriteFileBytes(const char* path, const void* data, size_t count);
/// Reads at most `size` bytes of the file at `path` into `buf` and the count into *count.
/// 0 when the whole file was read, 1 when it holds more than `size` bytes (only `size` were
/// read), negative when it cannot be read.
int ReadFileBytes(const char* path, void* buf, size_t size, size_t* count);
/// Reads at most `size` bytes of the file at `path` from byte `offset` on into `buf` and the
/// count into *count: fewer than `size` only where the file ends. For reading a file of any
/// size in pieces through one fixed buffer. 0, or negative when it cannot be read.
int ReadFileRange(const char* path, long long offset, void* buf, size_t size, size_t* count);
/// Reads the last `size` bytes at most of the file at `path` into `buf` and the count into
/// *count. 0 when that was the whole file, 1 when earlier bytes were left out, negative when
/// it cannot be read.
int ReadFileTail(const char* path, void* buf, size_t size, size_t* count);

/// Today's date ("MM-DD-YYYY") and the time of day ("HH:MM:SS") from one reading of the clock,
/// so the pair never straddles midnight. Each text is truncated to its buffer.
void DateTimeStr(char* date, size_t dateSize, char* time, size_t timeSize);
/// The same for the seconds since the epoch `when`, in local time.
void FormatDateTime(long long when, char* date, size_t dateSize, char* time, size_t timeSize);
/// Milliseconds since the epoch (UTC), from the wall clock.
long long WallClockMs(void);
/// `ms` since the epoch as UTC "YYYY-MM-DDTHH:MM:SS.mmmZ" (truncated to the buffer).
void FormatUtcMs(long long ms, char* out, size_t size);
/// The local calendar fields of the seconds since the epoch `when`.
struct LocalClock {
  int year, month, day;      ///< month 1..12, day 1..31
  int hour, minute, second;  ///< 0..23, 0..59, 0..60
};
LocalClock LocalClockAt(long long when);
/// The seconds since the epoch of the local time `clock` (the zone's rules of that day decide
/// an hour that a change of summer time skips or repeats).
long long LocalClockSeconds(const LocalClock& clock);
/// Local time now with its zone as "YYYY-MM-DD HH:MM:SS +hhmm" (truncated to the buffer).
void LocalTimeWithZone(char* out, size_t size);
/// The user's login name (the password database, else $USER, else "unknown"), truncated to
/// the buffer.
void GetUserName(char* out, size_t size);

/// Copies `src` into `dst` of `size` bytes, truncating, always terminated. Returns the count
/// of characters copied.
size_t CopyText(char* dst, size_t size, const char* src);
template <size_t N>
size_t CopyText(char (&dst)[N], const char* src) {
  return CopyText(dst, N, src);
}
/// Appends `src` to the text in `dst` of `size` bytes, truncating, always terminated.
size_t AppendText(char* dst, size_t size, const char* src);
template <size_t N>
size_t AppendText(char (&dst)[N], const char* src) {
  return AppendText(dst, N, src);
}
