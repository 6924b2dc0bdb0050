// Points the debug output at a temporary file for one test and reads back
// the library's log lines.
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "test_support/temp_dir.h"

namespace symbology_test {

class LogCapture {
  public:
    LogCapture() : m_env("QV_DEBUG_OUTPUT", m_dir.Path() + "/debug.txt") {}

    std::string Text() const { return test_support::ReadFile(m_dir.Path() + "/debug.txt"); }

    // Lines without their "[RO25]" prefix and "\r\n".
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        const std::string text = Text();
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find("\r\n", start);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(start, end - start);
            if (line.rfind("[RO25]", 0) == 0) line.erase(0, 6);
            lines.push_back(line);
            start = end + 2;
        }
        return lines;
    }

    size_t Count(const std::string& line) const {
        size_t n = 0;
        for (const std::string& l : Lines())
            n += l == line ? 1 : 0;
        return n;
    }

  private:
    test_support::TempDir m_dir;
    test_support::ScopedEnv m_env;
};

}  // namespace symbology_test
