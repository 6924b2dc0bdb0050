#include <iconv.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <set>

#include "platform/debug_output.h"
#include "platform/text_conversion.h"

namespace qv::platform {
namespace {

constexpr const char* kDefaultCodePage = "CP1252";
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// Says once per process and name that a code page is unknown, so a wrong
// setting is visible without a line for every barcode.
void ReportUnknownOnce(const std::string& name) {
    static std::mutex mutex;
    static std::set<std::string> reported;
    {
        std::lock_guard lock(mutex);
        if (!reported.insert(name).second) return;
    }
    DebugOutputUtf8("text conversion: iconv does not know the code page \"" + name +
                    "\" of QV_ANSI_CODEPAGE; using " + kDefaultCodePage + "\n");
}

// An iconv descriptor must not be used by two threads at once, so each
// thread keeps its own, opened again only when the code page changes.
class Converter {
  public:
    ~Converter() { Close(); }

    // The descriptor for `name`, or kNoConverter when iconv lacks even CP1252.
    iconv_t For(const std::string& name) {
        if (m_cd != kNoConverter && name == m_name) return m_cd;
        Close();
        m_name = name;
        m_cd = ::iconv_open("UTF-16LE", name.c_str());
        if (m_cd == kNoConverter && name != kDefaultCodePage) {
            ReportUnknownOnce(name);
            m_cd = ::iconv_open("UTF-16LE", kDefaultCodePage);
        }
        return m_cd;
    }

  private:
    void Close() {
        if (m_cd != kNoConverter) ::iconv_close(m_cd);
        m_cd = kNoConverter;
    }

    std::string m_name;
    iconv_t m_cd = kNoConverter;
};

void AppendUnits(std::u16string& out, const char* bytes, size_t size) {
    for (size_t i = 0; i + 1 < size; i += 2) {
        out += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                     static_cast<unsigned char>(bytes[i + 1]) << 8);
    }
}

}  // namespace

std::string AnsiCodePage() {
    const char* name = std::getenv("QV_ANSI_CODEPAGE");
    return (name != nullptr && *name != '\0') ? name : kDefaultCodePage;
}

std::u16string AnsiToUtf16(std::span<const uint8_t> bytes) {
    thread_local Converter converter;
    const iconv_t cd = converter.For(AnsiCodePage());
    std::u16string out;
    out.reserve(bytes.size());
    if (cd == kNoConverter) {
        for (const uint8_t b : bytes)
            out += Cp1252ToUtf16(b);
        return out;
    }

    ::iconv(cd, nullptr, nullptr, nullptr, nullptr);  // initial shift state
    // iconv takes a non-const input pointer but does not write through it.
    char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
    size_t inLeft = bytes.size();
    char buffer[1024];
    while (inLeft > 0) {
        char* o = buffer;
        size_t oLeft = sizeof buffer;
        const size_t rc = ::iconv(cd, &in, &inLeft, &o, &oLeft);
        const int error = errno;
        AppendUnits(out, buffer, static_cast<size_t>(o - buffer));
        if (rc != static_cast<size_t>(-1) || error == E2BIG) continue;
        out += u'\uFFFD';
        if (error == EINVAL) break;  // a sequence cut off at the end
        ++in;                        // an undefined byte: go on after it
        --inLeft;
    }
    char* o = buffer;
    size_t oLeft = sizeof buffer;
    ::iconv(cd, nullptr, nullptr, &o, &oLeft);
    AppendUnits(out, buffer, static_cast<size_t>(o - buffer));
    return out;
}

}  // namespace qv::platform
