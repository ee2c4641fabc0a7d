#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "loader3ds/chunk_ids.h"
#include "loader3ds/chunk_writer.h"
#include "loader3ds/model_loader.h"
#include "loader3ds/vertex_normals.h"
#include "tests/model_invariants.h"

namespace {

using Body = std::function<void(ChunkWriter&)>;

struct Import {
    Model model;
    bool loaded = false;
    std::string messages;  // what the message boxes showed
};

Import Load(const std::string& path) {
    Import result;
    testing::internal::CaptureStderr();
    result.loaded = ModelLoader().ImportModel(result.model, path.c_str());
    result.messages = testing::internal::GetCapturedStderr();
    EXPECT_EQ(InvariantViolation(result.model), "") << path;
    return result;
}

// The files stay in the scratch directory: scripts/fuzz.sh takes them as seeds.
Import LoadBytes(const ChunkWriter& file, const std::string& name) {
    const std::string path = name + ".3ds";
    EXPECT_TRUE(file.Save(path.c_str()));
    return Load(path);
}

int CountOf(const std::string& text, const std::string& part) {
    int count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

bool SameVec(const Vec3& a, const Vec3& b) {
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

// An editor chunk holding only `body` (no mesh version), inside the main chunk.
ChunkWriter BareEditorFile(const Body& body) {
    ChunkWriter out;
    out.Begin(kMainChunk);
    out.Begin(kEditorData);
    body(out);
    out.End();
    out.End();
    return out;
}

// A version chunk and an editor chunk holding `body`, inside the main chunk.
ChunkWriter EditorFile(const Body& body, std::uint32_t version = 3) {
    ChunkWriter out;
    out.Begin(kMainChunk);
    out.Begin(kFileVersion);
    out.U32(version);
    out.End();
    out.Begin(kEditorData);
    out.Begin(kMeshVersion);
    out.U32(3);
    out.End();
    body(out);
    out.End();
    out.End();
    return out;
}

void Object(ChunkWriter& out, const char* name, const Body& mesh) {
    out.Begin(kNamedObject);
    out.String(name);
    out.Begin(kTriangleMesh);
    mesh(out);
    out.End();
    out.End();
}

void VertexList(ChunkWriter& out, const std::vector<Vec3>& fileVertices) {
    out.Begin(kVertexList);
    out.U16(static_cast<std::uint16_t>(fileVertices.size()));
    for (const Vec3& v : fileVertices) {
        out.F32(v.x);
        out.F32(v.y);
        out.F32(v.z);
    }
    out.End();
}

// A face material group naming `material` for faces 0 to faceCount - 1.
void Group(ChunkWriter& out, const char* material, std::size_t faceCount) {
    out.Begin(kFaceMaterialGroup);
    out.String(material);
    out.U16(static_cast<std::uint16_t>(faceCount));
    for (std::size_t i = 0; i < faceCount; ++i) {
        out.U16(static_cast<std::uint16_t>(i));
    }
    out.End();
}

// Faces, then (inside the face-list chunk) a group naming `material` for all of them.
void FaceList(ChunkWriter& out, const std::vector<Face>& faces, const char* material = nullptr) {
    out.Begin(kFaceList);
    out.U16(static_cast<std::uint16_t>(faces.size()));
    for (const Face& face : faces) {
        for (int index : face.vertexIndex) {
            out.U16(static_cast<std::uint16_t>(index));
        }
        out.U16(7);
    }
    if (material) {
        Group(out, material, faces.size());
    }
    out.End();
}

// A list chunk whose count need not match the values that follow it.
void CountedList(ChunkWriter& out, ChunkId id, std::uint16_t count,
                 const std::vector<float>& values) {
    out.Begin(id);
    out.U16(count);
    for (float value : values) {
        out.F32(value);
    }
    out.End();
}

void Material(ChunkWriter& out, const char* name, std::uint8_t red, const char* map = nullptr) {
    out.Begin(kMaterial);
    out.Begin(kMaterialName);
    out.String(name);
    out.End();
    out.Begin(kDiffuseColour);
    out.Begin(kColour24);
    const std::uint8_t colour[3] = {red, 20, 30};
    out.Bytes(colour, sizeof colour);
    out.End();
    out.End();
    if (map) {
        out.Begin(kTextureMap);
        out.Begin(kMapFileName);
        out.String(map);
        out.End();
        out.End();
    }
    out.End();
}

void Triangle(ChunkWriter& out, const char* material = nullptr) {
    VertexList(out, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    FaceList(out, {{{0, 1, 2}}}, material);
}

// ---- real files made by others

std::filesystem::path SamplesDir() {
    const std::filesystem::path source =
        std::getenv("SOURCE_DIR") ? std::getenv("SOURCE_DIR") : ".";
    // Beside the clone on CI; two levels up from a developer's worktree.
    for (const auto& dir :
         {source / "../shared/3ds-samples", source / "../../shared/3ds-samples"}) {
        if (std::filesystem::is_directory(dir)) {
            return dir;
        }
    }
    ADD_FAILURE() << "no 3ds-samples directory beside " << source;
    return {};
}

TEST(RealFiles, LoadWithTheirCounts) {
    struct Expected {
        const char* file;
        int objects, meshObjects, vertices, faces, materials;
    };
    const Expected expected[] = {
        {"CameraRollAnim.3ds", 2, 1, 26, 12, 0},
        {"CameraRollAnimWithChildObject.3ds", 3, 2, 52, 24, 0},
        {"cube_with_diffuse_texture.3DS", 1, 1, 32, 12, 1},
        {"cubes_with_alpha.3DS", 5, 5, 130, 60, 5},
        {"test1.3ds", 9, 9, 288, 108, 3},
        {"fels.3ds", 1, 1, 386, 768, 1},
        {"testFormatDetection.3ds", 1, 1, 762, 1368, 4},
        {"room.3ds", 4, 4, 116, 156, 1},
    };
    for (const Expected& e : expected) {
        const Import in = Load(SamplesDir() / e.file);
        EXPECT_TRUE(in.loaded) << e.file;
        EXPECT_EQ(in.messages, "") << e.file;
        int meshObjects = 0, vertices = 0, faces = 0;
        for (const MeshObject& object : in.model.objects) {
            meshObjects += object.faceCount > 0 ? 1 : 0;
            vertices += object.vertexCount;
            faces += object.faceCount;
        }
        EXPECT_EQ(in.model.objectCount, e.objects) << e.file;
        EXPECT_EQ(meshObjects, e.meshObjects) << e.file;
        EXPECT_EQ(vertices, e.vertices) << e.file;
        EXPECT_EQ(faces, e.faces) << e.file;
        EXPECT_EQ(in.model.materialCount, e.materials) << e.file;
    }
    for (const char* file :
         {"RotatingCube.3DS", "TargetCameraAnim.3ds", "cube_with_specular_texture.3DS",
          "UVTransform_Normal.3DS", "UVTransform_OffsetU0.56V0.5_ScaleU10V2_Rotate45.3DS"}) {
        const Import in = Load(SamplesDir() / file);
        EXPECT_TRUE(in.loaded) << file;
        EXPECT_EQ(in.messages, "") << file;
    }
}

TEST(RealFiles, MaterialsAndUnusedVertices) {
    const Import textured = Load(SamplesDir() / "cube_with_diffuse_texture.3DS");
    EXPECT_STREQ(textured.model.materials[0].mapFileName, "TEST.PNG");
    EXPECT_TRUE(textured.model.objects[0].hasTexture);
    // Only a specular map: not a texture for the view.
    EXPECT_FALSE(Load(SamplesDir() / "cube_with_specular_texture.3DS").model.objects[0].hasTexture);
    // Four groups in one object: the last one binds.
    EXPECT_EQ(Load(SamplesDir() / "testFormatDetection.3ds").model.objects[0].materialId, 3);

    const Import room = Load(SamplesDir() / "room.3ds");
    int unused = 0;
    for (const MeshObject& object : room.model.objects) {
        std::vector<bool> used(object.vertexCount, false);
        for (const Face& face : object.faces) {
            for (int index : face.vertexIndex) {
                used[index] = true;
            }
        }
        for (int i = 0; i < object.vertexCount; ++i) {
            if (!used[i]) {
                ++unused;
                EXPECT_TRUE(SameVec(object.normals[i], kDefaultNormal));
            }
        }
    }
    EXPECT_EQ(unused, 6);
}

TEST(RealFiles, EmptyAndMissingFilesAreRefused) {
    Import empty = Load(SamplesDir() / "empty.3ds");
    EXPECT_FALSE(empty.loaded);
    EXPECT_NE(empty.messages.find("[Error] Unable to load PRIMARY chuck from file: "),
              std::string::npos);
    EXPECT_EQ(empty.model.objectCount, 0);

    const Import missing = Load("no-such-file.3ds");
    EXPECT_FALSE(missing.loaded);
    EXPECT_EQ(missing.messages, "[Error] Unable to find the file: no-such-file.3ds!\n");

    ChunkWriter notMain;
    notMain.Begin(kEditorData);
    notMain.End();
    const Import wrong = LoadBytes(notMain, "not_main");
    EXPECT_FALSE(wrong.loaded);
    EXPECT_EQ(wrong.messages, "[Error] Unable to load PRIMARY chuck from file: not_main.3ds!\n");
}

// ---- files built byte by byte

TEST(BuiltFiles, SingleTriangleTurnsUpAndGetsUpwardNormals) {
    const Import in = LoadBytes(EditorFile([](ChunkWriter& out) {
                                    Object(out, "Tri", [](ChunkWriter& o) { Triangle(o); });
                                }),
                                "triangle");
    ASSERT_TRUE(in.loaded);
    EXPECT_EQ(in.messages, "");
    ASSERT_EQ(in.model.objectCount, 1);
    const MeshObject& tri = in.model.objects[0];
    EXPECT_STREQ(tri.name, "Tri");
    const Vec3 turned[3] = {{0, 0, 0}, {1, 0, 0}, {0, 0, -1}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(SameVec(tri.vertices[i], turned[i])) << i;
        EXPECT_TRUE(SameVec(tri.normals[i], Vec3{0, 1, 0})) << i;
    }
    EXPECT_EQ(tri.faces[0].vertexIndex[2], 2);
    EXPECT_EQ(tri.materialId, 0);
    EXPECT_EQ(tri.texCoordCount, 0);

    const Import point =
        LoadBytes(EditorFile([](ChunkWriter& out) {
                      Object(out, "P", [](ChunkWriter& o) { VertexList(o, {{1, 2, 3}}); });
                  }),
                  "point");
    EXPECT_TRUE(SameVec(point.model.objects[0].vertices[0], Vec3{1, 3, -2}));
}

// Version 3 gives no message: every other built file is version 3.
TEST(BuiltFiles, VersionAboveThreeWarnsAndLoads) {
    const Body tri = [](ChunkWriter& out) {
        Object(out, "Tri", [](ChunkWriter& o) { Triangle(o); });
    };
    const Import v4 = LoadBytes(EditorFile(tri, 4), "version4");
    EXPECT_TRUE(v4.loaded);
    EXPECT_EQ(v4.messages,
              "[Warning] This 3DS file is over version 3 so it may load incorrectly\n");
    EXPECT_EQ(v4.model.objects[0].faceCount, 1);
}

TEST(BuiltFiles, MaterialsBindInFileOrder) {
    const Import in =
        LoadBytes(EditorFile([](ChunkWriter& out) {
                      Material(out, "Plain", 10);
                      Material(out, "Wood", 11, "WOOD.BMP");
                      Object(out, "First", [](ChunkWriter& o) { Triangle(o, "Wood"); });
                      Object(out, "Second", [](ChunkWriter& o) { Triangle(o, "Plain"); });
                      Object(out, "Lost", [](ChunkWriter& o) { Triangle(o, "Steel"); });
                      Object(out, "Bare", [](ChunkWriter& o) { Triangle(o); });
                  }),
                  "materials");
    ASSERT_TRUE(in.loaded);
    ASSERT_EQ(in.model.materialCount, 2);
    EXPECT_STREQ(in.model.materials[0].name, "Plain");
    EXPECT_STREQ(in.model.materials[0].mapFileName, "");
    EXPECT_EQ(in.model.materials[0].colour[0], 10);
    EXPECT_EQ(in.model.materials[0].colour[2], 30);
    EXPECT_STREQ(in.model.materials[1].mapFileName, "WOOD.BMP");
    ASSERT_EQ(in.model.objectCount, 4);
    const char* names[] = {"First", "Second", "Lost", "Bare"};
    const int ids[] = {1, 0, -1, 0};
    const bool textured[] = {true, false, false, false};
    for (int i = 0; i < 4; ++i) {
        EXPECT_STREQ(in.model.objects[i].name, names[i]);
        EXPECT_EQ(in.model.objects[i].materialId, ids[i]) << names[i];
        EXPECT_EQ(in.model.objects[i].hasTexture, textured[i]) << names[i];
        EXPECT_EQ(in.model.objects[i].faceCount, 1) << names[i];
    }

    // Without materials a group leaves the id as it was.
    const Import none =
        LoadBytes(EditorFile([](ChunkWriter& out) {
                      Object(out, "Lone", [](ChunkWriter& o) { Triangle(o, "Steel"); });
                  }),
                  "group_without_materials");
    EXPECT_EQ(none.model.objects[0].materialId, 0);
}

TEST(BuiltFiles, SecondColourSubChunkIsSkipped) {
    const Import in = LoadBytes(EditorFile([](ChunkWriter& out) {
                                    out.Begin(kMaterial);
                                    out.Begin(kDiffuseColour);
                                    for (std::uint8_t first : {1, 100}) {
                                        out.Begin(first == 1 ? kColour24 : kGammaColour24);
                                        out.U8(first);
                                        out.U8(2);
                                        out.U8(3);
                                        out.End();
                                    }
                                    out.End();
                                    out.Begin(kMaterialName);  // after the colour: still read
                                    out.String("Late");
                                    out.End();
                                    out.End();
                                }),
                                "two_colours");
    ASSERT_TRUE(in.loaded);
    const MeshMaterial& material = in.model.materials[0];
    EXPECT_STREQ(material.name, "Late");
    EXPECT_EQ(material.colour[0], 1);
    EXPECT_EQ(material.colour[1], 2);
    EXPECT_EQ(material.colour[2], 3);
}

TEST(BuiltFiles, NameFollowedByPaddingFillsItsField) {
    const Import in = LoadBytes(EditorFile([](ChunkWriter& out) {
                                    out.Begin(kMaterial);
                                    out.Begin(kMaterialName);
                                    out.String("abc");
                                    const std::string padding(kMeshNameSize - 4, 'x');
                                    out.Bytes(padding.data(), padding.size());
                                    out.End();
                                    out.End();
                                }),
                                "padded_name");
    EXPECT_TRUE(in.loaded);
    EXPECT_STREQ(in.model.materials[0].name, "abc");
}

TEST(BuiltFiles, ZeroAreaFacesAndUnusedVerticesGetTheDefaultNormal) {
    const float nan = std::nanf("");
    const Import in =
        LoadBytes(EditorFile([nan](ChunkWriter& out) {
                      Object(out, "Flat", [nan](ChunkWriter& o) {
                          VertexList(o, {{0, 0, 0},
                                         {1, 1, 1},
                                         {2, 2, 2},
                                         {5, 5, 5},
                                         {nan, 0, 0},
                                         {1e30f, 0, 0},
                                         {0, 1e30f, 0}});
                          FaceList(o, {{{0, 1, 2}}, {{0, 0, 1}}, {{4, 1, 2}}, {{5, 6, 0}}});
                      });
                  }),
                  "degenerate");
    ASSERT_TRUE(in.loaded);
    EXPECT_EQ(in.messages, "");
    for (const Vec3& normal : in.model.objects[0].normals) {
        EXPECT_TRUE(SameVec(normal, kDefaultNormal));
    }
}

TEST(BuiltFiles, WrittenModelReadsBack) {
    Model model;
    model.materials.push_back(MeshMaterial{"Red", "", {200, 10, 10}});
    model.materials.push_back(MeshMaterial{"Skin", "SKIN.PNG", {1, 2, 3}});
    model.materialCount = 2;
    MeshObject object{};
    std::strcpy(object.name, "Quad");
    object.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1.5f, -2}};
    object.texCoords = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    object.faces = {{{0, 1, 2}}, {{0, 2, 3}}};
    object.vertexCount = 4;
    object.texCoordCount = 4;
    object.faceCount = 2;
    object.materialId = 1;
    model.objects.push_back(object);
    model.objectCount = 1;
    ASSERT_TRUE(WriteModel(model, "written.3ds"));

    const Import in = Load("written.3ds");
    ASSERT_TRUE(in.loaded);
    EXPECT_EQ(in.messages, "");
    const MeshObject& read = in.model.objects[0];
    EXPECT_STREQ(read.name, "Quad");
    EXPECT_EQ(read.materialId, 1);
    EXPECT_TRUE(read.hasTexture);
    EXPECT_STREQ(in.model.materials[1].mapFileName, "SKIN.PNG");
    EXPECT_EQ(in.model.materials[0].colour[0], 200);
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(SameVec(read.vertices[i], object.vertices[i])) << i;
        EXPECT_EQ(read.texCoords[i].u, object.texCoords[i].u) << i;
    }
    EXPECT_EQ(read.faces[1].vertexIndex[2], 3);

    // Counts are 16-bit in the file: a larger object is refused, not cut short.
    model.objects[0].vertices.resize(65536);
    model.objects[0].vertexCount = 65536;
    EXPECT_FALSE(WriteModel(model, "too_many_vertices.3ds"));
}

// ---- layouts other programs write

TEST(OtherLayouts, EditorChunkWithoutMeshVersionKeepsItsFirstChunk) {
    const Import objectFirst =
        LoadBytes(BareEditorFile([](ChunkWriter& out) {
                      Object(out, "Tri", [](ChunkWriter& o) { Triangle(o); });
                      Object(out, "Next", [](ChunkWriter& o) { Triangle(o); });
                  }),
                  "editor_starts_with_object");
    ASSERT_TRUE(objectFirst.loaded);
    EXPECT_EQ(objectFirst.messages, "");
    ASSERT_EQ(objectFirst.model.objectCount, 2);
    EXPECT_STREQ(objectFirst.model.objects[0].name, "Tri");
    EXPECT_EQ(objectFirst.model.objects[0].faceCount, 1);

    const Import materialFirst =
        LoadBytes(BareEditorFile([](ChunkWriter& out) {
                      Material(out, "Plain", 10);
                      Material(out, "Wood", 11);
                      Object(out, "Box", [](ChunkWriter& o) { Triangle(o, "Wood"); });
                  }),
                  "editor_starts_with_material");
    ASSERT_TRUE(materialFirst.loaded);
    ASSERT_EQ(materialFirst.model.materialCount, 2);
    EXPECT_STREQ(materialFirst.model.materials[0].name, "Plain");
    EXPECT_EQ(materialFirst.model.materials[0].colour[0], 10);
    EXPECT_EQ(materialFirst.model.objects[0].materialId, 1);
}

TEST(OtherLayouts, FloatColoursBecomeRoundedClampedBytes) {
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        const char* name;
        std::uint16_t kind;  // the colour sub-chunk's id
        std::vector<float> channels;
        std::vector<std::uint8_t> bytes;  // data of a 24-bit or unknown sub-chunk
        unsigned char expected[3];
    };
    const Case cases[] = {
        {"Float", kColourFloat, {0.2f, 0.4f, 0.6f}, {}, {51, 102, 153}},
        {"GammaFloat", kGammaColourFloat, {0.2f, 0.4f, 0.6f}, {}, {51, 102, 153}},
        {"Rounded", kColourFloat, {0.003f, 0.9999f, 0.5f}, {}, {1, 255, 128}},
        {"Clamped", kColourFloat, {-0.5f, 1.5f, std::nanf("")}, {}, {0, 255, 0}},
        {"Infinite", kColourFloat, {inf, -inf, 1.0f}, {}, {255, 0, 255}},
        {"Bytes", kColour24, {}, {7, 8, 9}, {7, 8, 9}},
        {"GammaBytes", kGammaColour24, {}, {4, 5, 6}, {4, 5, 6}},
        {"Unknown", 0x0099, {}, {1, 2, 3, 4, 5, 6}, {1, 2, 3}},
    };
    const Import in = LoadBytes(EditorFile([&](ChunkWriter& out) {
                                    for (const Case& c : cases) {
                                        out.Begin(kMaterial);
                                        out.Begin(kMaterialName);
                                        out.String(c.name);
                                        out.End();
                                        out.Begin(kDiffuseColour);
                                        out.Begin(c.kind);
                                        for (float channel : c.channels) {
                                            out.F32(channel);
                                        }
                                        out.Bytes(c.bytes.data(), c.bytes.size());
                                        out.End();
                                        out.Begin(kGammaColour24);  // a second copy: not read
                                        out.U8(99);
                                        out.U8(99);
                                        out.U8(99);
                                        out.End();
                                        out.End();
                                        out.End();
                                    }
                                }),
                                "colour_kinds");
    ASSERT_TRUE(in.loaded);
    EXPECT_EQ(in.messages, "");
    ASSERT_EQ(in.model.materialCount, static_cast<int>(std::size(cases)));
    for (int i = 0; i < in.model.materialCount; ++i) {
        const MeshMaterial& material = in.model.materials[i];
        EXPECT_STREQ(material.name, cases[i].name);
        for (int channel = 0; channel < 3; ++channel) {
            EXPECT_EQ(material.colour[channel], cases[i].expected[channel])
                << cases[i].name << " channel " << channel;
        }
    }
}

