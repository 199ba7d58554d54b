#include "NumberText.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <system_error>

namespace engine {

namespace {

bool plainChar(char c)
{
    return (c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-';
}

} // namespace

std::ptrdiff_t vecPieceCount(const char* text, std::size_t size, char separator)
{
    if (size < 2 || text[0] != separator || text[size - 1] != separator)
        return -1;
    return std::count(text, text + size, separator) - 1;
}

bool readVecPieces(const char* text, std::size_t size, char separator, double* out)
{
    if (vecPieceCount(text, size, separator) < 1)
        return false;
    const char* const end = text + size;
    for (const char* s = text + 1; s < end;) {
        // The text ends with a separator: there always is one.
        const char* e = static_cast<const char*>(std::memchr(s, separator, std::size_t(end - s)));
        if (e == s || *s == '+' || !std::all_of(s, e, plainChar))
            return false;
        // from_chars reads no "+" sign, blanks or hexadecimal here, and reports an overflow
        // or underflow instead of guessing.
        const std::from_chars_result r = std::from_chars(s, e, *out++, std::chars_format::general);
        if (r.ec != std::errc() || r.ptr != e)
            return false;
        s = e + 1;
    }
    return true;
}

} // namespace engine
