// The reader thread: the one thread that reads the serial port while the
// imager is open. It waits for line events, collects the bytes into the
// receive buffer, acknowledges engine frames, hands barcodes to delivery
// and replies and refusals to the waiting command.
#pragma once

#include <cstdint>

#include "link/frame_reader.h"

namespace qv {

class ImagerEngine;

// Time the reader gives the rest of a frame to arrive after a line event.
inline constexpr uint32_t kSettleMs = 40;
// A verified reply end that is the last byte held is taken once nothing more
// arrived for this long (a few byte times at 57600 baud).
inline constexpr uint32_t kConfirmMs = 2;
// A frame head that never verified is refused once the line has been quiet
// this long.
inline constexpr uint32_t kQuietLineMs = 200;

// The link actions of the reader, carried out on the engine object.
class EngineLinkActions final : public LinkActions {
  public:
    explicit EngineLinkActions(ImagerEngine& engine) : m_engine(engine) {}
    void Acknowledge(uint8_t sequence) override;
    void Deliver(const uint8_t* data, int32_t length) override;
    void Reply(const uint8_t* payload, int32_t length) override;
    void Refuse() override;

  private:
    ImagerEngine& m_engine;
};

// The thread's body; returns 0 when it ends: when the port's event mask is
// cleared (closing), the device hangs up, or the stop event is seen while
// the reader is between frames.
uint32_t ThreadComProc(ImagerEngine* engine);

}  // namespace qv
