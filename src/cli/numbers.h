#pragma once

// How every command reads the numbers of its options: the whole text must be
// the number (no sign of a unit, no blanks), or the option is refused.
#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

namespace orbelune::cli {

inline bool ParseInt(const std::string& text, int& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

// A finite decimal number; "inf" and "nan" are refused.
inline bool ParseFloat(const std::string& text, float& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

// "X,Y" or "WxH": two whole numbers around `separator`.
inline bool ParsePair(const std::string& text, char separator, int& first, int& second) {
    const std::size_t at = text.find(separator);
    return at != std::string::npos && ParseInt(text.substr(0, at), first) &&
           ParseInt(text.substr(at + 1), second);
}

}  // namespace orbelune::cli
