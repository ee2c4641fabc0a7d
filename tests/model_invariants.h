// The promises a loaded Model keeps whatever file it came from; the loader
// tests and the fuzz target check them after every import.
#pragma once

#include <cmath>
#include <string>

#include "loader3ds/model_loader.h"

// Empty when `model` keeps every invariant, else what it breaks.
inline std::string InvariantViolation(const Model& model) {
    if (model.objectCount != static_cast<int>(model.objects.size()) ||
        model.materialCount != static_cast<int>(model.materials.size())) {
        return "model counts differ from list lengths";
    }
    for (const MeshMaterial& material : model.materials) {
        if (material.name[kMeshNameSize - 1] != '\0' ||
            material.mapFileName[kMeshNameSize - 1] != '\0') {
            return "unterminated material name";
        }
    }
    for (const MeshObject& object : model.objects) {
        if (object.name[kMeshNameSize - 1] != '\0') {
            return "unterminated object name";
        }
        if (object.vertexCount != static_cast<int>(object.vertices.size()) ||
            object.vertexCount != static_cast<int>(object.normals.size()) ||
            object.faceCount != static_cast<int>(object.faces.size()) ||
            object.texCoordCount != static_cast<int>(object.texCoords.size())) {
            return "object counts differ from array lengths";
        }
        if (object.texCoordCount != 0 && object.texCoordCount < object.vertexCount) {
            return "fewer texture coordinates than vertices";
        }
        if (object.materialId < -1 ||
            (object.materialId > 0 && object.materialId >= model.materialCount)) {
            return "material id out of range";
        }
        for (const Face& face : object.faces) {
            for (int index : face.vertexIndex) {
                if (index < 0 || index >= object.vertexCount) {
                    return "face index out of range";
                }
            }
        }
        for (const Vec3& n : object.normals) {
            const double length =
                std::sqrt(double{n.x} * n.x + double{n.y} * n.y + double{n.z} * n.z);
            if (!(std::fabs(length - 1.0) < 1e-5)) {
                return "normal not of unit length";
            }
        }
    }
    return {};
}
