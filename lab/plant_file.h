// The plant file: `virtual-lab.toml` in a lab directory, beside
// NeuralFiles/, holds plant parameters in TOML, grouped as PlantKeys()
// lists them (`[tool] mass_kg = 1.2`). Every key is optional; a missing one
// keeps its built-in value.
#pragma once

#include <string>

#include "lab/plant_parameters.h"

namespace lab {

inline constexpr const char* kPlantFileName = "virtual-lab.toml";

// Reads the plant file at `path` over the built-in plant. Returns an empty
// string and sets `parameters`, or returns one line naming what is wrong (a
// TOML syntax error, an unknown group or key, a value of the wrong type or
// outside its allowed range, with the key, the value and the range) and
// leaves `parameters` as it was.
std::string ReadPlantFile(const std::string& path, plant::Parameters& parameters);

// The parameters in the plant file's layout, every key of every group. With
// `commented` each key is preceded by its meaning, unit and allowed range,
// as in the template `lab-run plant --write` gives.
std::string FormatPlantFile(const plant::Parameters& parameters, bool commented);

// Reads `dir`/virtual-lab.toml, when there is one, and gives the lab that
// plant (else the built-in one). Returns an empty string, or the refusal
// line prefixed with the file's path; the lab's plant is then unchanged.
std::string LoadPlantFile(const std::string& dir);

}  // namespace lab
