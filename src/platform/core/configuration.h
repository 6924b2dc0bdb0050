// The platform's settings from the environment, read at fixed points only.
//
// The debug output, the trace, the text conversion, the power
// notifications, the keyboard, the LEDs and the sound take their settings from a snapshot that
// LoadConfiguration reads: the library calls it each time it opens the imager, and the first use
// loads it when nothing has yet. Devices read their own variable (QV_PORT_<NAME>, QV_DRIVER_<NAME>)
// when they are opened. Nothing is read per line or from the reader thread, so an application may
// change the environment between opens without racing the library's threads.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform_api.h"

namespace qv::platform {

struct Configuration {
    std::string
        debugOutput;    // QV_DEBUG_OUTPUT: empty, "none", "stderr", "journal", "syslog" or a file
    std::string trace;  // QV_PLATFORM_TRACE: empty or a file
    std::string codePage;     // QV_ANSI_CODEPAGE, CP1252 when unset
    std::string powerNotify;  // QV_POWER_NOTIFY
    std::string keyboard;     // QV_KEYBOARD: empty or "uinput[:<device name>][,layout=…]"
    std::string leds;         // QV_LEDS: empty or "sysfs:<dir>[,<index>=<name>...]"
    std::string sound;        // QV_SOUND: empty, "alsa" or "alsa:<pcm device>"
    std::vector<std::string> soundDirectories;  // the application's first (with QV_SOUND)
};

// Reads the variables again and opens the outputs they name; the outputs in
// use until then are closed once their last line is written.
QV_PLATFORM_API void LoadConfiguration();
QV_PLATFORM_API std::shared_ptr<const Configuration> CurrentConfiguration();

// The value of an environment variable, empty counting as unset. Every read
// of the platform goes through here and is counted, so a test can show that
// a thread reads none.
QV_PLATFORM_API std::optional<std::string> ReadEnvironment(const char* name);
QV_PLATFORM_API uint64_t EnvironmentReads();

// The system journal's native socket and the syslog socket; tests point
// them at sockets of their own. Used from the next LoadConfiguration on.
inline constexpr char kJournalSocket[] = "/run/systemd/journal/socket";
inline constexpr char kSyslogSocket[] = "/dev/log";
QV_PLATFORM_API void SetJournalSocketPath(const std::string& path);
QV_PLATFORM_API void SetSyslogSocketPath(const std::string& path);

}  // namespace qv::platform
