// Sources of the OpenGL programs: the light material's vertex programs with 0, 2, 4 or
// 8 light slots and its pixel program, the texture material, and the frame blit. They
// evaluate the same equations as LightMaterialUniforms / LightVertexColor in scene/.
#pragma once

#include <string>

namespace sphaerix {

// The lit vertex program with ASlots light slots (0: the program without lights).
std::string LightVertexSource(int ASlots);
// AInside: for faces that lie wholly inside a smoothed outline, which need neither the
// measure of their cover nor a discard (a program without one is shaded faster).
const char* LightPixelSource(bool AInside = false);
const char* TextureVertexSource();
const char* TexturePixelSource();
// A sphere drawn a little smaller than it is, into depth alone, every pixel at the depth
// of its centre: what lies behind it there is hidden and need not be shaded.
const char* HidingVertexSource();
const char* HidingPixelSource();
// A quad over the whole viewport showing the frame texture at Opacity.
const char* FrameVertexSource();
const char* FramePixelSource();

}  // namespace sphaerix
