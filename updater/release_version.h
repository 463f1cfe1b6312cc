#pragma once

#include <string>
#include <string_view>

// Which version texts a release may carry. The update check reads the offered
// version as a decimal number held in a 32-bit float and compares it with the
// running program's version, so a release is only safe to publish under a text
// that the check reads back as exactly that number: anything else would be
// offered again to the program it produced, or ranked against other releases
// differently from what its publisher meant.
namespace ReleaseVersion {

struct TVerdict
{
    bool ok = false;
    std::string reason; // why the text is refused; empty when it is accepted
};

// `allowZero` admits "0", which a minimum version uses to mean "any".
TVerdict Check(std::string_view text, bool allowZero = false);

// The value the text stands for; only meaningful for texts Check accepts.
double Value(std::string_view text);

} // namespace ReleaseVersion
