// Run when the build is configured: refuses a version the update check would
// misread, with the reason.
#include "updater/release_version.h"

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    const ReleaseVersion::TVerdict verdict = ReleaseVersion::Check(argv[1]);
    if (!verdict.ok) {
        std::printf("%s", verdict.reason.c_str());
        return 1;
    }
    return 0;
}
