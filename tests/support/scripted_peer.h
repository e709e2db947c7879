// The far end of the line for tests of the sensor link: the master side of a fresh
// pseudo-terminal, served on a thread of its own. Every complete 36-byte request is recorded
// and handed to a responder, whose replies (bytes after a delay) go back on the line. A
// responder built on the virtual sensor's model answers as the real sensor would.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace rorir::sensor {
struct ModelOptions;
}

using PeerBytes = std::vector<std::uint8_t>;

struct PeerReply {
  PeerBytes bytes;
  std::chrono::milliseconds delay{0};  ///< after the request came in
};

/// What one request looked like on the wire.
struct PeerFrame {
  PeerBytes bytes;  ///< the 36 bytes
  std::uint16_t sync() const { return static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]); }
  std::uint16_t order() const { return static_cast<std::uint16_t>(bytes[2] << 8 | bytes[3]); }
  std::uint16_t word(int i) const {
    return static_cast<std::uint16_t>(bytes[4 + 2 * i] << 8 | bytes[5 + 2 * i]);
  }
};

class ScriptedPeer {
 public:
  using Responder = std::function<std::vector<PeerReply>(const PeerFrame&)>;

  ScriptedPeer();
  ~ScriptedPeer();
  ScriptedPeer(const ScriptedPeer&) = delete;
  ScriptedPeer& operator=(const ScriptedPeer&) = delete;

  /// The device path the program opens (RORIR_COM<n> points at it).
  const std::string& slavePath() const { return slave_; }
  bool ok() const { return master_ >= 0; }

  /// Replaces the responder; requests without a responder get no answer.
  void setResponder(Responder r);
  /// Answers as the virtual sensor's model does (its own clock starts at zero).
  void answerLikeSensor(const rorir::sensor::ModelOptions& options);
  /// Sends bytes on the line now, unasked.
  void send(const PeerBytes& bytes);
  /// Hangs up: closes the master side.
  void hangUp();

  /// Every complete request received so far.
  std::vector<PeerFrame> frames() const;
  /// When each of them was read off the line (the same order as frames()).
  std::vector<std::chrono::steady_clock::time_point> arrivals() const;
  /// Requests that reached the line while the answer to an earlier one was still owed: the
  /// program asked again inside the wait of its last request.
  size_t overlaps() const { return overlaps_; }
  /// The order words of those requests.
  std::vector<std::uint16_t> orders() const;
  /// Waits until at least `n` requests came, at most `seconds`.
  bool waitForFrames(size_t n, double seconds) const;
  /// Waits until every request received so far is answered (delayed answers sent), at most
  /// `seconds`; false when an answer is still owed then.
  bool waitUntilAnswered(double seconds) const;
  void clearFrames();

 private:
  void run();

  int master_ = -1;
  std::string slave_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> answering_{false};  // a request's replies are being sent (or slept for)
  mutable std::mutex mutex_;
  Responder responder_;
  std::vector<PeerFrame> frames_;
  std::vector<std::chrono::steady_clock::time_point> arrivals_;
  std::atomic<size_t> overlaps_{0};
  std::thread thread_;
};

/// A 36-byte frame as the sensor sends it: sync, order, sixteen words, all big-endian.
PeerBytes SensorFrame(std::uint16_t order, const std::vector<std::uint16_t>& words,
                      std::uint16_t sync = 0x00AA);
