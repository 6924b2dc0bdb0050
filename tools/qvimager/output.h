// Printing: whole lines to standard output or standard error, one at a time
// also when the embedded simulator's trace prints from its own thread; and
// the library's UTF-16 texts made readable.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv::cli {

// Lines for people: to standard output, or to standard error under --json,
// where standard output carries only JSON lines.
void PrintLine(std::string_view line);
void PrintError(std::string_view line);

// One JSON object on one line, built field by field in order.
class JsonObject {
  public:
    JsonObject& Add(std::string_view key, std::string_view utf8);
    JsonObject& Add(std::string_view key, const char* utf8) {
        return Add(key, std::string_view(utf8));
    }
    JsonObject& Add(std::string_view key, int64_t value);
    JsonObject& Add(std::string_view key, const std::vector<int32_t>& values);
    // A key whose value the case at hand does not have: null, so that every
    // object of a command has the same keys.
    JsonObject& AddNull(std::string_view key);
    std::string Text() const { return m_text + "}"; }

  private:
    void Key(std::string_view key);
    std::string m_text = "{";
};
// A JSON string: quoted, with the escapes JSON requires.
std::string JsonString(std::string_view utf8);

void SetJsonOutput(bool on);
bool JsonOutput();
void PrintJson(const JsonObject& object);

// Set once a write to standard output failed (a full disk, a closed pipe):
// the command stops, the imager is closed, and the program ends with 1 (141
// for a closed pipe).
bool OutputFailed();
// The system's text for that failure.
std::string OutputError();
// Whether that failure was a closed pipe (EPIPE): the reader has all it
// wanted, so the program ends quietly.
bool OutputPipeClosed();

std::string ToUtf8(std::u16string_view text);

// The text of a zero-terminated buffer of `units` units, never read past it.
std::u16string_view TextOf(const char16_t* buffer, size_t units);

// In double quotes, with \\, \", \r, \n, \t and \xNN for other control
// characters, so that every byte of a barcode shows.
std::string Quoted(std::string_view utf8);

}  // namespace qv::cli
