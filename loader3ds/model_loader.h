// Reader of 3DS chunk files into an in-memory mesh for the 3D view: named
// objects with vertices, triangles, texture coordinates and a material, and
// materials with name, map file name and 24-bit diffuse colour. Vertices are
// turned from the file's z-up frame to the scene's y-up frame, and every
// vertex gets a smoothed unit normal.
//
// The loader never trusts the file: a truncated or inconsistent file stops
// the reading at the first fault, the model keeps what was read up to it (in
// a consistent state, see the invariants below), the fault is reported once
// through MessageBoxA and ImportModel returns false.
//
// Layouts that other programs write are read whole: an editor chunk need not
// start with the mesh version, diffuse colours may be float triples, and a
// material may follow the objects that name it (objects are bound to their
// materials once the whole file is read). An object with fewer texture
// coordinates than vertices loads without them, with one warning per file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/stdio_file.h"

struct Vec3 {
    float x, y, z;
};
struct Vec2 {
    float u, v;
};
static_assert(sizeof(Vec3) == 12 && sizeof(Vec2) == 8, "vertex records match the file layout");

// One triangle: indices into its object's vertices (and normals and texture
// coordinates), in file order.
struct Face {
    int vertexIndex[3];
};

constexpr int kMeshNameSize = 255;  // name fields, terminating zero included

struct MeshMaterial {
    char name[kMeshNameSize];
    char mapFileName[kMeshNameSize];  // empty when the material has no texture map
    unsigned char colour[3];          // diffuse red, green, blue
};

// Invariants after every ImportModel, whatever the file held:
// - each count equals the length of its array;
// - normals has one unit-length, finite entry per vertex;
// - every face index lies in [0, vertexCount);
// - texCoords is empty or holds at least vertexCount entries;
// - materialId is -1 (group names no known material), 0 (no group) or an
//   index into Model::materials.
struct MeshObject {
    int vertexCount;
    int faceCount;
    int texCoordCount;
    int materialId;
    bool hasTexture;  // bound material has a map file name
    char name[kMeshNameSize];
    std::vector<Vec3> vertices;
    std::vector<Vec3> normals;
    std::vector<Vec2> texCoords;
    std::vector<Face> faces;
};

// Objects and materials in file order; objectCount and materialCount always
// equal the list lengths.
struct Model {
    int objectCount = 0;
    int materialCount = 0;
    std::vector<MeshMaterial> materials;
    std::vector<MeshObject> objects;
};

// Header of a chunk and the bytes of it read so far (header included).
struct Chunk {
    std::uint16_t id;
    std::uint32_t length;
    std::uint32_t consumed;
};

class ModelLoader {
  public:
    // Appends the objects and materials of the file at `path` to `model`.
    // Returns true when the whole file was read; false when it could not be
    // opened, does not start with the main chunk, or is damaged (the model
    // then holds what was read before the fault).
    bool ImportModel(Model& model, const char* path);

  private:
    template <class Handler>
    void ForEachSubChunk(Chunk& parent, Handler handle);
    void ReadEditorLevel(Model& model, Chunk& parent);
    void ReadObjectLevel(Model& model, MeshObject& object, Chunk& parent);
    void ReadMaterialLevel(Model& model, Chunk& parent);
    bool ReadChunkHeader(Chunk& chunk, const Chunk& parent);
    std::uint32_t ReadString(char (&buffer)[kMeshNameSize], Chunk& chunk);
    void ReadRestAsName(char (&buffer)[kMeshNameSize], Chunk& chunk);
    void ReadDiffuseColour(MeshMaterial& material, Chunk& parent);
    void ReadVertexList(MeshObject& object, Chunk& chunk);
    void ReadFaceList(MeshObject& object, Chunk& chunk);
    void ReadTexCoords(MeshObject& object, Chunk& chunk);
    void ReadFaceMaterialGroup(Model& model, MeshObject& object, Chunk& chunk);
    void BindObjectMaterials(Model& model);
    void BindObjectMaterial(Model& model, MeshObject& object, const char* materialName);
    void CheckObject(MeshObject& object);
    void ReportDroppedTexCoords(const char* path);
    void SmoothVertexNormals(Model& model);
    void FinishImport();

    bool Read(void* buffer, std::uint32_t size, Chunk& chunk);
    bool ReadCount(std::uint16_t& count, Chunk& chunk);
    void Skip(Chunk& chunk);
    bool EnterLevel();
    void Fail(const char* reason);

    // A face material group of the current import: its object (an index
    // into Model::objects) and the material name it gives.
    struct MaterialGroup {
        std::size_t object;
        std::string materialName;
    };

    platform::StdioFile file_;
    const char* fault_ = nullptr;        // first fault of the current import
    int nesting_ = 0;                    // chunk levels currently open
    std::vector<MaterialGroup> groups_;  // bound once the whole file is read
    int texCoordsDropped_ = 0;           // objects loaded without their texture coordinates
    std::string firstDroppedObject_;     // the first of them, for the warning
};
