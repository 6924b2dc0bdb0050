#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <set>

#include "platform/core/configuration.h"
#include "platform/log/debug_output.h"
#include "platform/text/text_conversion.h"

namespace qv::platform {
namespace {

constexpr const char* kDefaultCodePage = "CP1252";
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// Says once per process and name that a code page is unknown, so a wrong
// setting is visible without a line for every barcode.
void ReportUnknownOnce(const std::string& name) {
    static std::mutex mutex;
    // Never destroyed: a close at process exit may still convert.
    static auto& reported = *new std::set<std::string>;
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

// Where converted units go: a growing string, or a caller's fixed buffer.
template <class Sink>
void AppendUnits(Sink& out, const char* bytes, size_t size) {
    for (size_t i = 0; i + 1 < size; i += 2) {
        out.Put(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                      static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
}

struct StringSink {
    std::u16string& text;
    void Put(char16_t c) { text += c; }
};

// Keeps at most `capacity - 1` units; allocates nothing.
struct BufferSink {
    char16_t* out;
    size_t room;
    size_t size = 0;
    bool cut = false;
    void Put(char16_t c) {
        if (size < room) {
            out[size++] = c;
        } else {
            cut = true;
        }
    }
};

template <class Sink>
void Convert(std::span<const uint8_t> bytes, Sink& out) {
    thread_local Converter converter;
    const auto config = CurrentConfiguration();
    const iconv_t cd = converter.For(config->codePage);
    if (cd == kNoConverter) {
        for (const uint8_t b : bytes)
            out.Put(Cp1252ToUtf16(b));
        return;
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
        out.Put(u'\uFFFD');
        if (error == EINVAL) break;  // a sequence cut off at the end
        ++in;                        // an undefined byte: go on after it
        --inLeft;
    }
    char* o = buffer;
    size_t oLeft = sizeof buffer;
    ::iconv(cd, nullptr, nullptr, &o, &oLeft);
    AppendUnits(out, buffer, static_cast<size_t>(o - buffer));
}

char Utf16ToCp1252(char16_t c, bool* mapped) {
    *mapped = true;
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
    for (unsigned b = 0x80; b < 0xA0 && c != 0xFFFD; ++b) {
        if (Cp1252ToUtf16(static_cast<uint8_t>(b)) == c) return static_cast<char>(b);
    }
    *mapped = false;
    return '?';
}

}  // namespace

std::string Utf16ToAnsi(std::u16string_view text, bool* lossless) {
    bool all = true;
    std::string out;
    std::string name = AnsiCodePage();
    iconv_t cd = ::iconv_open(name.c_str(), "UTF-16LE");
    if (cd == kNoConverter && name != kDefaultCodePage) {
        ReportUnknownOnce(name);
        cd = ::iconv_open(kDefaultCodePage, "UTF-16LE");
    }
    if (cd == kNoConverter) {
        for (const char16_t c : text) {
            bool mapped = true;
            out += Utf16ToCp1252(c, &mapped);
            all = all && mapped;
        }
    } else {
        std::string in;
        for (const char16_t c : text) {
            in += static_cast<char>(c & 0xFF);
            in += static_cast<char>(c >> 8);
        }
        char* from = in.data();
        size_t fromLeft = in.size();
        char buffer[1024];
        while (fromLeft > 0) {
            char* o = buffer;
            size_t oLeft = sizeof buffer;
            const size_t rc = ::iconv(cd, &from, &fromLeft, &o, &oLeft);
            const int error = errno;
            out.append(buffer, static_cast<size_t>(o - buffer));
            if (rc != static_cast<size_t>(-1) || error == E2BIG) continue;
            // No form in the code page, or half a surrogate pair: one '?'
            // for the unit (or the pair) and on with the next.
            out += '?';
            all = false;
            const bool pair = fromLeft >= 4 &&
                              (static_cast<unsigned char>(from[1]) & 0xFC) == 0xD8 &&
                              (static_cast<unsigned char>(from[3]) & 0xFC) == 0xDC;
            const size_t skip = std::min<size_t>(fromLeft, pair ? 4 : 2);
            from += skip;
            fromLeft -= skip;
        }
        char* o = buffer;
        size_t oLeft = sizeof buffer;
        ::iconv(cd, nullptr, nullptr, &o, &oLeft);
        out.append(buffer, static_cast<size_t>(o - buffer));
        ::iconv_close(cd);
    }
    if (lossless != nullptr) *lossless = all;
    return out;
}

std::string AnsiCodePage() {
    return CurrentConfiguration()->codePage;
}

std::u16string AnsiToUtf16(std::span<const uint8_t> bytes) {
    std::u16string text;
    text.reserve(bytes.size());
    StringSink sink{text};
    Convert(bytes, sink);
    return text;
}

size_t AnsiToUtf16(std::span<const uint8_t> bytes, char16_t* out, size_t capacity) {
    if (out == nullptr || capacity == 0) return 0;
    BufferSink sink{out, capacity - 1};
    Convert(bytes, sink);
    size_t n = sink.size;
    // A cut text never ends in the first half of a surrogate pair.
    if (sink.cut && n > 0 && out[n - 1] >= 0xD800 && out[n - 1] <= 0xDBFF) --n;
    out[n] = 0;
    return n;
}

}  // namespace qv::platform
