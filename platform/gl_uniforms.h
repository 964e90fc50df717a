// Small helpers the files of the OpenGL render context share: uniforms from the scene's
// math types, and an index buffer filled from a list.
#pragma once

#include <QOpenGLFunctions_3_3_Core>
#include <cstdint>
#include <vector>

#include "scene/mesh/mesh_buffers.h"
#include "scene/nodes/math3d.h"

namespace sphaerix {

// ABuffer holds AIndices now, as a new revision.
inline void FillIndices(TIndexBuffer& ABuffer, const std::vector<std::uint32_t>& AIndices) {
  ABuffer.SetLength(static_cast<int>(AIndices.size()));
  for (std::size_t i = 0; i < AIndices.size(); ++i) ABuffer[static_cast<int>(i)] = AIndices[i];
}

inline void SetUniformVector(QOpenGLFunctions_3_3_Core* gl, GLint ALocation, const TVector3D& v) {
  gl->glUniform4f(ALocation, v.X, v.Y, v.Z, v.W);
}

inline void SetUniformMatrix(QOpenGLFunctions_3_3_Core* gl, GLint ALocation, const TMatrix3D& m) {
  // Row-major rows uploaded as GLSL columns: the program's M * v is the scene's v x M.
  gl->glUniformMatrix4fv(ALocation, 1, GL_FALSE, &m.m[0][0]);
}

}  // namespace sphaerix
