// Which engine reply answers which command. A reply is taken only as the
// answer to the command that waits for it: a query's reply carries a whole
// entry for each pair asked, in the order asked; a setup or reset gets its
// result; a status query its status reply. A reply that came too late for
// an earlier command, or was cut short, answers nothing.
#pragma once

#include <cstdint>
#include <span>

#include "link/frame.h"
#include "link/frame_reader.h"

namespace qv {

// True when `reply` is exactly one (group, parameter, value) entry for each
// (group, parameter) pair of `asked`, in order; a value is one byte, or two
// for the engine's two-byte parameters. An odd last byte of `asked` is not
// a pair.
bool AnswersPairs(std::span<const uint8_t> asked, std::span<const uint8_t> reply);

// True when an engine frame of `type` carrying `payload` answers a command
// of `kind` whose payload was `asked`.
bool AnswersCommand(FrameKind kind, std::span<const uint8_t> asked, uint8_t type,
                    std::span<const uint8_t> payload);

// How a reply frame of `type` carrying `payload` fits a waiting command of
// `kind` that asked `asked`, for the search of the frame's end: its whole
// answer (a query's entries for every pair asked, or a setup's one-byte
// result), a query's reply that lacks entries yet, or nothing content tells
// (version texts are framed by the line as well).
AnswerFit FitOfAnswer(FrameKind kind, std::span<const uint8_t> asked, uint8_t type,
                      std::span<const uint8_t> payload);

}  // namespace qv
