#include "generation/platform/utf16.h"

#include <windows.h>

#include <limits>
#include <stdexcept>

namespace generation {

namespace {

// One conversion, strict first: with `strict` the system fails on invalid
// text, and without it replaces each invalid part by U+FFFD.
template <typename To, typename From, typename Convert>
To Converted(From text, bool* valid, DWORD strict, Convert convert)
{
    if (valid != nullptr) *valid = true;
    if (text.empty()) return {};
    if (text.size() > static_cast<std::size_t>((std::numeric_limits<int>::max)())) {
        throw std::length_error("text too long to convert");
    }
    const int length = static_cast<int>(text.size());
    DWORD flags = strict;
    int size = convert(flags, text.data(), length, nullptr, 0);
    if (size <= 0) {
        if (valid != nullptr) *valid = false;
        flags = 0;
        size = convert(flags, text.data(), length, nullptr, 0);
    }
    To converted(static_cast<std::size_t>(size > 0 ? size : 0), {});
    if (size > 0 && convert(flags, text.data(), length, converted.data(), size) != size) converted.clear();
    return converted;
}

}  // namespace

std::wstring Utf16(std::string_view utf8, bool* valid)
{
    return Converted<std::wstring>(utf8, valid, MB_ERR_INVALID_CHARS,
                                   [](DWORD flags, const char* from, int length, wchar_t* to, int size) {
                                       return ::MultiByteToWideChar(CP_UTF8, flags, from, length, to, size);
                                   });
}

std::string Utf8(std::wstring_view utf16, bool* valid)
{
    return Converted<std::string>(utf16, valid, WC_ERR_INVALID_CHARS,
                                  [](DWORD flags, const wchar_t* from, int length, char* to, int size) {
                                      return ::WideCharToMultiByte(CP_UTF8, flags, from, length, to, size, nullptr,
                                                                   nullptr);
                                  });
}

}  // namespace generation