TEST(OtherLayouts, MaterialsAfterTheirObjectsBindAsIfTheyCameFirst) {
    const Body plain = [](ChunkWriter& out) { Material(out, "Plain", 10); };
    const Body others = [](ChunkWriter& out) {
        Material(out, "Wood", 11, "WOOD.BMP");
        Material(out, "Wood", 12);  // a second material of that name never binds
    };
    const Body objects = [](ChunkWriter& out) {
        Object(out, "First", [](ChunkWriter& o) { Triangle(o, "Wood"); });
        Object(out, "Second", [](ChunkWriter& o) { Triangle(o, "Plain"); });
        Object(out, "Lost", [](ChunkWriter& o) { Triangle(o, "Steel"); });
        Object(out, "Bare", [](ChunkWriter& o) { Triangle(o); });
        Object(out, "Regrouped", [](ChunkWriter& o) {
            Triangle(o, "Steel");
            Group(o, "Plain", 1);  // the last group binds
        });
    };
    const Import first = LoadBytes(EditorFile([&](ChunkWriter& out) {
                                       plain(out);
                                       others(out);
                                       objects(out);
                                   }),
                                   "materials_first");
    const Import around = LoadBytes(EditorFile([&](ChunkWriter& out) {
                                        plain(out);
                                        objects(out);
                                        others(out);
                                    }),
                                    "materials_around_objects");
    const Import last = LoadBytes(EditorFile([&](ChunkWriter& out) {
                                      objects(out);
                                      plain(out);
                                      others(out);
                                  }),
                                  "materials_last");
    const int ids[] = {1, 0, -1, 0, 0};
    const bool textured[] = {true, false, false, false, false};
    for (const Import* in : {&first, &around, &last}) {
        ASSERT_TRUE(in->loaded);
        EXPECT_EQ(in->messages, "");
        ASSERT_EQ(in->model.objectCount, 5);
        ASSERT_EQ(in->model.materialCount, 3);
        for (int i = 0; i < 5; ++i) {
            const MeshObject& object = in->model.objects[i];
            EXPECT_EQ(object.materialId, ids[i]) << object.name;
            EXPECT_EQ(object.hasTexture, textured[i]) << object.name;
        }
    }
}

