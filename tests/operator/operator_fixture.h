// The main panel loaded with the program's callbacks, a scripted peer as COM1, and helpers
// that act on the widgets with synthetic mouse and key events.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "state/globals.h"
#include "sensor/model.h"
#include "support/scripted_peer.h"

class QTimer;

/// The text on the status line.
std::string Status();
/// Dimmed state (1 / 0) and visibility of a main-panel control.
int Dimmed(int control);
int Visible(int control);
/// A left mouse click (press and release) on a main-panel control.
void Click(int control);
/// One key press and release on a main-panel control.
void Key(int control, int key);
/// Replaces what a numeric control shows by `text` as typed, and enters it.
void Type(int control, const std::string& text);
/// Moves a ring to the item with `value` by arrow keys, one step only (fails otherwise).
void ChooseRingValue(int control, int value);
/// Runs `f` after `ms` milliseconds from inside whatever loop pumps events then.
void After(int ms, std::function<void()> f);

/// Records every distinct text the status line shows while events are pumped.
class StatusRecorder {
 public:
  StatusRecorder();
  ~StatusRecorder();
  const std::vector<std::string>& texts() const { return texts_; }

 private:
  std::unique_ptr<QTimer> timer_;
  std::vector<std::string> texts_;
};

/// A virtual sensor's model behind a scripted peer; the model stays reachable for the test.
std::shared_ptr<rorir::sensor::Model> AnswerWithModel(ScriptedPeer& peer, const char* profile = nullptr);

class OperatorTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  /// Opens COM1 and installs the receive callback, as the start-up leaves it before the check.
  void OpenLink();
  /// Opens COM1 against the sensor model and identifies it, as the start-up does.
  void StartWithSensor(const char* profile = nullptr);

  std::string dataDir_;
  ScriptedPeer peer_;
  std::shared_ptr<rorir::sensor::Model> model_;
};
