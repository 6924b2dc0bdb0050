// The engine as pure logic: bytes, line levels and ticks in; bytes with
// their due times out. No threads and no line.
#include "sim/engine_model.h"

#include <gtest/gtest.h>

#include "host_line.h"

namespace qv::sim {
namespace {

using Bytes = std::vector<uint8_t>;

class Engine : public ::testing::Test {
  protected:
    Engine() : m_engine(Settings()) {}
    static EngineSettings Settings() {
        EngineSettings s;
        s.lineRate = false;
        return s;
    }

    void Lines(bool power, bool trigger, bool wake) {
        m_engine.OnLines({power, trigger, wake}, m_now);
    }
    void PowerOnAwake() {
        Lines(true, true, false);
        Lines(true, true, true);
        Lines(true, true, false);
    }
    void Send(const Bytes& bytes) { m_engine.OnHostBytes(bytes, m_now); }
    // Runs the clock forward and collects what went out on the way.
    std::vector<Bytes> Run(uint32_t ms) {
        std::vector<Bytes> frames;
        const uint32_t end = m_now + ms;
        for (;;) {
            m_engine.Advance(m_now);
            for (Chunk& c : m_engine.TakeDue(m_now))
                frames.push_back(c.bytes);
            const auto next = m_engine.NextDeadline(m_now);
            if (!next || TickDiff(*next, end) > 0) break;
            if (TickDiff(*next, m_now) > 0) m_now = *next;
        }
        m_now = end;
        return frames;
    }

    EngineModel m_engine;
    uint32_t m_now = 0xFFFFFF00;  // near the wrap, on purpose
};

TEST_F(Engine, SetupEntriesOfBothWidthsAndUnknownPairs) {
    PowerOnAwake();
    Send(sim_test::HostFrame(0x20, 0x41, {0x7B, 0x82, 0x12, 0x34, 0x42, 0x40, 0x00}));
    auto out = Run(100);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(sim_test::PayloadOf(out[1]), Bytes{0x00});
    EXPECT_EQ(m_engine.Table().Get(0x7B, 0x82), 0x1234);
    EXPECT_EQ(m_engine.Table().Get(0x42, 0x40), 0);

    // An unknown pair is ignored and reported in the result.
    Send(sim_test::HostFrame(0x21, 0x41, {0x38, 0x40, 0x01}));
    out = Run(100);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(sim_test::PayloadOf(out[1]), Bytes{0x01});
    EXPECT_FALSE(m_engine.Table().Get(0x38, 0x40));

    // A query's unknown pairs come back as 0, two bytes wide from 0x80 up.
    Send(sim_test::HostFrame(0x22, 0x40, {0x38, 0x40, 0x7B, 0x82, 0x59, 0x90}));
    out = Run(100);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(sim_test::PayloadOf(out[1]),
              (Bytes{0x38, 0x40, 0x00, 0x7B, 0x82, 0x12, 0x34, 0x59, 0x90, 0x00, 0x00}));
    EXPECT_EQ(m_engine.UnknownPairs(), (std::vector<Pair>{{0x38, 0x40}, {0x59, 0x90}}));
}

TEST_F(Engine, SequenceNumbersSkipControlValuesAndReplyComesAfterProcessing) {
    PowerOnAwake();
    uint8_t last = 0;
    for (int i = 0; i < 300; ++i) {
        Send(sim_test::HostFrame(0x20, 0x40, {0x71, 0x40}));
        auto out = Run(50);
        ASSERT_EQ(out.size(), 2u);
        if (i == 0) {
            EXPECT_EQ(out[1][1], 0x11);
        } else {
            EXPECT_EQ(out[1][1], last == 0xFF ? 0x11 : last + 1);
        }
        last = out[1][1];
    }
    // ACK at once, the reply processMs later.
    Send(sim_test::HostFrame(0x20, 0x40, {0x71, 0x40}));
    EXPECT_EQ(Run(1).size(), 1u);
    EXPECT_EQ(Run(30).size(), 1u);
}

TEST_F(Engine, MultiFrameRequestsAreRefused) {
    PowerOnAwake();
    Send(sim_test::HostFrame(0x20, 0x40, {0x71, 0x40}, 0x21));
    EXPECT_EQ(Run(100), (std::vector<Bytes>{{0x02, 0x20, 0x15, 0x20, 0x03}}));
}

TEST_F(Engine, HostNakGetsOneResendAndSupplyLossForgetsThePendingFrame) {
    PowerOnAwake();
    std::string error;
    ASSERT_TRUE(m_engine.QueueBarcode(12, Bytes{'A'}, m_now, &error)) << error;
    Lines(true, false, false);  // press
    auto out = Run(300);
    ASSERT_EQ(out.size(), 1u);
    const Bytes barcode = out[0];
    Send({0x02, barcode[1], 0x15, 0x00, 0x03});
    EXPECT_EQ(Run(10), std::vector<Bytes>{barcode});
    Send({0x02, barcode[1], 0x15, 0x00, 0x03});
    EXPECT_TRUE(Run(3000).empty()) << "one resend only";

    ASSERT_TRUE(m_engine.QueueBarcode(12, Bytes{'B'}, m_now));
    Lines(true, true, false);
    Lines(true, false, false);
    EXPECT_EQ(Run(300).size(), 1u);
    Lines(false, false, false);  // supply gone before the ACK
    Lines(true, true, false);
    EXPECT_TRUE(Run(3000).empty());
}

TEST_F(Engine, RefusesBarcodesItCouldNotSend) {
    std::string error;
    EXPECT_FALSE(m_engine.QueueBarcode(5, Bytes{'A'}, m_now, &error));
    EXPECT_NE(error.find("unknown symbology"), std::string::npos);
    EXPECT_FALSE(m_engine.QueueBarcode(12, Bytes(kMaxBarcodeData, 'A'), m_now, &error));
    EXPECT_TRUE(m_engine.QueueBarcode(12, Bytes(kMaxBarcodeData - 1, 'A'), m_now));
    PowerOnAwake();
    Lines(true, false, false);
    const auto out = Run(300);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].size(), kMaxBarcodeData + 9);
    EXPECT_LE(out[0].size(), kMaxFrame);
}

TEST_F(Engine, LateReplyAndLinePacing) {
    PowerOnAwake();
    Faults late;
    late.replyDelayMs = 3500;
    m_engine.SetFaults(late);
    Send(sim_test::HostFrame(0x20, 0x40, {0x71, 0x40}));
    EXPECT_EQ(Run(3000).size(), 1u) << "the ACK on time";
    EXPECT_EQ(Run(1000).size(), 1u) << "the reply after the host gave up";

    // At 57600 baud the 376-byte initialisation reply takes about 65 ms.
    m_engine.SetFaults({});
    EngineSettings paced = m_engine.Settings();
    paced.lineRate = true;
    paced.processMs = 0;
    m_engine.SetSettings(paced);
    EXPECT_FALSE(m_engine.AwakeAt(m_now)) << "dozed after two idle seconds";
    Lines(true, true, true);
    Lines(true, true, false);
    Bytes pairs;
    for (int i = 0; i < 120; ++i)
        pairs.insert(pairs.end(), {0x7B, 0x82});
    Send(sim_test::HostFrame(0x21, 0x40, pairs));
    const auto early = Run(30);
    size_t bytes = 0;
    for (const Bytes& c : early)
        bytes += c.size();
    EXPECT_LT(bytes, 5u + 4 * 120 + 7);
    for (const Bytes& c : Run(100))
        bytes += c.size();
    EXPECT_EQ(bytes, 5u + 4 * 120 + 7);
}

}  // namespace
}  // namespace qv::sim
