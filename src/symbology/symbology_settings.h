// The settings store: the library's copy of the engine's Enable, Detail and
// Other records, one after another.
#pragma once

#include "QV_Rizoviv2I_RO25.h"

namespace qv {

class SymbologySettings {
  public:
    SymbologySettings() : m_enable{}, m_detail{}, m_other{} {}

    EnableRecord m_enable;
    DetailRecord m_detail;
    OtherRecord m_other;
};

static_assert(sizeof(SymbologySettings) == 552);
static_assert(offsetof(SymbologySettings, m_detail) == 164);
static_assert(offsetof(SymbologySettings, m_other) == 452);

}  // namespace qv
