#include "loader3ds/model_loader.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "loader3ds/chunk_ids.h"
#include "loader3ds/vertex_normals.h"
#include "platform/message_box.h"

static_assert(std::endian::native == std::endian::little,
              "3DS data are little-endian and are read in place");

namespace {

constexpr std::uint32_t kChunkHeaderSize = 6;
constexpr std::uint32_t kFileFaceSize = 4 * sizeof(std::uint16_t);  // a, b, c, flags
constexpr std::uint32_t kLastVersionReadWell = 3;
// Real files nest five levels deep; a limit keeps hostile files off the stack's end.
constexpr int kMaxNesting = 64;
constexpr std::size_t kMessageSize = 255;

std::uint32_t Remaining(const Chunk& chunk) {
    return chunk.length - chunk.consumed;
}

// A colour channel given as a real in 0..1, as a byte; out-of-range values
// are clamped and a NaN counts as 0.
unsigned char ColourByte(float channel) {
    const double scaled = double{channel} * 255.0;
    if (!(scaled > 0.0)) {
        return 0;
    }
    return static_cast<unsigned char>(std::lround(std::min(scaled, 255.0)));
}

}  // namespace

bool ModelLoader::ImportModel(Model& model, const char* path) {
    char text[kMessageSize];
    file_.reset(std::fopen(path, "rb"));
    if (!file_) {
        std::snprintf(text, sizeof text, "Unable to find the file: %s!", path);
        MessageBoxA(nullptr, text, "Error", MB_OK);
        return false;
    }
    fault_ = nullptr;
    nesting_ = 0;
    groups_.clear();
    texCoordsDropped_ = 0;
    firstDroppedObject_.clear();
    const Chunk wholeFile{0, UINT32_MAX, 0};
    Chunk main{};
    if (!ReadChunkHeader(main, wholeFile) || main.id != kMainChunk) {
        FinishImport();
        std::snprintf(text, sizeof text, "Unable to load PRIMARY chuck from file: %s!", path);
        MessageBoxA(nullptr, text, "Error", MB_OK);
        return false;
    }
    ReadEditorLevel(model, main);
    BindObjectMaterials(model);
    SmoothVertexNormals(model);
    FinishImport();
    if (fault_) {
        // The one report of a damaged file; it covers any texture
        // coordinates dropped on the way.
        std::snprintf(text, sizeof text,
                      "The file %s is damaged (%s); it was read up to the fault!", path, fault_);
        MessageBoxA(nullptr, text, "Error", MB_OK);
        return false;
    }
    ReportDroppedTexCoords(path);
    return true;
}

// Reads the sub-chunks of `parent` one after another until its bytes are
// used up or the file turns out damaged; `handle` gets each one's header
// and reads or skips its data. Whatever `handle` leaves of a chunk is read
// next as if it were a further sub-chunk of `parent`.
template <class Handler>
void ModelLoader::ForEachSubChunk(Chunk& parent, Handler handle) {
    if (!EnterLevel()) {
        return;
    }
    Chunk current{};
    while (!fault_ && parent.consumed < parent.length && ReadChunkHeader(current, parent)) {
        handle(current);
        parent.consumed += current.consumed;
    }
    --nesting_;
}

void ModelLoader::ReadEditorLevel(Model& model, Chunk& parent) {
    ForEachSubChunk(parent, [&](Chunk& current) {
        switch (current.id) {
            case kFileVersion: {
                std::uint32_t version = 0;
                if (Read(&version, sizeof version, current) && version > kLastVersionReadWell) {
                    MessageBoxA(nullptr,
                                "This 3DS file is over version 3 so it may load incorrectly",
                                "Warning", MB_OK);
                }
                Skip(current);
                break;
            }
            case kEditorData:
                // Usually the mesh version comes first; nothing needs it, so it
                // is skipped like every chunk not handled here. Files without
                // it start with a material or an object, which are read.
                ReadEditorLevel(model, current);
                break;
            case kMaterial:
                model.materials.push_back(MeshMaterial{});
                ++model.materialCount;
                ReadMaterialLevel(model, current);
                break;
            case kNamedObject: {
                model.objects.push_back(MeshObject{});
                ++model.objectCount;
                MeshObject& object = model.objects.back();
                ReadString(object.name, current);
                ReadObjectLevel(model, object, current);
                CheckObject(object);
                break;
            }
            default:
                Skip(current);
                break;
        }
    });
}

