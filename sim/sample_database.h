// A small, plausible record database for a Scanner that a person can try a host
// against by hand: port settings at 9600, version, data format, user preferences, a few
// limit records and three copper autotests.
#pragma once

#include "sim/scanner.h"

namespace kxsim {

void LoadSampleDatabase(Scanner& scanner);

}  // namespace kxsim
