// Checks that hold for the hand-off block reader and writer on any input. Shared by the fuzz
// harness and the regression suite that replays its findings.
#pragma once

#include <string>

namespace sheetpeek::hardening {

// `bytes` read as a block: the names must fit inside it and survive a round trip.
// Returns an empty text when every check held, otherwise what broke first.
std::string WorkOutHandoffBlock(const std::string& bytes);

// `bytes` as names separated by LF: the writer's block must read back as the names up to
// the first empty one, each cut at a zero byte.
std::string WorkOutHandoffNames(const std::string& bytes);

// `bytes` as what arrives on the channel: the frame reader must reach the same verdict and
// block whatever pieces the bytes come in, and the verdict must match the frame's header.
std::string WorkOutHandoffFrame(const std::string& bytes);

}  // namespace sheetpeek::hardening