void ModelLoader::ReadMaterialLevel(Model& model, Chunk& parent) {
    MeshMaterial& material = model.materials.back();
    ForEachSubChunk(parent, [&](Chunk& current) {
        switch (current.id) {
            case kMaterialName:
                ReadRestAsName(material.name, current);
                break;
            case kDiffuseColour:
                // Only the first colour sub-chunk is read; the second (the
                // gamma-corrected copy) stays in the stream and is skipped here.
                ReadDiffuseColour(material, current);
                break;
            case kTextureMap:
                ReadMaterialLevel(model, current);
                break;
            case kMapFileName:
                ReadRestAsName(material.mapFileName, current);
                break;
            default:
                Skip(current);
                break;
        }
    });
}

void ModelLoader::ReadObjectLevel(Model& model, MeshObject& object, Chunk& parent) {
    ForEachSubChunk(parent, [&](Chunk& current) {
        switch (current.id) {
            case kTriangleMesh:
                ReadObjectLevel(model, object, current);
                break;
            case kVertexList:
                ReadVertexList(object, current);
                break;
            case kFaceList:
                // The face material groups that follow the faces inside this
                // chunk stay in the stream and are read at this level next.
                ReadFaceList(object, current);
                break;
            case kFaceMaterialGroup:
                ReadFaceMaterialGroup(model, object, current);
                break;
            case kTexCoords:
                ReadTexCoords(object, current);
                break;
            default:
                Skip(current);
                break;
        }
    });
}

bool ModelLoader::ReadChunkHeader(Chunk& chunk, const Chunk& parent) {
    if (Remaining(parent) < kChunkHeaderSize) {
        Fail("a chunk header runs past the end of its parent chunk");
        return false;
    }
    unsigned char header[kChunkHeaderSize];
    if (std::fread(header, 1, sizeof header, file_.get()) != sizeof header) {
        Fail("the file ends inside a chunk");
        return false;
    }
    std::memcpy(&chunk.id, header, sizeof chunk.id);
    std::memcpy(&chunk.length, header + sizeof chunk.id, sizeof chunk.length);
    chunk.consumed = kChunkHeaderSize;
    if (chunk.length < kChunkHeaderSize) {
        Fail("a chunk is shorter than its header");
        return false;
    }
    if (chunk.length > Remaining(parent)) {
        Fail("a chunk is longer than its parent chunk");
        return false;
    }
    return true;
}

std::uint32_t ModelLoader::ReadString(char (&buffer)[kMeshNameSize], Chunk& chunk) {
    const std::uint32_t start = chunk.consumed;
    for (int i = 0; i < kMeshNameSize; ++i) {
        if (!Read(&buffer[i], 1, chunk)) {
            buffer[i] = '\0';
            return chunk.consumed - start;
        }
        if (buffer[i] == '\0') {
            return chunk.consumed - start;
        }
    }
    buffer[kMeshNameSize - 1] = '\0';
    Fail("a name is longer than its field");
    return chunk.consumed - start;
}

void ModelLoader::ReadRestAsName(char (&buffer)[kMeshNameSize], Chunk& chunk) {
    std::memset(buffer, 0, sizeof buffer);
    const std::uint32_t size = std::min<std::uint32_t>(Remaining(chunk), kMeshNameSize);
    if (!Read(buffer, size, chunk)) {
        return;
    }
    const bool terminated = std::memchr(buffer, '\0', sizeof buffer) != nullptr;
    buffer[kMeshNameSize - 1] = '\0';  // the field ends in a zero whatever followed the name
    if (!terminated) {
        Fail("a name is longer than its field");
        return;
    }
    Skip(chunk);
}

