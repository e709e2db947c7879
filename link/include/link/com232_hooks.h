// What the sensor link reports to the program above it. The link draws nothing: the desktop
// program installs hooks that show each report on the panel, a program without a window
// installs its own (or none, and the reports go nowhere).
#pragma once

/// The loops the link runs itself.
constexpr int LOOP_MEASURE = 1;  ///< the measurement cycle (PushRUN)

/// What a parameter read-back report means.
constexpr int PARAMETERS_NOT_RECEIVED = 0;  ///< the sensor did not answer: settings unchanged
constexpr int PARAMETERS_RECEIVED = 1;      ///< the settings hold what the sensor sent
constexpr int PARAMETERS_NOT_ASKED = 2;     ///< no read (the file target): settings as they are

struct LinkHooks {
  /// A status text for the operator (the status line), in the order the link reaches it.
  void (*status)(const char* text) = nullptr;
  /// A result frame is taken: its values are in the result globals (CopyPPtoRAWVars).
  void (*resultFrame)() = nullptr;
  /// A parameter read-back is over (`outcome` one of PARAMETERS_*): the settings hold what the
  /// sensor sent, or what they held when it did not answer or nothing was asked.
  void (*parameterSet)(int outcome) = nullptr;
  /// A hardware-information answer is applied: the sensor's type, geometry and scales are in
  /// the globals.
  void (*sensorIdentified)() = nullptr;
  /// A loop of the link starts (before its first request) or has ended (after its last).
  void (*loopStarted)(int loop) = nullptr;
  void (*loopEnded)(int loop) = nullptr;
};

/// Replaces the hooks; a hook left null is not called.
void InstallLinkHooks(const LinkHooks& hooks);
