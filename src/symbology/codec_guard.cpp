#include "symbology/codec_guard.h"

#include <filesystem>
#include <ios>
#include <new>
#include <string>
#include <system_error>

#include "log/write_log.h"
#include "platform/text/utf.h"

namespace qv {
namespace {

constexpr size_t kMessageUnits = 512;

void Log(std::u16string_view format, const char* what) {
    std::u16string text = platform::Utf8ToUtf16(what != nullptr ? what : "");
    text.resize(platform::CutUnits(text, kMessageUnits));
    WriteLog(format, text);
}

}  // namespace

void LogCodecException(std::exception_ptr error) noexcept {
    try {
        try {
            std::rethrow_exception(error);
        } catch (const std::bad_alloc& e) {
            Log(u"Memory Exception [%s]\r\n", e.what());
        } catch (const std::ios_base::failure& e) {
            Log(u"File Exception [%s]\r\n", e.what());
        } catch (const std::filesystem::filesystem_error& e) {
            Log(u"File Exception [%s]\r\n", e.what());
        } catch (const std::exception& e) {
            Log(u"Exception [%s]\r\n", e.what());
        } catch (...) {
            Log(u"Exception [%s]\r\n", "unknown exception");
        }
    } catch (...) {
        // Out of memory while logging: nothing more can be said.
    }
}

}  // namespace qv
