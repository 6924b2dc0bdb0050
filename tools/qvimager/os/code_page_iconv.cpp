#include <iconv.h>

#include <cerrno>

#include "os/code_page.h"

namespace qv::cli::os {

std::optional<std::string> Utf8ToCodePage(std::string_view utf8, const std::string& codePage) {
    iconv_t cd = ::iconv_open(codePage.c_str(), "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string in(utf8);
    std::string out(in.size() * 4 + 16, '\0');
    char* from = in.data();
    size_t fromLeft = in.size();
    char* to = out.data();
    size_t toLeft = out.size();
    const size_t done = ::iconv(cd, &from, &fromLeft, &to, &toLeft);
    ::iconv_close(cd);
    if (done == static_cast<size_t>(-1)) return std::nullopt;
    out.resize(out.size() - toLeft);
    return out;
}

}  // namespace qv::cli::os