void ModelLoader::ReadDiffuseColour(MeshMaterial& material, Chunk& parent) {
    Chunk colour{};
    if (!ReadChunkHeader(colour, parent)) {
        return;
    }
    if (colour.id == kColourFloat || colour.id == kGammaColourFloat) {
        float channels[3];
        if (!Read(channels, sizeof channels, colour)) {
            return;
        }
        for (int i = 0; i < 3; ++i) {
            material.colour[i] = ColourByte(channels[i]);
        }
    } else if (!Read(material.colour, sizeof material.colour, colour)) {
        // The 24-bit chunks and any unknown kind: the first three bytes.
        return;
    }
    Skip(colour);
    parent.consumed += colour.consumed;
}

void ModelLoader::ReadVertexList(MeshObject& object, Chunk& chunk) {
    std::uint16_t count = 0;
    if (!ReadCount(count, chunk)) {
        return;
    }
    const std::uint32_t kept = std::min<std::uint32_t>(count, Remaining(chunk) / sizeof(Vec3));
    object.vertices.assign(kept, Vec3{0.0f, 0.0f, 0.0f});
    object.vertexCount = static_cast<int>(kept);
    Read(object.vertices.data(), kept * sizeof(Vec3), chunk);
    // The file is z-up, the scene y-up.
    for (Vec3& vertex : object.vertices) {
        vertex = {vertex.x, vertex.z, -vertex.y};
    }
    if (kept < count) {
        Fail("a vertex list holds fewer vertices than its count");
    }
    Skip(chunk);
}

void ModelLoader::ReadFaceList(MeshObject& object, Chunk& chunk) {
    std::uint16_t count = 0;
    if (!ReadCount(count, chunk)) {
        return;
    }
    const std::uint32_t kept = std::min<std::uint32_t>(count, Remaining(chunk) / kFileFaceSize);
    std::vector<std::uint16_t> fileFaces(kept * 4, 0);
    Read(fileFaces.data(), kept * kFileFaceSize, chunk);
    object.faces.resize(kept);
    object.faceCount = static_cast<int>(kept);
    for (std::uint32_t i = 0; i < kept; ++i) {
        object.faces[i] = {{fileFaces[4 * i], fileFaces[4 * i + 1], fileFaces[4 * i + 2]}};
    }
    if (kept < count) {
        Fail("a face list holds fewer faces than its count");
    }
}

void ModelLoader::ReadTexCoords(MeshObject& object, Chunk& chunk) {
    std::uint16_t count = 0;
    if (!ReadCount(count, chunk)) {
        return;
    }
    const std::uint32_t kept = std::min<std::uint32_t>(count, Remaining(chunk) / sizeof(Vec2));
    object.texCoords.assign(kept, Vec2{0.0f, 0.0f});
    object.texCoordCount = static_cast<int>(kept);
    Read(object.texCoords.data(), kept * sizeof(Vec2), chunk);
    if (kept < count) {
        Fail("a texture-coordinate list holds fewer entries than its count");
    }
    Skip(chunk);
}

void ModelLoader::ReadFaceMaterialGroup(Model& model, MeshObject& object, Chunk& chunk) {
    char name[kMeshNameSize] = {};
    ReadString(name, chunk);
    std::uint16_t count = 0;
    if (fault_ || !ReadCount(count, chunk)) {
        return;
    }
    if (count > Remaining(chunk) / sizeof(std::uint16_t)) {
        Fail("a face material group holds fewer faces than its count");
        return;
    }
    std::vector<std::uint16_t> groupFaces(count);
    if (!Read(groupFaces.data(), count * sizeof(std::uint16_t), chunk)) {
        return;
    }
    if (std::any_of(groupFaces.begin(), groupFaces.end(),
                    [&](std::uint16_t face) { return face >= object.faceCount; })) {
        Fail("a face material group names a face beyond the face list");
        return;
    }
    groups_.push_back({static_cast<std::size_t>(&object - model.objects.data()), name});
    Skip(chunk);
}

