// What the reader's frames become: acknowledgements, replies and refusals go
// through the command exchange, barcodes to whoever delivers them.
#pragma once

#include <cstdint>

#include "link/frame_reader.h"
#include "link/repeat_filter.h"

namespace qv {

class CommandExchange;
class ReaderGate;

// Takes a decoded BARCODE_DATA payload (code-ID character first, then the
// text in the device's ANSI code page), 1..1024 bytes, on the reader thread.
class BarcodeSink {
  public:
    virtual ~BarcodeSink() = default;
    virtual void DeliverBarcode(const uint8_t* payload, int32_t n) = 0;
    // The engine's device went away; the application is to be told.
    virtual void DeviceLost() {}
};

// Told when the engine's line went away (a hang-up, a read error); once is
// enough, more calls change nothing.
class LinkLossSink {
  public:
    virtual ~LinkLossSink() = default;
    virtual void LinkLost() = 0;
};

// A reader that a close left behind in the application's callback finds
// the port and the driver taken down when it comes back: it acts no more.
class ReaderActions final : public LinkActions {
  public:
    ReaderActions(CommandExchange& exchange, ReaderGate& gate, BarcodeSink& barcodes,
                  LinkLossSink& loss)
        : m_exchange(exchange), m_gate(gate), m_barcodes(barcodes), m_loss(loss) {}
    void Acknowledge(uint8_t sequence) override;
    void Deliver(const uint8_t* data, int32_t length) override;
    bool IsRepeat(uint8_t sequence, const uint8_t* data, int32_t length) override;
    void Reply(uint8_t type, const uint8_t* payload, int32_t length) override;
    void Refuse() override;
    AnswerFit FitOfAnswer(uint8_t type, const uint8_t* payload, size_t length) override;
    void LinkLost() override;

  private:
    CommandExchange& m_exchange;
    ReaderGate& m_gate;
    BarcodeSink& m_barcodes;
    LinkLossSink& m_loss;
    RepeatFilter m_repeats;
};

}  // namespace qv