TEST(OtherLayouts, ShortTexCoordListIsDroppedAndTheObjectKept) {
    const Import in = LoadBytes(EditorFile([](ChunkWriter& out) {
                                    Material(out, "Wood", 11, "WOOD.BMP");
                                    Object(out, "Short", [](ChunkWriter& o) {
                                        Triangle(o, "Wood");
                                        CountedList(o, kTexCoords, 2, {0, 0, 1, 0});
                                    });
                                    Object(out, "ShortFirst", [](ChunkWriter& o) {
                                        CountedList(o, kTexCoords, 1, {0.5f, 0.5f});
                                        Triangle(o);
                                    });
                                    Object(out, "Full", [](ChunkWriter& o) {
                                        Triangle(o);
                                        CountedList(o, kTexCoords, 3, {0, 0, 1, 0, 0, 1});
                                    });
                                }),
                                "short_texcoords");
    ASSERT_TRUE(in.loaded);
    EXPECT_EQ(in.messages,
              "[Warning] The file short_texcoords.3ds has 2 object(s) with fewer texture "
              "coordinates than vertices (first: Short); they were loaded without them!\n");
    ASSERT_EQ(in.model.objectCount, 3);
    const MeshObject& kept = in.model.objects[0];
    EXPECT_EQ(kept.vertexCount, 3);
    EXPECT_EQ(kept.faceCount, 1);
    EXPECT_EQ(kept.texCoordCount, 0);
    EXPECT_EQ(kept.materialId, 0);
    EXPECT_TRUE(kept.hasTexture);
    EXPECT_TRUE(SameVec(kept.normals[2], Vec3{0, 1, 0}));
    EXPECT_EQ(in.model.objects[1].texCoordCount, 0);
    EXPECT_EQ(in.model.objects[1].faceCount, 1);
    EXPECT_EQ(in.model.objects[2].texCoordCount, 3);
}

