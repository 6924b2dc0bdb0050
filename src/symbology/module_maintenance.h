// The engine's initialisation check and initialisation, and the
// maintenance commands: test command, factory reset, version.
#pragma once

#include <cstdint>

#include "link/command_port.h"

namespace qv {

// Pause between the factory reset and the initialisation that follows it.
inline constexpr uint32_t kFactoryResetPauseMs = 200;

// 1 when the engine already carries the library's code-ID assignment.
int32_t IsInit(CommandPort& port);
// Sends the initialisation payload; the answer is not used.
void InitModule(CommandPort& port);
void SendTestCommand(CommandPort& port);
// The reset command alone; the answer is not used.
void SendFactoryReset(CommandPort& port);
// The reset, a pause, and the initialisation again, so that barcodes keep
// their symbology numbers. The store and the settings files are not
// touched: the next opening applies the files again.
void FactoryReset(CommandPort& port);

// Asks for the three version texts and writes each, zero-terminated, to
// its buffer of at least 256 units; a text the reply lacks comes out
// empty. 0 when the engine did not answer: the buffers are then untouched.
int32_t ReadVersion(CommandPort& port, char16_t* first, char16_t* second, char16_t* third);

}  // namespace qv
