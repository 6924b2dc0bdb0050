#include "link/reader_actions.h"

#include "link/command_exchange.h"
#include "link/reader_gate.h"

namespace qv {

void ReaderActions::Acknowledge(uint8_t sequence) {
    if (m_gate.IsLeftBehind()) return;
    m_exchange.SendAck(kTypeAck, sequence);
}

void ReaderActions::Deliver(const uint8_t* data, int32_t length) {
    if (m_gate.IsLeftBehind()) return;
    m_barcodes.DeliverBarcode(data, length);
}

void ReaderActions::Reply(const uint8_t* payload, int32_t length) {
    if (m_gate.IsLeftBehind()) return;
    m_exchange.PostReply(payload, length);
}

void ReaderActions::Refuse() {
    if (m_gate.IsLeftBehind()) return;
    m_exchange.PostRefusal();
}

}  // namespace qv
