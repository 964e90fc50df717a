// The sky kept while the camera stands (TKeptBackground): a picture of the target's own,
// drawn once and copied back into each frame's part.
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

bool TGLRenderContext::BeginKeepingBackground(TAlphaColor AClearColor) {
  if (!InScene() || FSamples != 1) return false;
  QOpenGLFunctions_3_3_Core* gl = FDevice->GL;
  TTargets& t = FTargets;
  if (!t.BackgroundFbo) {
    t.BackgroundTexture = MakePixelTexture(gl, Width(), Height());
    t.BackgroundFbo = TGLFramebuffer::Create(gl);
    gl->glBindFramebuffer(GL_FRAMEBUFFER, t.BackgroundFbo.Name());
    gl->glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, t.BackgroundTexture.Name(), 0);
    // The target's own depth buffer: a frame that keeps the background clears it again
    // (inside its part) before drawing anything else.
    gl->glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, t.DepthBuffer.Name());
    const bool ok = gl->glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    gl->glBindFramebuffer(GL_FRAMEBUFFER, t.Fbo.Name());
    if (!ok) {
      t.BackgroundFbo = TGLFramebuffer();
      t.BackgroundTexture = TGLTexture();
      return false;
    }
  }
  gl->glBindFramebuffer(GL_FRAMEBUFFER, t.BackgroundFbo.Name());
  ApplyState(TRenderState::csScissorOff);
  Clear(AClearColor, 1.0f, 0);
  ++FStats.BackgroundKeeps;
  return true;
}

void TGLRenderContext::EndKeepingBackground() {
  if (!InScene()) return;
  FDevice->GL->glBindFramebuffer(GL_FRAMEBUFFER, FTargets.Fbo.Name());
}

bool TGLRenderContext::RestoreBackground(const TPixelRect& ARect) {
  if (!InScene() || !FTargets.BackgroundFbo || ARect.Empty()) return false;
  QOpenGLFunctions_3_3_Core* gl = FDevice->GL;
  const GLboolean scissor = gl->glIsEnabled(GL_SCISSOR_TEST);
  gl->glDisable(GL_SCISSOR_TEST);
  gl->glBindFramebuffer(GL_READ_FRAMEBUFFER, FTargets.BackgroundFbo.Name());
  gl->glBindFramebuffer(GL_DRAW_FRAMEBUFFER, FTargets.Fbo.Name());
  // OpenGL counts rows from the bottom.
  const int x0 = ARect.X, y0 = Height() - ARect.Y - ARect.Height;
  gl->glBlitFramebuffer(x0, y0, x0 + ARect.Width, y0 + ARect.Height, x0, y0, x0 + ARect.Width, y0 + ARect.Height,
                        GL_COLOR_BUFFER_BIT, GL_NEAREST);
  gl->glBindFramebuffer(GL_FRAMEBUFFER, FTargets.Fbo.Name());
  if (scissor) gl->glEnable(GL_SCISSOR_TEST);
  ++FStats.BackgroundRestores;
  return true;
}

}  // namespace sphaerix
