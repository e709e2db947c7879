#include "sensor_line.h"

#include <unistd.h>

#include <cstdio>
#include <vector>

#include "sensor/model.h"

struct SensorLine::State {
  std::mutex mutex;
  std::shared_ptr<rorir::sensor::Model> model = std::make_shared<rorir::sensor::Model>();
  std::chrono::milliseconds split{0};
  std::chrono::milliseconds measureDelay{0};
  std::chrono::milliseconds allDelay{0};
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

SensorLine::SensorLine(std::string link) : link_(std::move(link)), state_(std::make_shared<State>()) { plugIn(); }

SensorLine::~SensorLine() {
  peer_.reset();
  unlink(link_.c_str());
}

void SensorLine::plugIn() {
  peer_.reset();  // joins the old line's thread
  peer_ = std::make_unique<ScriptedPeer>();
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->model = std::make_shared<rorir::sensor::Model>();
    state_->split = {};
    state_->measureDelay = {};
  }
  unlink(link_.c_str());
  if (symlink(peer_->slavePath().c_str(), link_.c_str()) != 0) std::perror("symlink");
  std::shared_ptr<State> state = state_;
  peer_->setResponder([state](const PeerFrame& f) {
    std::lock_guard<std::mutex> lock(state->mutex);
    const auto now = std::chrono::duration_cast<rorir::sensor::Nanos>(std::chrono::steady_clock::now() - state->start);
    std::vector<PeerReply> replies;
    auto answer = state->model->request(f.bytes, now);
    if (!answer) return replies;
    auto delay = std::chrono::duration_cast<std::chrono::milliseconds>(answer->at - now);
    if (f.order() == 8) delay += state->measureDelay;
    delay += state->allDelay;
    if (state->split.count() == 0) {
      replies.push_back({answer->bytes, delay});
      return replies;
    }
    for (size_t i = 0; i < answer->bytes.size(); ++i)
      replies.push_back({PeerBytes{answer->bytes[i]}, i == 0 ? delay + state->split : state->split});
    return replies;
  });
}

std::shared_ptr<rorir::sensor::Model> SensorLine::model() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->model;
}

void SensorLine::hangUp() { peer_->hangUp(); }

void SensorLine::unplug() {
  unlink(link_.c_str());
  peer_->hangUp();
}

void SensorLine::setFaults(const rorir::sensor::Faults& faults) {
  rorir::sensor::ModelOptions options;
  options.faults = faults;
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->model = std::make_shared<rorir::sensor::Model>(options);
}

void SensorLine::splitAnswers(std::chrono::milliseconds pause) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->split = pause;
}

void SensorLine::delayMeasureAnswers(std::chrono::milliseconds delay) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->measureDelay = delay;
}

void SensorLine::delayAllAnswers(std::chrono::milliseconds delay) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->allDelay = delay;
}

void SensorLine::burst(size_t count) {
  PeerBytes bytes(count);
  for (auto& b : bytes) {
    noise_ = noise_ * 1664525u + 1013904223u;
    b = static_cast<std::uint8_t>(noise_ >> 24);
  }
  peer_->send(bytes);
}

size_t SensorLine::measureRequests() const {
  size_t n = 0;
  for (const PeerFrame& f : peer_->frames())
    if (f.order() == 8) ++n;
  return n;
}
