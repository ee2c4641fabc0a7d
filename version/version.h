// The version every program reports and the lab notebook records: the
// project's release and the git commit the program was built from.
#pragma once

#include <string_view>

namespace version {

// "tendon-lab 1.0.0 (commit 1a2b3c4)"; the commit reads "unknown" when the
// program was built outside a git tree.
std::string_view Text();

}  // namespace version
