// The operations behind the symbology exports: read a record from the
// engine into the store, or put a record into the store, send it and keep
// its file current once the engine has answered.
//
// Every result is 1 (done) or 0 (the engine did not answer, or its answer
// could not be read). A read whose reply cannot be read leaves the store as
// it was.
#pragma once

#include <cstdint>
#include <span>

#include "QV_Rizoviv2I_RO25.h"
#include "link/command_port.h"
#include "symbology/option_members.h"
#include "symbology/symbology_settings.h"

namespace qv {

// Pause after every successful read, so the engine settles before the
// next command.
inline constexpr uint32_t kReadSettleMs = 100;

class SymbologyOperations {
  public:
    SymbologyOperations(SymbologySettings& store, CommandPort& port)
        : m_store(store), m_port(port) {}

    int32_t ReadEnableSetting(EnableRecord& record);
    int32_t WriteEnableSetting(const EnableRecord& record);
    // Changes one flag in the store and sends it alone. While the store
    // does not yet hold the engine's Enable record, the record is read
    // first; if that read fails nothing is sent or saved. A number that
    // names no symbology changes nothing, sends an empty setup and saves
    // nothing.
    int32_t WriteEnableOne(int32_t symbology, int32_t value);
    // 0 also when the number names no symbology; `value` is then untouched.
    int32_t ReadEnableOne(int32_t symbology, int32_t& value);

    int32_t ReadDetailSetting(DetailRecord& record);
    int32_t WriteDetailSetting(const DetailRecord& record);

    int32_t ReadOtherSetting(OtherRecord& record);
    int32_t WriteOtherSetting(const OtherRecord& record);

    // A Set of the family: reads the member's record from the engine,
    // replaces its slots with `values` (a character slot takes the low byte
    // into its first byte only) and writes the record back. Nothing is sent
    // when the read fails.
    int32_t SetMember(const OptionMember& member, std::span<const int32_t> values);
    // A Get of the family: reads the record and hands back the member's
    // slots (a character slot as its character's value).
    int32_t GetMember(const OptionMember& member, std::span<int32_t> values);

  private:
    int32_t Query(int32_t (*make)(PayloadBuffer, int32_t&),
                  int32_t (SymbologySettings::*parse)(const uint8_t*, int32_t),
                  const char16_t* failLog);
    int32_t Setup(int32_t (SymbologySettings::*make)(PayloadBuffer, int32_t&) const,
                  void (*save)(const SymbologySettings&), bool logBytes);
    void MacroPdfSentByEnable();
    void MacroPdfSentByDetail();

    SymbologySettings& m_store;
    CommandPort& m_port;
};

}  // namespace qv
