// The viewport's 2D side on Qt: its frame drawn into the window inside the QPainter
// paint, and its 2D children painted into screenshots.
#pragma once

class QPainter;

namespace sphaerix {

class TBitmap;
class TViewport3D;

// Installs one process-wide TGLContextFactory as the viewports' default, and the
// viewport's 2D hooks: the frame painted into the window through the toolkit's canvas
// and the 2D children painted into screenshots.
void InstallGLViewports();

// Draws a new frame of AViewport and paints it into the viewport's rectangle at its
// absolute opacity, from inside a QPainter paint of an OpenGL window.
void PaintViewportFrame(TViewport3D& AViewport, QPainter& APainter);

// Paints the visible 2D children of AViewport over ABitmap, which stands for the
// viewport's rectangle at AScale physical pixels per logical pixel.
void PaintViewportChildren(TViewport3D& AViewport, TBitmap& ABitmap, float AScale);

}  // namespace sphaerix
