// An engine object for delivery tests: its own registry file, debug output
// and trace, a power driver that accepts every request, and an empty record
// of stand-in effects.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "engine/imager_engine.h"
#include "platform/clock.h"
#include "platform/device_driver.h"
#include "platform/message.h"
#include "platform/message_record.h"
#include "platform/registry.h"
#include "test_support/temp_dir.h"

namespace delivery_test {

// Accepts every request and remembers the 4-byte values sent with them.
class AcceptingDriver : public qv::platform::DeviceDriver {
  public:
    int32_t IoControl(uint32_t code, std::span<const uint8_t> in, std::span<uint8_t>,
                      uint32_t* returned) override {
        std::lock_guard lock(m_mutex);
        uint32_t value = 0;
        for (size_t i = 0; i < in.size() && i < 4; ++i)
            value |= uint32_t{in[i]} << (8 * i);
        m_requests.emplace_back(code, value);
        if (returned != nullptr) *returned = 0;
        return 1;
    }
    std::vector<std::pair<uint32_t, uint32_t>> Requests() {
        std::lock_guard lock(m_mutex);
        return m_requests;
    }

  private:
    std::mutex m_mutex;
    std::vector<std::pair<uint32_t, uint32_t>> m_requests;
};

class EngineFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        qv::platform::ClearRecordedEffects();
        qv::platform::RegisterDriver("BAR1:", m_driver);
        std::fill(std::begin(qv::g_successSoundPath), std::end(qv::g_successSoundPath), u'\0');
        std::fill(std::begin(qv::g_failSoundPath), std::end(qv::g_failSoundPath), u'\0');
        qv::g_pfnBarcodeCallback = nullptr;
    }
    void TearDown() override {
        m_engine.reset();
        qv::m_RO25 = nullptr;
        qv::platform::UnregisterDriver("BAR1:");
        qv::platform::SetClockScale(1.0);
        qv::platform::Message m{};
        while (qv::platform::PeekMessage(&m, nullptr, true)) {
        }
    }

    // A usable engine in the state an open leaves it, with the power
    // driver open; created after the registry is prepared, since the model
    // class is read then.
    qv::ImagerEngine& Engine() {
        if (!m_engine) {
            m_engine = std::make_unique<qv::ImagerEngine>();
            m_engine->m_module.OpenDriver();
            m_engine->m_delayMode = 3;
            m_engine->m_delayMs = 1;
            m_engine->m_bActive = 1;
            m_engine->m_bEngineOpen = 1;
        }
        return *m_engine;
    }
    // Makes Engine() the engine that the exports reach.
    void Install() { qv::m_RO25 = &Engine(); }

    static void WriteDword(std::u16string_view key, std::u16string_view name, uint32_t value) {
        std::unique_ptr<qv::platform::RegistryKey> k;
        ASSERT_EQ(qv::platform::RegistryKey::Create(key, k), qv::platform::RegStatus::Ok);
        ASSERT_EQ(k->SetDword(name, value), qv::platform::RegStatus::Ok);
    }
    static void WriteString(std::u16string_view key, std::u16string_view name,
                            std::u16string_view value) {
        std::unique_ptr<qv::platform::RegistryKey> k;
        ASSERT_EQ(qv::platform::RegistryKey::Create(key, k), qv::platform::RegStatus::Ok);
        ASSERT_EQ(k->SetString(name, value), qv::platform::RegStatus::Ok);
    }
    // The stored option, if the key and the value exist.
    static std::optional<uint32_t> StoredDword(std::u16string_view name) {
        std::unique_ptr<qv::platform::RegistryKey> k;
        uint32_t value = 0;
        if (qv::platform::RegistryKey::Open(u"VARN\\QV_BarcodeAPI", k) !=
                qv::platform::RegStatus::Ok ||
            k->QueryDword(name, &value) != qv::platform::RegStatus::Ok) {
            return std::nullopt;
        }
        return value;
    }
    static std::optional<std::u16string> StoredString(std::u16string_view name) {
        std::unique_ptr<qv::platform::RegistryKey> k;
        std::u16string value;
        if (qv::platform::RegistryKey::Open(u"VARN\\QV_BarcodeAPI", k) !=
                qv::platform::RegStatus::Ok ||
            k->QueryString(name, &value) != qv::platform::RegStatus::Ok) {
            return std::nullopt;
        }
        return value;
    }

    std::string Log() const {
        std::ifstream in(m_dir.Path() + "/debug.txt");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    test_support::TempDir m_dir;
    test_support::ScopedEnv m_registry{"QV_REGISTRY", m_dir.Path() + "/registry.reg"};
    test_support::ScopedEnv m_debug{"QV_DEBUG_OUTPUT", m_dir.Path() + "/debug.txt"};
    test_support::ScopedEnv m_trace{"QV_PLATFORM_TRACE", m_dir.Path() + "/trace.txt"};
    std::shared_ptr<AcceptingDriver> m_driver = std::make_shared<AcceptingDriver>();
    std::unique_ptr<qv::ImagerEngine> m_engine;
};

}  // namespace delivery_test
