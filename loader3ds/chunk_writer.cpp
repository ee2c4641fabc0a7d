#include "loader3ds/chunk_writer.h"

#include <bit>
#include <cstdio>
#include <cstring>

#include "loader3ds/chunk_ids.h"
#include "platform/stdio_file.h"

static_assert(std::endian::native == std::endian::little,
              "3DS data are little-endian and are written in place");

void ChunkWriter::Begin(std::uint16_t id) {
    openChunks_.push_back(bytes_.size());
    Header(id, 0);
}

void ChunkWriter::End() {
    const std::size_t start = openChunks_.back();
    openChunks_.pop_back();
    const auto length = static_cast<std::uint32_t>(bytes_.size() - start);
    std::memcpy(&bytes_[start + sizeof(std::uint16_t)], &length, sizeof length);
}

void ChunkWriter::Header(std::uint16_t id, std::uint32_t length) {
    U16(id);
    U32(length);
}

void ChunkWriter::U8(std::uint8_t value) {
    bytes_.push_back(value);
}

void ChunkWriter::U16(std::uint16_t value) {
    Bytes(&value, sizeof value);
}

void ChunkWriter::U32(std::uint32_t value) {
    Bytes(&value, sizeof value);
}

void ChunkWriter::F32(float value) {
    Bytes(&value, sizeof value);
}

void ChunkWriter::String(const char* text) {
    Bytes(text, std::strlen(text) + 1);
}

void ChunkWriter::Bytes(const void* data, std::size_t size) {
    const auto* first = static_cast<const unsigned char*>(data);
    bytes_.insert(bytes_.end(), first, first + size);
}

bool ChunkWriter::Save(const char* path) const {
    platform::StdioFile file(std::fopen(path, "wb"));
    if (!file) {
        return false;
    }
    // An empty writer has no data pointer to hand fwrite.
    const bool written =
        bytes_.empty() || std::fwrite(bytes_.data(), 1, bytes_.size(), file.get()) == bytes_.size();
    return std::fclose(file.release()) == 0 && written;
}

namespace {

void WriteMaterial(ChunkWriter& out, const MeshMaterial& material) {
    out.Begin(kMaterial);
    out.Begin(kMaterialName);
    out.String(material.name);
    out.End();
    out.Begin(kDiffuseColour);
    for (ChunkId colourChunk : {kColour24, kGammaColour24}) {  // colour, gamma-corrected copy
        out.Begin(colourChunk);
        out.Bytes(material.colour, sizeof material.colour);
        out.End();
    }
    out.End();
    if (material.mapFileName[0] != '\0') {
        out.Begin(kTextureMap);
        out.Begin(kMapFileName);
        out.String(material.mapFileName);
        out.End();
        out.End();
    }
    out.End();
}

void WriteObject(ChunkWriter& out, const Model& model, const MeshObject& object) {
    out.Begin(kNamedObject);
    out.String(object.name);
    out.Begin(kTriangleMesh);
    out.Begin(kVertexList);
    out.U16(static_cast<std::uint16_t>(object.vertexCount));
    for (const Vec3& v : object.vertices) {  // y-up back to z-up
        out.F32(v.x);
        out.F32(-v.z);
        out.F32(v.y);
    }
    out.End();
    if (object.texCoordCount > 0) {
        out.Begin(kTexCoords);
        out.U16(static_cast<std::uint16_t>(object.texCoordCount));
        out.Bytes(object.texCoords.data(), object.texCoords.size() * sizeof(Vec2));
        out.End();
    }
    out.Begin(kFaceList);
    out.U16(static_cast<std::uint16_t>(object.faceCount));
    for (const Face& face : object.faces) {
        for (int index : face.vertexIndex) {
            out.U16(static_cast<std::uint16_t>(index));
        }
        out.U16(0);  // flags
    }
    if (object.materialId >= 0 && object.materialId < model.materialCount) {
        out.Begin(kFaceMaterialGroup);
        out.String(model.materials[object.materialId].name);
        out.U16(static_cast<std::uint16_t>(object.faceCount));
        for (int i = 0; i < object.faceCount; ++i) {
            out.U16(static_cast<std::uint16_t>(i));
        }
        out.End();
    }
    out.End();
    out.End();
    out.End();
}

}  // namespace

bool WriteModel(const Model& model, const char* path) {
    // The file's counts are 16-bit: a larger object cannot be written whole.
    for (const MeshObject& object : model.objects) {
        for (const int count : {object.vertexCount, object.faceCount, object.texCoordCount}) {
            if (count > UINT16_MAX) {
                return false;
            }
        }
    }
    ChunkWriter out;
    out.Begin(kMainChunk);
    out.Begin(kFileVersion);
    out.U32(3);
    out.End();
    out.Begin(kEditorData);
    out.Begin(kMeshVersion);
    out.U32(3);
    out.End();
    for (const MeshMaterial& material : model.materials) {
        WriteMaterial(out, material);
    }
    for (const MeshObject& object : model.objects) {
        WriteObject(out, model, object);
    }
    out.End();
    out.End();
    return out.Save(path);
}
