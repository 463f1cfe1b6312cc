#include "release_version.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>

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

TVerdict Check(std::string_view text, bool allowZero)
{
    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
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
        return {false, Join({"the update check reads ", Quoted(text), " as the number ", read, ", so it would ",
                             read == nine ? "read the same as " : "rank below ", Quoted(nine),
                             "; write the number you mean without trailing zeros"})};
    }

    // Exact in a 32-bit float: the fraction must be a whole number of
    // 2^-k (k = its decimal digits), and the whole value must fit the 24 bits
    // of the float's significand.
    const std::uint64_t integral = std::strtoull(std::string(whole).c_str(), nullptr, 10);
    std::uint64_t digits = fraction.empty() ? 0 : std::strtoull(std::string(fraction).c_str(), nullptr, 10);
    std::uint64_t fives = 1;
    for (std::size_t i = 0; i < fraction.size(); ++i)
        fives *= 5;
    bool exact = digits % fives == 0;
    if (exact) {
        std::uint64_t significand = (integral << fraction.size()) + digits / fives;
        while (significand != 0 && significand % 2 == 0)
            significand /= 2;
        exact = significand < (std::uint64_t(1) << 24);
    }
    if (!exact) {
        char held[64];
        std::snprintf(held, sizeof held, "%.9g", double(std::strtof(std::string(text).c_str(), nullptr)));
        return {false, Join({"the update check holds an offered version as a 32-bit floating-point number, in which ",
                             Quoted(text), " is not exact (it becomes ", held,
                             "), so the check would compare other numbers than the ones written and could offer a release to "
                             "itself; use a version "
                             "whose fraction is made of halves, quarters, eighths and so on, such as ",
                             whole, ".25 or ", whole, ".5"})};
    }
    if (integral == 0 && digits == 0 && !allowZero)
        return {false, Join({"the update check reads ", Quoted(text), " as no version at all; use a number above 0"})};
    return {true, {}};
}

} // namespace ReleaseVersion
