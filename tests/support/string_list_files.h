#pragma once

#include "util/string_list.h"

// Lines written the way the program writes any file it owns; the suites use
// it to reach the atomic writer with text that reads easily.
inline void SaveStringList(const QString &path, const TStringList &lines)
{
    SaveBytesAtomic(path, JoinLines(lines));
}
