// An engine played in-process behind the CommandPort: it keeps a parameter
// table, answers queries from it, applies setups to it, and records every
// command. Outcomes can be scripted per command: silent (no answer) or NAK.
#pragma once

#include <cstring>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "link/command_port.h"

namespace symbology_test {

using Bytes = std::vector<uint8_t>;

enum class Outcome { Answer, Silent, Nak };

struct SentCommand {
    qv::FrameKind kind;
    Bytes payload;
};

class ScriptedEngine : public qv::CommandPort {
  public:
    int32_t Send(qv::FrameKind kind, const uint8_t* payload, int32_t length, uint8_t* reply,
                 int32_t* replyLength) override {
        m_sent.push_back({kind, Bytes(payload, payload + length)});
        Outcome outcome = m_default;
        if (!m_script.empty()) {
            outcome = m_script.front();
            m_script.pop_front();
        }
        if (outcome == Outcome::Silent) return 0;
        const bool wantsReply = reply != nullptr && replyLength != nullptr;
        if (outcome == Outcome::Nak) return wantsReply ? 0 : 1;
        Bytes answer;
        switch (kind) {
            case qv::FrameKind::SETUP_QUERY:
                for (int32_t i = 0; i + 1 < length; i += 2) {
                    const uint8_t g = payload[i], k = payload[i + 1];
                    const uint16_t v = m_params[{g, k}];
                    answer.insert(answer.end(), {g, k});
                    if (k >= 0x80) answer.push_back(static_cast<uint8_t>(v >> 8));
                    answer.push_back(static_cast<uint8_t>(v));
                }
                break;
            case qv::FrameKind::SETUP_COMMAND:
                for (int32_t i = 0; i + 2 < length;) {
                    const uint8_t g = payload[i], k = payload[i + 1];
                    if (k >= 0x80 && i + 3 < length) {
                        m_params[{g, k}] =
                            static_cast<uint16_t>(payload[i + 2] << 8 | payload[i + 3]);
                        i += 4;
                    } else {
                        m_params[{g, k}] = payload[i + 2];
                        i += 3;
                    }
                }
                break;
            case qv::FrameKind::STATUS_QUERY:
                answer = m_statusReply;
                break;
            default:
                break;
        }
        if (m_nextReply) {
            answer = std::move(*m_nextReply);
            m_nextReply.reset();
        }
        if (wantsReply) {
            if (!answer.empty()) std::memcpy(reply, answer.data(), answer.size());
            *replyLength = static_cast<int32_t>(answer.size());
        }
        return 1;
    }

    // The next commands' outcomes, in order; after them, `SetDefault`'s.
    void Script(std::initializer_list<Outcome> outcomes) {
        m_script.insert(m_script.end(), outcomes.begin(), outcomes.end());
    }
    void SetDefault(Outcome outcome) { m_default = outcome; }

    uint16_t& Param(uint8_t group, uint8_t param) { return m_params[{group, param}]; }
    void SetStatusReply(Bytes reply) { m_statusReply = std::move(reply); }
    // The next answered command gets exactly these reply bytes.
    void SetNextReply(Bytes reply) { m_nextReply = std::move(reply); }

    const std::vector<SentCommand>& Sent() const { return m_sent; }
    void ClearSent() { m_sent.clear(); }

  private:
    std::map<std::pair<uint8_t, uint8_t>, uint16_t> m_params;
    std::vector<SentCommand> m_sent;
    std::deque<Outcome> m_script;
    Outcome m_default = Outcome::Answer;
    Bytes m_statusReply;
    std::optional<Bytes> m_nextReply;
};

}  // namespace symbology_test
