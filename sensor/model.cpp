#include "sensor/model.h"

#include <algorithm>

namespace rorir::sensor {

namespace {

const Profile& chosen(const ModelOptions& o) { return o.profile ? *o.profile : defaultProfile(); }

// Answers that are 36-byte frames (and so carry a sync and an order word); the firmware text
// and the video blocks are raw bytes.
bool isFrameAnswer(std::uint16_t order) {
  return order != static_cast<std::uint16_t>(Order::Firmware) &&
         order != static_cast<std::uint16_t>(Order::VideoBlock);
}

}  // namespace

Model::Model(const ModelOptions& options)
    : profile_(chosen(options)),
      options_(options),
      line_(profile_, options.seed, options.objects),
      garbage_(options.seed ^ 0xA5A5A5A5A5A5A5A5ull) {
  eeprom_ = defaultSettings(profile_);
  ram_ = eeprom_;  // a sensor loads its EEPROM set into RAM at power-up
  resetAnalog();
}

void Model::resetAnalog() {
  // At power-up, before any line was taken: maximum at the bottom and minimum at the top of the
  // range, so the first measurement sets both to its analog value.
  anaMax_ = 0;
  anaMin_ = static_cast<std::uint16_t>(profile_.pixelsX8 - 1);
  results_.anaMax = anaMax_;
  results_.anaMin = anaMin_;
  results_.tVal = ram_[kTVal];
  results_.tTol = ram_[kTTol];
}

void Model::idle(Nanos now) {
  if (!buffer_.empty() && now - lastByte_ > options_.quietGap) {
    ++counters_.shortRequests;
    buffer_.clear();
  }
}

std::vector<Answer> Model::receive(std::span<const std::uint8_t> bytes, Nanos now) {
  std::vector<Answer> answers;
  if (hungUp_ || bytes.empty()) return answers;
  idle(now);
  lastByte_ = now;
  for (std::uint8_t b : bytes) {
    buffer_.push_back(b);
    if (buffer_.size() < kFrameSize) continue;
    Bytes frame;
    frame.swap(buffer_);
    if (auto a = request(frame, now)) answers.push_back(std::move(*a));
    if (hungUp_) break;
  }
  return answers;
}

std::optional<Answer> Model::request(std::span<const std::uint8_t> raw, Nanos now) {
  if (hungUp_) return std::nullopt;
  std::optional<Frame> f = decodeFrame(raw);
  if (!f) {
    ++counters_.shortRequests;
    return std::nullopt;
  }
  if (f->sync != kRequestSync) {
    ++counters_.badSync;
    return std::nullopt;
  }
  if (!isKnownOrder(f->order)) {
    ++counters_.unknownOrder;
    return std::nullopt;
  }
  ++counters_.requests;
  std::optional<Answer> answer;
  if (std::optional<Bytes> bytes = answerFor(*f, raw.first(kFrameSize), now))
    answer = applyFaults(f->order, std::move(*bytes), now);
  if (options_.faults.hangUpAfter != 0 && counters_.requests >= options_.faults.hangUpAfter)
    hungUp_ = true;
  return answer;
}

Bytes Model::frameAnswer(std::uint16_t order, const Words& words) const {
  return encodeFrame(Frame{kAnswerSync, order, words});
}

void Model::measure(Nanos now, bool restartAnalog) {
  capture_ = line_.capture(now, ram_);
  captured_ = true;
  Evaluation e = evaluate(capture_.video, ram_, profile_, capture_.dynpower);
  anaMax_ = restartAnalog ? e.analog : std::max(anaMax_, e.analog);
  anaMin_ = restartAnalog ? e.analog : std::min(anaMin_, e.analog);
  results_ = e.results;
  results_.anaMax = anaMax_;
  results_.anaMin = anaMin_;
}

std::optional<Bytes> Model::answerFor(const Frame& f, std::span<const std::uint8_t> raw, Nanos now) {
  switch (static_cast<Order>(f.order)) {
    case Order::WriteRam:
      ram_ = f.words;
      return std::nullopt;
    case Order::WriteEeprom:
      eeprom_ = f.words;
      return std::nullopt;
    case Order::ReadRam:
      return frameAnswer(f.order, ram_);
    case Order::ReadEeprom:
      return frameAnswer(f.order, eeprom_);
    case Order::Echo:
      if (options_.faults.echoUnchanged) return Bytes(raw.begin(), raw.end());
      return frameAnswer(f.order, f.words);
    case Order::Teach:
      // The setpoint takes the M-value of the scene as it is now.
      measure(now);
      ram_[kTVal] = results_.Mvalue;
      return frameAnswer(f.order, ram_);
    case Order::Firmware:
      return firmwareAnswer(profile_);
    case Order::Measure:
      measure(now);
      return frameAnswer(f.order, results_.toWords());
    case Order::VideoBlock: {
      const std::size_t first = f.words[0];
      if (first > kVideoWords - kBlockWords) {
        ++counters_.badBlock;
        return std::nullopt;
      }
      if (!captured_) measure(now);  // no measurement yet: take the line now
      Bytes out;
      out.reserve(kBlockSize);
      for (std::size_t i = 0; i < kBlockWords; ++i) putWord(out, capture_.video[first + i]);
      return out;
    }
    case Order::Hardware:
      return frameAnswer(f.order, hardwareWords(profile_));
    case Order::ResetAnalog:
      // The sensor measures all the time: its maximum and minimum start over from the analog
      // value of the line as it is now, and the answer carries them with that line's results.
      measure(now, true);
      return frameAnswer(f.order, results_.toWords());
  }
  return std::nullopt;
}

std::optional<Answer> Model::applyFaults(std::uint16_t order, Bytes bytes, Nanos now) {
  const Faults& faults = options_.faults;
  ++produced_;
  if (faults.silent || (faults.dropEvery != 0 && produced_ % faults.dropEvery == 0)) {
    ++counters_.dropped;
    return std::nullopt;
  }
  if (isFrameAnswer(order) && bytes.size() >= 4) {
    const bool wrongSync =
        faults.wrongSync || (faults.wrongSyncEvery != 0 && produced_ % faults.wrongSyncEvery == 0);
    if (wrongSync) bytes[1] = static_cast<std::uint8_t>(kWrongSync);
    if (faults.wrongOrder) bytes[2] |= 0x01;
  }
  if (faults.garbage)
    for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>(garbage_.next());
  bytes.resize(bytes.size() - std::min<std::size_t>(bytes.size(), faults.missingBytes));
  bytes.insert(bytes.end(), faults.extraBytes, kExtraByte);
  ++counters_.answers;
  return Answer{std::move(bytes), now + faults.delay, order};
}

}  // namespace rorir::sensor
