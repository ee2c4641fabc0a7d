// Writing 3DS chunk files: a byte builder for chunks and a writer of whole
// models. The arm-mesh tool, the benchmark and the tests build files with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "loader3ds/model_loader.h"

class ChunkWriter {
  public:
    // Opens a chunk; End sets its length to everything written since.
    void Begin(std::uint16_t id);
    void End();
    // A header with a length given outright, for chunks End does not close.
    void Header(std::uint16_t id, std::uint32_t length);

    void U8(std::uint8_t value);
    void U16(std::uint16_t value);
    void U32(std::uint32_t value);
    void F32(float value);
    void String(const char* text);  // with its terminating zero
    void Bytes(const void* data, std::size_t size);

    const std::vector<unsigned char>& bytes() const { return bytes_; }
    bool Save(const char* path) const;

  private:
    std::vector<unsigned char> bytes_;
    std::vector<std::size_t> openChunks_;  // offsets of the headers Begin wrote
};

// Writes `model` as a version 3 file that ImportModel reads back to the same
// vertices, faces, texture coordinates, names, colours and material ids
// (vertices are turned back from y-up to the file's z-up). An object with a
// material id of 0 or more gets one face material group naming all its
// faces. Returns false when the file cannot be written or an object has
// more than 65 535 vertices, faces or texture coordinates.
bool WriteModel(const Model& model, const char* path);
