// model-info FILE: loads a 3DS mesh as the console does and lists what it
// read, one tab-separated line per object and per material.
#include <algorithm>
#include <cstdio>
#include <string>

#include "loader3ds/model_loader.h"
#include "tools/command_line.h"

namespace {

constexpr const char* kHelp =
    "usage: model-info FILE\n"
    "\n"
    "Loads the 3DS mesh FILE as the console does (z-up turned to y-up) and\n"
    "prints one tab-separated line per record:\n"
    "\n"
    "  model     objects  materials\n"
    "  object    index  name  vertices  faces  texcoords  material  textured\n"
    "            minx  miny  minz  maxx  maxy  maxz\n"
    "  material  index  name  mapfile  red  green  blue\n"
    "\n"
    "Objects and materials appear in file order. 'material' is the index of\n"
    "the bound material (-1: unknown name, 0 also when there is no group);\n"
    "'textured' is 1 when that material has a map file. The bounding box is\n"
    "'-' six times for an object without vertices. Control characters in\n"
    "names print as '?'; an empty map file name prints as '-'.\n"
    "\n"
    "Loader messages go to standard error. Exit status: 0 when the file was\n"
    "read whole, 1 when it could not be opened, is not a 3DS file or is\n"
    "damaged (the lines then show what was read before the fault), 2 on a\n"
    "usage error.\n";

// Keeps the layout one record per line whatever bytes a name holds.
std::string Printable(const char* name) {
    std::string text(name);
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
    return text;
}

void PrintObject(int index, const MeshObject& object) {
    std::printf("object\t%d\t%s\t%d\t%d\t%d\t%d\t%d", index, Printable(object.name).c_str(),
                object.vertexCount, object.faceCount, object.texCoordCount, object.materialId,
                object.hasTexture ? 1 : 0);
    if (object.vertices.empty()) {
        std::printf("\t-\t-\t-\t-\t-\t-\n");
        return;
    }
    Vec3 low = object.vertices.front(), high = low;
    for (const Vec3& v : object.vertices) {
        low = {std::min(low.x, v.x), std::min(low.y, v.y), std::min(low.z, v.z)};
        high = {std::max(high.x, v.x), std::max(high.y, v.y), std::max(high.z, v.z)};
    }
    std::printf("\t%g\t%g\t%g\t%g\t%g\t%g\n", low.x, low.y, low.z, high.x, high.y, high.z);
}

}  // namespace

int main(int argc, char** argv) {
    tools::CommandLine app("model-info", kHelp);
    std::string file;
    tools::AddText(app, "FILE", file)->required();
    if (const auto exit = app.Parse(argc, argv)) {
        return *exit;
    }

    Model model;
    ModelLoader loader;
    const bool loaded = loader.ImportModel(model, file.c_str());
    std::printf("model\t%d\t%d\n", model.objectCount, model.materialCount);
    for (int i = 0; i < model.objectCount; ++i) {
        PrintObject(i, model.objects[i]);
    }
    for (int i = 0; i < model.materialCount; ++i) {
        const MeshMaterial& material = model.materials[i];
        std::printf("material\t%d\t%s\t%s\t%d\t%d\t%d\n", i, Printable(material.name).c_str(),
                    material.mapFileName[0] ? Printable(material.mapFileName).c_str() : "-",
                    material.colour[0], material.colour[1], material.colour[2]);
    }
    return tools::FinishStandardOutput("model-info", loaded ? 0 : 1);
}
