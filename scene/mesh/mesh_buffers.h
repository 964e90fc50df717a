// The vertex and index buffers a mesh hands to the drawing context: interleaved
// position, normal and texture coordinate per vertex, 32-bit indices read as a triangle
// list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "scene/nodes/math3d.h"

namespace sphaerix {

// One vertex as the device reads it: 8 floats, 32 bytes, no padding.
struct TMeshVertex {
  TPoint3D Vertex;
  TPoint3D Normal;
  TPointF TexCoord0;
};
static_assert(sizeof(TMeshVertex) == 8 * sizeof(float), "vertex layout must be packed");

// Content changes are tracked by a revision number, unique across all buffers of the
// process, so that a device copy can tell whether it is still current. Writers call
// Touch() after changing the content in place; SetLength touches by itself.
class TMeshBufferRevision {
 public:
  std::uint64_t Revision() const { return FRevision; }
  void Touch() { FRevision = Next(); }

 protected:
  TMeshBufferRevision() : FRevision(Next()) {}

 private:
  static std::uint64_t Next() {
    static std::uint64_t counter = 0;
    return ++counter;
  }
  std::uint64_t FRevision;
};

class TVertexBuffer : public TMeshBufferRevision {
 public:
  int Length() const { return static_cast<int>(FData.size()); }
  void SetLength(int ALength) {
    FData.assign(static_cast<std::size_t>(ALength < 0 ? 0 : ALength), TMeshVertex{});
    Touch();
  }
  TMeshVertex& operator[](int i) { return FData[static_cast<std::size_t>(i)]; }
  const TMeshVertex& operator[](int i) const { return FData[static_cast<std::size_t>(i)]; }
  const TMeshVertex* Data() const { return FData.data(); }
  static constexpr int VertexSize() { return static_cast<int>(sizeof(TMeshVertex)); }
  int Size() const { return Length() * VertexSize(); }  // bytes

 private:
  std::vector<TMeshVertex> FData;
};

class TIndexBuffer : public TMeshBufferRevision {
 public:
  int Length() const { return static_cast<int>(FData.size()); }
  void SetLength(int ALength) {
    FData.assign(static_cast<std::size_t>(ALength < 0 ? 0 : ALength), 0u);
    Touch();
  }
  std::uint32_t& operator[](int i) { return FData[static_cast<std::size_t>(i)]; }
  std::uint32_t operator[](int i) const { return FData[static_cast<std::size_t>(i)]; }
  const std::uint32_t* Data() const { return FData.data(); }
  int Size() const { return Length() * static_cast<int>(sizeof(std::uint32_t)); }  // bytes

 private:
  std::vector<std::uint32_t> FData;
};

}  // namespace sphaerix
