#pragma once

#include <string>
#include <string_view>

// Windows' UTF-16 and the UTF-8 that the core, the window and the command
// line pass among themselves: the one conversion between them, Windows only.
//
// The rule for text that is not valid in its encoding (a byte sequence
// that is not UTF-8, a surrogate without its pair in UTF-16): each invalid
// part becomes U+FFFD, the replacement character, and `valid`, when given,
// is set to false; otherwise it is set to true. Nothing is dropped or
// passed on as it was. A caller that must not change the text (the window's
// fields) refuses it when `valid` is false.
namespace generation {

std::wstring Utf16(std::string_view utf8, bool* valid = nullptr);
std::string Utf8(std::wstring_view utf16, bool* valid = nullptr);

}  // namespace generation
