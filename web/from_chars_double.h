// std::from_chars for double, which the C++ library of Debian's Emscripten
// (libc++ 14) lacks, for the batch runner's option code compiled into the
// page's engine. Forced into those files only (-include); the native build
// never sees it. It reads what from_chars reads in the general format: an
// optional "-", digits with an optional point and exponent, or inf/nan; no
// leading space, no "+", no hexadecimal, as from_chars refuses them.
#pragma once

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <string>

namespace std {

inline from_chars_result from_chars(const char* first, const char* last, double& value,
                                    chars_format = chars_format::general) {
    const string text(first, last);
    const bool refused = text.empty() || text[0] == '+' || text[0] == ' ' || text[0] == '\t' || text[0] == '\n' ||
                         text.find_first_of("xXpP") != string::npos;
    if (refused) return {first, errc::invalid_argument};
    char* end = nullptr;
    errno = 0;
    const double read = strtod(text.c_str(), &end);
    if (end == text.c_str()) return {first, errc::invalid_argument};
    const char* stop = first + (end - text.c_str());
    if (errno == ERANGE) return {stop, errc::result_out_of_range};
    value = read;
    return {stop, errc{}};
}

}  // namespace std
