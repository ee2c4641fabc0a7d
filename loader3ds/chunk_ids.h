// Ids of the 3DS chunks the reader acts on and the writer produces.
#pragma once

#include <cstdint>

enum ChunkId : std::uint16_t {
    kMainChunk = 0x4D4D,
    kFileVersion = 0x0002,
    kEditorData = 0x3D3D,
    kMeshVersion = 0x3D3E,
    kMaterial = 0xAFFF,
    kMaterialName = 0xA000,
    kDiffuseColour = 0xA020,
    kColourFloat = 0x0010,
    kColour24 = 0x0011,
    kGammaColour24 = 0x0012,
    kGammaColourFloat = 0x0013,
    kTextureMap = 0xA200,
    kMapFileName = 0xA300,
    kNamedObject = 0x4000,
    kTriangleMesh = 0x4100,
    kVertexList = 0x4110,
    kFaceList = 0x4120,
    kFaceMaterialGroup = 0x4130,
    kTexCoords = 0x4140,
    kKeyframerData = 0xB000,
};
