// What an opaque sphere hides, marked in depth before the scene, so that the sky behind
// it is never shaded.
#include "platform/gl_context.h"

#include <QOpenGLFunctions_3_3_Core>
#include <algorithm>
#include <cmath>
#include <memory>
#include <stdexcept>
#include <vector>

#include "platform/gl_device.h"
#include "platform/gl_uniforms.h"
#include "scene/material/material.h"
#include "scene/material/material_source.h"
#include "scene/mesh/mesh.h"

namespace sphaerix {

void TGLRenderContext::MarkSphereHides(const TVertexBuffer& AVertices, const TIndexBuffer& AIndices) {
  if (!InScene() || AIndices.Length() == 0 || AVertices.Length() == 0 || !FMarkHidden || !FFramesInPart) return;
  const TSphereOnScreen s = SphereOnScreen();
  // Less than this, in pixels, hides too little to be worth a pass.
  constexpr float kSmallest = 16;
  if (s.Pixels < kSmallest) return;
  const TMatrix3D mvp = CurrentModelViewProjection();
  const float w = mvp.m[3][3];
  if (!(w > 0)) return;
  const float centreDepth = 2 * mvp.m[3][2] / w - 1;
  if (!(centreDepth > -1 && centreDepth < 1)) return;
  QOpenGLFunctions_3_3_Core* gl = FDevice->GL;
  TGLDevice::Program* hiding = nullptr;
  try {
    hiding = &FDevice->HidingProgram();
  } catch (const std::exception&) {
    FMarkHidden = false;  // a saving only: the frame is the same without
    return;
  }
  TGLDevice::Program& p = *hiding;
  FDevice->BindMesh(AVertices, AIndices);
  gl->glUseProgram(p.Id());
  SetUniformMatrix(gl, FDevice->Location(p, "MVPMatrix"), mvp);
  // The built faces lie inside the sphere; two and a half pixels further in, every pixel
  // they cover is covered whole by the sphere, whose pixels there are opaque.
  gl->glUniform1f(FDevice->Location(p, "Shrink"), 1 - 2.5f / s.Pixels);
  // Everything between the eye and the centre still draws, and the sphere's own faces,
  // all nearer than its centre, draw over it: the picture is the one without the mark.
  gl->glUniform1f(FDevice->Location(p, "CentreDepth"), centreDepth);
  gl->glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
  gl->glDisable(GL_BLEND);
  gl->glEnable(GL_DEPTH_TEST);
  gl->glDepthFunc(GL_LEQUAL);
  gl->glDepthMask(GL_TRUE);
  gl->glEnable(GL_CULL_FACE);
  gl->glCullFace(GL_BACK);
  gl->glDrawElements(GL_TRIANGLES, AIndices.Length(), GL_UNSIGNED_INT, nullptr);
  ++FStats.HiddenMarks;
  gl->glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  gl->glEnable(GL_BLEND);
  ApplyState(FAllFaces ? TRenderState::csAllFace : TRenderState::csFrontFace);
}

}  // namespace sphaerix
