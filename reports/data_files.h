// The reports read their number files with the lab's strict reader: every
// line must hold the expected count of numbers, so a truncated or foreign
// file is named, not drawn.
#pragma once

#include <vector>

#include "runfiles/strict_reader.h"

namespace reports {

using runfiles::ReadRows;
using runfiles::ReadValues;
using runfiles::Rows;

// One column of `rows`, optionally scaled.
std::vector<double> Column(const Rows& rows, int index, double scale = 1.0);

}  // namespace reports
