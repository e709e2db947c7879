// Helpers shared by the virtual-sensor tests. Requests are built here byte by byte rather than
// with the model's own encoder, so the tests pin the wire format independently.
#pragma once

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "sensor/model.h"

namespace rorir::sensor::test {

using namespace std::chrono_literals;

/// Model options in one call.
ModelOptions opts(const Profile* profile, std::uint64_t seed = 1, int objects = 2, Faults faults = {});

/// A request frame: 00 55, the order word, sixteen words, all high byte first.
Bytes request(std::uint16_t order, const Words& words = {}, std::uint16_t sync = 0x0055);
/// A video block request: first index and last-block flag.
Bytes blockRequest(std::uint16_t first, bool last);
/// Parses "00 AA 00 05" into bytes.
Bytes bytesOf(const std::string& hexText);
/// Word i (0-based) of a 36-byte frame's sixteen parameter words.
std::uint16_t word(const Bytes& frame, std::size_t i);
/// The order word of a frame.
std::uint16_t orderOf(const Bytes& frame);

/// Sends one request to the model at time t and returns the single answer's bytes, if any.
std::optional<Bytes> ask(Model& m, const Bytes& req, Nanos t);
/// Fetches the 256-word video line with four block requests, as the program's video pass does.
Video readVideo(Model& m, Nanos t);

}  // namespace rorir::sensor::test
