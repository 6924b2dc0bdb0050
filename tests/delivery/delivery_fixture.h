// Fixtures of the delivery tests: barcode delivery built alone with its
// peers, and an engine object that the delivery-option exports reach.
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

#include "delivery/barcode_delivery.h"
#include "delivery/delivery_options.h"
#include "delivery/process_items.h"
#include "engine/imager_engine.h"
#include "link/reader_gate.h"
#include "platform/core/clock.h"
#include "platform/storage/registry.h"
#include "platform/windows/message.h"
#include "platform/windows/message_record.h"
#include "power/module_control.h"
#include "test_support/temp_dir.h"

namespace delivery_test {

// The trigger line as delivery sees it, recording each level it is set to.
class RecordingTrigger final : public qv::TriggerLine {
  public:
    void SetTriggerLine(uint8_t level) override {
        std::lock_guard lock(m_mutex);
        m_levels.push_back(level);
    }
    std::vector<uint8_t> Levels() {
        std::lock_guard lock(m_mutex);
        return m_levels;
    }

  private:
    std::mutex m_mutex;
    std::vector<uint8_t> m_levels;
};

// Its own registry file, debug output and trace, and an empty record of
// stand-in effects.
class RegistryFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        qv::platform::ClearRecordedEffects();
        std::fill(std::begin(qv::g_successSoundPath), std::end(qv::g_successSoundPath), u'\0');
        std::fill(std::begin(qv::g_failSoundPath), std::end(qv::g_failSoundPath), u'\0');
        qv::g_pfnBarcodeCallback = nullptr;
    }
    void TearDown() override {
        qv::platform::SetClockScale(1.0);
        qv::platform::Message m{};
        while (qv::platform::PeekMessage(&m, nullptr, true)) {
        }
    }

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
};

// Barcode delivery alone, with the peers it is given: options, a recording
// trigger line and a reader gate. Created on first use, after the registry
// is prepared, since the model class is read from it.
class DeliveryFixture : public RegistryFixture {
  protected:
    qv::BarcodeDelivery& Deliverer() {
        if (!m_delivery) {
            m_delivery = std::make_unique<qv::BarcodeDelivery>(
                m_options, m_trigger, m_gate, qv::ModuleControl::DetectModelClass());
            m_delivery->m_delayMode = 3;
            m_delivery->m_delayMs = 1;
        }
        return *m_delivery;
    }
    qv::DeliveryOptions& Options() { return m_options; }

    qv::DeliveryOptions m_options;
    RecordingTrigger m_trigger;
    qv::ReaderGate m_gate;
    std::unique_ptr<qv::BarcodeDelivery> m_delivery;
};

// An engine object the exports reach, usable without an open: the delivery
// options exports need nothing more.
class EngineFixture : public RegistryFixture {
  protected:
    void TearDown() override {
        qv::m_RO25 = nullptr;
        m_engine.reset();
        RegistryFixture::TearDown();
    }
    qv::ImagerEngine& Engine() {
        if (!m_engine) {
            m_engine = std::make_unique<qv::ImagerEngine>();
            m_engine->Delivery().m_delayMode = 3;
            m_engine->Delivery().m_delayMs = 1;
            m_engine->m_bActive = 1;
            m_engine->m_bEngineOpen = 1;
        }
        return *m_engine;
    }
    // Makes Engine() the engine that the exports reach.
    void Install() { qv::m_RO25 = &Engine(); }

    std::unique_ptr<qv::ImagerEngine> m_engine;
};

}  // namespace delivery_test
