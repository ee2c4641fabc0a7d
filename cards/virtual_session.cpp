// The session of the virtual lab: its plant file and the arm it keeps.
#include "cards/card_session.h"
#include "lab/lab.h"
#include "lab/plant_file.h"

namespace cards {

std::string BeginSession(const std::string& dir) {
    std::string said;
    if (const std::string refusal = lab::LoadPlantFile(dir); !refusal.empty()) {
        said += refusal + "\nThe virtual lab keeps its built-in plant.\n";
    }
    if (const std::string refusal = lab::RestoreArm(dir); !refusal.empty()) {
        said += refusal + "\nThe virtual arm starts at rest.\n";
    }
    return said;
}

std::string EndSession(const std::string& dir) {
    return lab::SaveArm(dir);
}

}  // namespace cards
