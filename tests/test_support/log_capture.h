// Captures the debug output of the library (its "[RO25]" lines and the
// platform's messages) into a temporary file for the duration of a test.
#pragma once

#include <fstream>
#include <sstream>
#include <string>

#include "test_support/temp_dir.h"

namespace test_support {

class LogCapture {
  public:
    LogCapture() : m_path(m_dir.Path() + "/debug.txt"), m_env("QV_DEBUG_OUTPUT", m_path) {}

    std::string Text() const { return test_support::ReadFile(m_path); }

    int Count(const std::string& needle) const {
        const std::string text = Text();
        int n = 0;
        for (size_t at = text.find(needle); at != std::string::npos;
             at = text.find(needle, at + needle.size())) {
            ++n;
        }
        return n;
    }

  private:
    TempDir m_dir;
    std::string m_path;
    ScopedEnv m_env;
};

}  // namespace test_support