// ---- normals

std::vector<Vec3> QuadraticNormals(const std::vector<Vec3>& vertices,
                                   const std::vector<Face>& faces) {
    std::vector<Vec3> faceNormals;
    for (const Face& face : faces) {
        faceNormals.push_back(FaceNormal(vertices, face));
    }
    std::vector<Vec3> normals;
    for (int i = 0; i < static_cast<int>(vertices.size()); ++i) {
        Vec3 sum{0, 0, 0};
        int count = 0;
        for (std::size_t j = 0; j < faces.size(); ++j) {
            const int* index = faces[j].vertexIndex;
            if (index[0] == i || index[1] == i || index[2] == i) {
                sum.x += faceNormals[j].x;
                sum.y += faceNormals[j].y;
                sum.z += faceNormals[j].z;
                ++count;
            }
        }
        normals.push_back(VertexNormal(sum, count));
    }
    return normals;
}

TEST(Normals, LinearMethodEqualsQuadraticBitForBit) {
    std::mt19937 random(6);
    for (int mesh = 0; mesh < 200; ++mesh) {
        const int vertexCount = 1 + static_cast<int>(random() % 150);
        std::uniform_real_distribution<float> coordinate(-100.0f, 100.0f);
        std::vector<Vec3> vertices(vertexCount);
        for (Vec3& v : vertices) {
            v = {coordinate(random), coordinate(random), coordinate(random)};
        }
        // Shared positions give zero-area faces; few vertices give repeated indices.
        vertices[vertexCount / 2] = vertices[0];
        std::vector<Face> faces(random() % 400);
        for (Face& face : faces) {
            for (int& index : face.vertexIndex) {
                index = static_cast<int>(random() % vertexCount);
            }
        }
        const std::vector<Vec3> linear = SmoothNormals(vertices, faces);
        const std::vector<Vec3> quadratic = QuadraticNormals(vertices, faces);
        ASSERT_EQ(linear.size(), quadratic.size());
        ASSERT_EQ(std::memcmp(linear.data(), quadratic.data(), linear.size() * sizeof(Vec3)), 0)
            << "mesh " << mesh;
    }
}

