#pragma once

#include <string>
#include <string_view>

// Which version texts a release may carry. The update check reads the offered
// version as a decimal number held in a 32-bit float and compares it with the
// running program's own version read at full precision. A text whose float
// reading lies above its own value (2.2) would be offered to the very program
// it produced, at every start; one whose reading lies at or below it (2.1,
// 2.3, 2.5) is safe, as long as the versions beside it, with as many
// decimals, still read as different floats. Trailing zeros are refused as
// well: "2.10" is the number 2.1 and would rank below "2.9". The one rule
// for configuring a build and for tarnwick-release.
namespace ReleaseVersion {

struct TVerdict
{
    bool ok = false;
    std::string reason; // why the text is refused, naming the nearest safe versions; empty when accepted
};

// `allowZero` admits "0", which a minimum version uses to mean "any".
TVerdict Check(std::string_view text, bool allowZero = false);

// The value the text stands for; only meaningful for texts Check accepts.
double Value(std::string_view text);

} // namespace ReleaseVersion
