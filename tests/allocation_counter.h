// Counts the program's allocations through operator new (linked into a test
// binary, it replaces the global operator new).
#pragma once

namespace labtest {
long AllocationCount();
}
