#include "link/reader_actions.h"

#include <algorithm>

#include "link/command_exchange.h"
#include "link/reader_gate.h"
#include "platform/core/clock.h"

namespace qv {

void ReaderActions::Acknowledge(uint8_t sequence) {
    if (m_gate.IsLeftBehind()) return;
    m_exchange.SendAck(kTypeAck, sequence);
}

void ReaderActions::Deliver(const uint8_t* data, int32_t length) {
    if (m_gate.IsLeftBehind()) return;
    m_barcodes.DeliverBarcode(data, length);
}

bool ReaderActions::IsRepeat(uint8_t sequence, const uint8_t* data, int32_t length) {
    return m_repeats.IsRepeat(
        sequence, std::span<const uint8_t>(data, static_cast<size_t>(std::max(length, 0))),
        platform::GetTickCount());
}

void ReaderActions::Reply(uint8_t type, const uint8_t* payload, int32_t length) {
    if (m_gate.IsLeftBehind()) return;
    m_exchange.PostReply(type, payload, length);
}

void ReaderActions::LinkLost() {
    if (m_gate.IsLeftBehind()) return;
    m_loss.LinkLost();
}

AnswerFit ReaderActions::FitOfAnswer(uint8_t type, const uint8_t* payload, size_t length) {
    if (m_gate.IsLeftBehind()) return AnswerFit::Unknown;
    return m_exchange.FitOfAnswer(type, payload, length);
}

void ReaderActions::Refuse() {
    if (m_gate.IsLeftBehind()) return;
    m_exchange.PostRefusal();
}

}  // namespace qv
