#pragma once
// The version rule tables, run by DeriveVersionText at fixed stages.
#include "identity/rules.h"

namespace rules {

const Table& VersionPhaseA1();            // only for a file with content; a non-empty result ends
const Table& VersionPhaseA2();            // before the fixed version is read
const Table& VersionPhaseB();             // after the fixed version
const Table& VersionZeroFixed();          // after phase B, for a fixed version of 0.0.0.0
const Table& VersionPhaseC();             // after the "0.0.0.0" rule
const Table& VersionPhaseD();             // after the version strings are read
const Table& VersionAfterAgree();         // after the ProductVersion/FileVersion agreement step
const Table& VersionBeforePlaceholders(); // before the 1.0.0.x placeholder steps
const Table& VersionPhaseE();             // after the generic steps

} // namespace rules
