#include "version/version.h"

#include "version_commit.h"

namespace version {

std::string_view Text() {
    return "tendon-lab " TENDON_RELEASE " (commit " TENDON_COMMIT ")";
}

}  // namespace version