// ---- damaged files: read up to the fault, one report, a consistent model

void ExpectOneFault(const Import& in, const std::string& name) {
    EXPECT_FALSE(in.loaded) << name;
    EXPECT_EQ(CountOf(in.messages, "[Error]"), 1) << name << ": " << in.messages;
    EXPECT_EQ(CountOf(in.messages, "\n"), 1) << name << ": " << in.messages;
}

TEST(DamagedFiles, StopAtTheFaultAndReportOnce) {
    const std::string longName(300, 'n');
    struct Case {
        const char* name;
        Body body;
    };
    const Case cases[] = {
        {"chunk_longer_than_parent",
         [](ChunkWriter& out) {
             out.Header(kNamedObject, 1000);
             out.String("Big");
         }},
        {"chunk_shorter_than_header", [](ChunkWriter& out) { out.Header(0x1234, 3); }},
        {"zero_length_chunk",
         [](ChunkWriter& out) {
             out.Header(0x1234, 0);
             out.U32(0);
         }},
        {"object_name_too_long",
         [&](ChunkWriter& out) {
             Object(out, longName.c_str(), [](ChunkWriter& o) { Triangle(o); });
         }},
        {"material_name_too_long",
         [&](ChunkWriter& out) {
             out.Begin(kMaterial);
             out.Begin(kMaterialName);
             out.Bytes(longName.data(), longName.size());
             out.End();
             out.End();
         }},
        {"vertex_count_beyond_data",
         [](ChunkWriter& out) {
             Object(out, "V", [](ChunkWriter& o) { CountedList(o, kVertexList, 10, {1, 2, 3}); });
         }},
        {"face_count_beyond_data",
         [](ChunkWriter& out) {
             Object(out, "F", [](ChunkWriter& o) {
                 VertexList(o, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
                 o.Begin(kFaceList);
                 o.U16(5);
                 o.U16(0);
                 o.U16(1);
                 o.U16(2);
                 o.U16(0);
                 o.End();
             });
         }},
        {"texcoord_count_beyond_data",
         [](ChunkWriter& out) {
             Object(out, "T", [](ChunkWriter& o) { CountedList(o, kTexCoords, 4, {0.5f}); });
         }},
        {"too_few_texcoords_then_damage",  // the damage is the one report
         [](ChunkWriter& out) {
             Object(out, "T", [](ChunkWriter& o) {
                 Triangle(o);
                 CountedList(o, kTexCoords, 1, {0.5f, 0.5f});
             });
             out.Header(kNamedObject, 1000);
             out.String("Big");
         }},
        {"face_index_beyond_vertices",
         [](ChunkWriter& out) {
             Object(out, "I", [](ChunkWriter& o) {
                 VertexList(o, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
                 FaceList(o, {{{0, 1, 2}}, {{0, 1, 3}}, {{2, 1, 0}}});
             });
         }},
        {"group_face_beyond_faces",
         [](ChunkWriter& out) {
             Material(out, "M", 1);
             Object(out, "G", [](ChunkWriter& o) {
                 Triangle(o);
                 o.Begin(kFaceMaterialGroup);
                 o.String("M");
                 o.U16(1);
                 o.U16(1);
                 o.End();
             });
         }},
        {"group_count_beyond_data",
         [](ChunkWriter& out) {
             Object(out, "G", [](ChunkWriter& o) {
                 Triangle(o);
                 o.Begin(kFaceMaterialGroup);
                 o.String("M");
                 o.U16(9);
                 o.End();
             });
         }},
        {"version_chunk_too_short",
         [](ChunkWriter& out) {
             out.Begin(kFileVersion);
             out.U16(3);
             out.End();
         }},
        {"meshes_nested_thousands_deep",
         [](ChunkWriter& out) {
             out.Begin(kNamedObject);
             out.String("Deep");
             for (int i = 0; i < 5000; ++i) {
                 out.Begin(kTriangleMesh);
             }
             for (int i = 0; i < 5000; ++i) {
                 out.End();
             }
             out.End();
         }},
        {"maps_nested_thousands_deep",
         [](ChunkWriter& out) {
             out.Begin(kMaterial);
             for (int i = 0; i < 5000; ++i) {
                 out.Begin(kTextureMap);
             }
             for (int i = 0; i < 5000; ++i) {
                 out.End();
             }
             out.End();
         }},
    };
    for (const Case& c : cases) {
        ExpectOneFault(LoadBytes(EditorFile(c.body), c.name), c.name);
    }
}

TEST(DamagedFiles, KeepWhatWasReadBeforeTheFault) {
    const Import in = LoadBytes(EditorFile([](ChunkWriter& out) {
                                    Object(out, "Good", [](ChunkWriter& o) { Triangle(o); });
                                    Object(out, "Bad", [](ChunkWriter& o) {
                                        VertexList(o, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
                                        FaceList(o, {{{0, 1, 2}}, {{0, 1, 3}}, {{2, 1, 0}}});
                                    });
                                    Object(out, "Never", [](ChunkWriter& o) { Triangle(o); });
                                }),
                                "keep_before_fault");
    ExpectOneFault(in, "keep_before_fault");
    ASSERT_EQ(in.model.objectCount, 2);
    EXPECT_EQ(in.model.objects[0].faceCount, 1);
    EXPECT_TRUE(SameVec(in.model.objects[0].normals[0], Vec3{0, 1, 0}));
    EXPECT_EQ(in.model.objects[1].faceCount, 1);  // the faces before the bad one

    const Import partial = LoadBytes(EditorFile([](ChunkWriter& out) {
                                         Object(out, "V", [](ChunkWriter& o) {
                                             CountedList(o, kVertexList, 3, {1, 2, 3, 4, 5, 6, 7});
                                         });
                                     }),
                                     "vertices_cut");
    ExpectOneFault(partial, "vertices_cut");
    ASSERT_EQ(partial.model.objects[0].vertexCount, 2);
    EXPECT_TRUE(SameVec(partial.model.objects[0].vertices[1], Vec3{4, 6, -5}));
}

TEST(DamagedFiles, EveryTruncationOfAFileIsReadSafely) {
    const ChunkWriter whole = EditorFile([](ChunkWriter& out) {
        Material(out, "Wood", 11, "WOOD.BMP");
        Object(out, "Tri", [](ChunkWriter& o) {
            Triangle(o, "Wood");
            CountedList(o, kTexCoords, 3, {0, 0.25f, 0.5f, 0.75f, 1, 1.25f});
        });
        out.Begin(kKeyframerData);
        out.U32(0);
        out.End();
    });
    ASSERT_TRUE(LoadBytes(whole, "truncation_whole").loaded);
    const std::vector<unsigned char>& bytes = whole.bytes();
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        ChunkWriter cut;
        cut.Bytes(bytes.data(), size);
        ExpectOneFault(LoadBytes(cut, "truncated"), "truncated to " + std::to_string(size));
    }
}

}  // namespace