// Binding waits for the end of the file, as a material may follow the
// objects that name it. Groups are bound in file order against the whole
// material list: when the materials come first, that is what binding each
// group as it is read would give.
void ModelLoader::BindObjectMaterials(Model& model) {
    for (const MaterialGroup& group : groups_) {
        BindObjectMaterial(model, model.objects[group.object], group.materialName.c_str());
    }
}

// The first material of that name binds; every other name before it sets -1,
// so no match gives -1 and a model without materials keeps the id.
void ModelLoader::BindObjectMaterial(Model& model, MeshObject& object, const char* materialName) {
    for (int i = 0; i < model.materialCount; ++i) {
        const MeshMaterial& material = model.materials[i];
        if (std::strcmp(materialName, material.name) == 0) {
            object.materialId = i;
            if (material.mapFileName[0] != '\0') {
                object.hasTexture = true;
            }
            break;
        }
        object.materialId = -1;
    }
}

void ModelLoader::CheckObject(MeshObject& object) {
    const auto beyondVertices =
        std::find_if(object.faces.begin(), object.faces.end(), [&](const Face& face) {
            return std::any_of(std::begin(face.vertexIndex), std::end(face.vertexIndex),
                               [&](int index) { return index >= object.vertexCount; });
        });
    if (beyondVertices != object.faces.end()) {
        object.faces.erase(beyondVertices, object.faces.end());
        object.faceCount = static_cast<int>(object.faces.size());
        Fail("a face names a vertex beyond the vertex list");
    }
    // The view looks texture coordinates up by vertex index: an object short
    // of them keeps its geometry and material and is drawn without them.
    if (object.texCoordCount > 0 && object.texCoordCount < object.vertexCount) {
        object.texCoords.clear();
        object.texCoordCount = 0;
        if (texCoordsDropped_++ == 0) {
            firstDroppedObject_ = object.name;
        }
    }
}

void ModelLoader::ReportDroppedTexCoords(const char* path) {
    if (texCoordsDropped_ == 0) {
        return;
    }
    char text[kMessageSize];
    std::snprintf(text, sizeof text,
                  "The file %s has %d object(s) with fewer texture coordinates than vertices "
                  "(first: %s); they were loaded without them!",
                  path, texCoordsDropped_, firstDroppedObject_.c_str());
    MessageBoxA(nullptr, text, "Warning", MB_OK);
}

void ModelLoader::SmoothVertexNormals(Model& model) {
    for (MeshObject& object : model.objects) {
        object.normals = SmoothNormals(object.vertices, object.faces);
    }
}

void ModelLoader::FinishImport() {
    file_.reset();
}

bool ModelLoader::Read(void* buffer, std::uint32_t size, Chunk& chunk) {
    if (size > Remaining(chunk)) {
        Fail("data run past the end of their chunk");
        return false;
    }
    const std::size_t got = std::fread(buffer, 1, size, file_.get());
    chunk.consumed += static_cast<std::uint32_t>(got);
    if (got != size) {
        Fail("the file ends inside a chunk");
        return false;
    }
    return true;
}

bool ModelLoader::ReadCount(std::uint16_t& count, Chunk& chunk) {
    return Read(&count, sizeof count, chunk);
}

void ModelLoader::Skip(Chunk& chunk) {
    char scratch[4096];
    while (!fault_ && chunk.consumed < chunk.length) {
        Read(scratch, std::min<std::uint32_t>(Remaining(chunk), sizeof scratch), chunk);
    }
}

bool ModelLoader::EnterLevel() {
    if (nesting_ >= kMaxNesting) {
        Fail("chunks are nested too deeply");
        return false;
    }
    ++nesting_;
    return true;
}

void ModelLoader::Fail(const char* reason) {
    if (!fault_) {
        fault_ = reason;
    }
}
