#include "release_version.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cmath>
#include <initializer_list>
#include <limits>

namespace ReleaseVersion {
namespace {

bool AllDigits(std::string_view s)
{
    if (s.empty())
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// Built by appending: GCC 12 warns wrongly about chains of operator+ here.
std::string Join(std::initializer_list<std::string_view> parts)
{
    std::string out;
    for (std::string_view p : parts)
        out.append(p);
    return out;
}

std::string Quoted(std::string_view s)
{
    return Join({"\"", s, "\""});
}

} // namespace

double Value(std::string_view text)
{
    return std::strtod(std::string(text).c_str(), nullptr);
}

namespace {

struct TParts
{
    std::string_view whole;
    std::string_view fraction;
};

// Whether a well-formed version text without trailing zeros in its fraction
// reads safely. The check holds the offered version as a 32-bit float and the
// program's own version as a double: a float reading above the double would
// offer the release to the program it made, at every start. A reading at or
// below it is harmless, but only while neighbouring versions of the same
// number of decimals still read as different floats.
bool ReadsSafely(std::string_view text, const TParts &parts)
{
    if (parts.whole.size() > 8 || parts.fraction.size() > 9)
        return false;
    const double exact = Value(text);
    const float held = static_cast<float>(exact);
    if (static_cast<double>(held) > exact)
        return false;
    if (static_cast<double>(held) == exact)
        return true;
    double step = 1.0;
    for (std::size_t i = 0; i < parts.fraction.size(); ++i)
        step /= 10;
    const float above = std::nextafter(held, std::numeric_limits<float>::infinity());
    return static_cast<double>(above) - static_cast<double>(held) < step;
}

TParts Split(std::string_view text)
{
    const std::size_t point = text.find('.');
    if (point == std::string_view::npos)
        return {text, {}};
    return {text.substr(0, point), text.substr(point + 1)};
}

// `units` in steps of 10^-decimals, written without trailing zeros.
std::string Spelled(std::uint64_t units, std::size_t decimals)
{
    std::string digits = std::to_string(units);
    if (decimals == 0)
        return digits;
    if (digits.size() <= decimals)
        digits.insert(0, decimals + 1 - digits.size(), '0');
    std::string out = Join({digits.substr(0, digits.size() - decimals), ".", digits.substr(digits.size() - decimals)});
    while (out.back() == '0')
        out.pop_back();
    if (out.back() == '.')
        out.pop_back();
    return out;
}

bool SafeSpelled(const std::string &text)
{
    return ReadsSafely(text, Split(text));
}

// The safe versions just below and just above `text`, with as many decimals.
std::string NearestSafe(const TParts &parts)
{
    const std::size_t decimals = parts.fraction.size();
    std::uint64_t units = std::strtoull(std::string(parts.whole).c_str(), nullptr, 10);
    for (std::size_t i = 0; i < decimals; ++i)
        units *= 10;
    units += parts.fraction.empty() ? 0 : std::strtoull(std::string(parts.fraction).c_str(), nullptr, 10);
    std::string below, above;
    for (std::uint64_t k = 1; k <= 1000 && below.empty() && k < units; ++k)
        if (SafeSpelled(Spelled(units - k, decimals)))
            below = Spelled(units - k, decimals);
    for (std::uint64_t k = 1; k <= 1000 && above.empty(); ++k)
        if (SafeSpelled(Spelled(units + k, decimals)))
            above = Spelled(units + k, decimals);
    if (below.empty() && above.empty())
        return "a version with fewer decimals";
    if (below.empty() || above.empty())
        return Quoted(below.empty() ? above : below);
    return Join({Quoted(below), " or ", Quoted(above)});
}

} // namespace

TVerdict Check(std::string_view text, bool allowZero)
{
    const std::size_t point = text.find('.');
    const TParts parts = Split(text);
    const std::string_view whole = parts.whole;
    const std::string_view fraction = parts.fraction;
    if (!AllDigits(whole) || (point != std::string_view::npos && !AllDigits(fraction)))
        return {false, Join({Quoted(text), " is not a number the update check can read: write digits, optionally a "
                                           "point and more digits, such as 2.5"})};
    if (whole.size() > 1 && whole.front() == '0')
        return {false, Join({Quoted(text), " has a leading zero; write the number without it"})};
    if (whole.size() > 8 || fraction.size() > 9)
        return {false, Join({Quoted(text), " has too many digits for the update check"})};
    if (fraction.size() > 1 && fraction.back() == '0') {
        std::string_view trimmed = fraction;
        while (trimmed.size() > 1 && trimmed.back() == '0')
            trimmed.remove_suffix(1);
        const std::string read = Join({whole, ".", trimmed});
        const std::string nine = Join({whole, ".9"});
        const std::string write = SafeSpelled(read) ? Quoted(read) : NearestSafe(Split(read));
        if (read == nine)
            return {false, Join({"the update check reads ", Quoted(text), " as the number ", read,
                                 ", so it would read the same as ", Quoted(nine), "; write ", write})};
        // Counting on past .9 ("2.9", "2.10") goes backwards for the check.
        const std::string ranking = trimmed == "1" ? Join({", which would rank below ", Quoted(nine)}) : "";
        return {false, Join({"the update check reads ", Quoted(text), " as the number ", read, ranking,
                             "; write the number without trailing zeros: ", write})};
    }
    if (!ReadsSafely(text, parts)) {
        const double exact = Value(text);
        const float held = static_cast<float>(exact);
        char heldText[64];
        std::snprintf(heldText, sizeof heldText, "%.9g", static_cast<double>(held));
        if (static_cast<double>(held) > exact)
            return {false, Join({"the update check holds an offered version as a 32-bit floating-point number, in "
                                 "which ", Quoted(text), " becomes ", heldText,
                                 ", above the program's own ", text,
                                 ", so a release of that version would be offered to itself at every start; the "
                                 "nearest safe versions are ", NearestSafe(parts)})};
        return {false, Join({"the update check holds an offered version as a 32-bit floating-point number, in which ",
                             Quoted(text), " is not exact (it becomes ", heldText,
                             ") and cannot be told from the versions beside it; the nearest safe versions are ",
                             NearestSafe(parts)})};
    }
    if (Value(text) == 0 && !allowZero)
        return {false, Join({"the update check reads ", Quoted(text), " as no version at all; use a number above 0"})};
    return {true, {}};
}

} // namespace ReleaseVersion
