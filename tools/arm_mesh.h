// The schematic arm mesh the console draws: a gantry frame with a rail, the
// carriage riding on it with the shoulder housing below, and helper objects.
#pragma once

#include "console/arm_mesh_layout.h"
#include "loader3ds/model_loader.h"

// The mesh in scene units, y up, laid out as console/arm_mesh_layout.h says.
Model BuildArmModel();
