#include "platform/gl_programs.h"

namespace sphaerix {

namespace {

// Shared by the vertex programs: attribute slots match the interleaved TMeshVertex, the
// scene's depth range 0..1 is moved to OpenGL's -w..w, and the helpers behave as the
// CPU reference does on zero vectors and zero or negative bases.
const char* kVertexCommon = R"(
layout(location = 0) in vec3 a_Position;
layout(location = 1) in vec3 a_Normal;
layout(location = 2) in vec2 a_TexCoord0;
uniform mat4 MVPMatrix;
uniform mat4 ModelView;
uniform mat4 ViewProjection;
// A sphere whose outline the pixel program smooths (centre and radius in world units)
// has its faces end inside the true outline, by up to the depth of a segment's chord.
// The corners along the outline are pushed out across the line of sight by OutlinePush
// (world units per unit of distance from the eye) so that the faces cover the outline
// and the pixels its smoothing reaches; the corners facing the eye stay where they are,
// so the face's picture does not move. 0: nothing is pushed.
uniform vec4 Outline;
uniform vec3 Eye;
uniform float OutlinePush;
out vec2 v_TexCoord;
out vec3 v_World;

vec4 ToClip(vec3 p) {
  vec4 c = MVPMatrix * vec4(p, 1.0);
  c.z = 2.0 * c.z - c.w;
  return c;
}
vec4 Place(vec3 p) {
  v_World = (ModelView * vec4(p, 1.0)).xyz;
  if (OutlinePush <= 0.0) return ToClip(p);
  vec3 n = normalize(v_World - Outline.xyz);
  vec3 v = normalize(v_World - Eye);
  float facing = dot(n, v);
  float push = OutlinePush * distance(v_World, Eye) * (1.0 - smoothstep(0.05, 0.15, abs(facing)));
  vec3 across = n - facing * v;
  if (push <= 0.0 || dot(across, across) <= 0.0) return ToClip(p);
  v_World += normalize(across) * push;
  vec4 c = ViewProjection * vec4(v_World, 1.0);
  c.z = 2.0 * c.z - c.w;
  return c;
}
vec3 Unit(vec3 v) {
  float l = length(v);
  return l > 0.0 ? v / l : v;
}
float LightingPow(float x, float e) {
  if (e == 0.0) return 1.0;
  if (x <= 0.0) return 0.0;
  return pow(x, e);
}
)";

const char* kLightBody = R"(
uniform mat4 ModelViewIT;
uniform vec4 MaterialDiffuse;
uniform vec4 MaterialSpecular;
uniform vec4 MaterialAmbient;
uniform vec4 MaterialEmission;
uniform vec4 MaterialOpts;
uniform vec4 EyePos;
struct TLightSlot {
  vec4 Opts;
  vec4 Pos;
  vec4 Dir;
  vec4 Color;
};
#if SLOTS > 0
uniform TLightSlot Lights[SLOTS];
#endif
out vec4 v_Color;

void main() {
  gl_Position = Place(a_Position);
  v_TexCoord = a_TexCoord0;
#if SLOTS == 0
  v_Color = vec4(MaterialEmission.rgb, 1.0) + MaterialAmbient;
#else
  vec3 P = (ModelView * vec4(a_Position, 1.0)).xyz;
  vec3 N = Unit(mat3(ModelViewIT) * Unit(a_Normal));
  vec3 V = Unit(P - EyePos.xyz);
  float shininess = MaterialOpts.x;
  vec3 D = vec3(0.0);
  float S = 0.0;
  for (int i = 0; i < SLOTS; ++i) {
    float type = Lights[i].Opts.x;
    if (type == 1.0) {
      vec3 L = Lights[i].Dir.xyz;
      vec3 n = -N;
      float k = max(0.0, dot(n, L));
      D += Lights[i].Color.rgb * k;
      if (k > 0.0) S += LightingPow(max(0.0, dot(n, Unit(L + V))), shininess);
    } else if (type == 2.0 || type == 3.0) {
      vec3 l = -Unit(P - Lights[i].Pos.xyz);
      float f = 1.0;
      if (type == 3.0) {
        float s = dot(-l, Lights[i].Dir.xyz);
        f = s > Lights[i].Opts.y ? LightingPow(s, Lights[i].Opts.z) : 0.0;
      }
      float k = max(0.0, dot(N, l));
      D += Lights[i].Color.rgb * (k * f);
      if (k > 0.0) S += LightingPow(max(0.0, dot(N, Unit(l - V))), shininess) * f;
    }
  }
  vec3 c = MaterialEmission.rgb + MaterialAmbient.rgb + D * MaterialDiffuse.rgb + MaterialSpecular.rgb * S;
  v_Color = vec4(clamp(c, 0.0, 1.0), 1.0);
#endif
}
)";

// Shared by the pixel programs. A sphere's outline is smoothed from its true shape: the
// share of a pixel inside the sphere follows from how far the pixel's ray passes from
// the centre, measured in pixels. Multisampling every pixel of the target for the sake
// of one outline costs several times the frame.
const char* kPixelCommon = R"(
in vec3 v_World;
uniform sampler2D texture0;
uniform vec4 Outline;  // centre and radius in world units; radius 0: nothing to smooth
uniform vec3 Eye;
float OutlineCover() {
  if (Outline.w <= 0.0) return 1.0;
  vec3 ray = normalize(v_World - Eye);
  vec3 toCentre = Outline.xyz - Eye;
  float beyond = length(cross(toCentre, ray)) - Outline.w;
  float pixel = length(vec2(dFdx(beyond), dFdy(beyond)));
  return clamp(0.5 - beyond / max(pixel, 1e-7), 0.0, 1.0);
}
// A body with a smoothed outline is drawn in two passes: its whole pixels in its turn,
// with depth (OutlinePass 1), and the pixels its outline covers in part at the end of the
// scene, over whatever lies behind them, drawn before or after the body (OutlinePass 2).
// Drawn in one pass, a part-covered pixel would either hide what is drawn behind it
// later, a dark seam, or be covered by it, a stepped edge.
uniform float OutlinePass;
bool OutlineSkips(float cover) {
  if (cover <= 0.0) return true;  // past the outline: no colour, and no depth either
  if (OutlinePass == 1.0) return cover < 1.0;
  if (OutlinePass == 2.0) return cover >= 1.0;
  return false;
}
)";

}  // namespace

std::string LightVertexSource(int ASlots) {
  return std::string("#version 330 core\n#define SLOTS ") + std::to_string(ASlots) + "\n" + kVertexCommon +
         kLightBody;
}

const char* LightPixelSource(bool AInside) {
  static const std::string body = R"(
in vec4 v_Color;
in vec2 v_TexCoord;
uniform float Opacity;
uniform float Modulation;
out vec4 FragColor;
void main() {
  // One fetch whatever the mode (a material without texture samples 1 x 1 white), so
  // that no device runs the sampling twice in masked branches.
  vec4 t = texture(texture0, v_TexCoord);
  vec4 c = Modulation == 0.0 ? v_Color : (Modulation == 1.0 ? t : v_Color * t);
#ifdef INSIDE
  FragColor = c * Opacity;
#else
  float cover = OutlineCover();
  if (OutlineSkips(cover)) discard;
  FragColor = c * (Opacity * cover);
#endif
}
)";
  static const std::string source = std::string("#version 330 core\n") + kPixelCommon + body;
  static const std::string inside = std::string("#version 330 core\n#define INSIDE 1\nuniform sampler2D texture0;\n") + body;
  return AInside ? inside.c_str() : source.c_str();
}

const char* TextureVertexSource() {
  static const std::string source = std::string("#version 330 core\n") + kVertexCommon + R"(
void main() {
  gl_Position = Place(a_Position);
  v_TexCoord = a_TexCoord0;
}
)";
  return source.c_str();
}

const char* TexturePixelSource() {
  static const std::string source = std::string("#version 330 core\n") + kPixelCommon + R"(
in vec2 v_TexCoord;
uniform float Opacity;
uniform float Layers;  // 2: the picture laid over itself
// 1: a round picture (its circles round its centre), with mip levels. It changes along its
// radius alone, so the filter's reach is how far the radius runs over the pixel, however
// slanted the surface: one trilinear fetch does what anisotropic sampling of the slanted
// ring does with several, and across the circles it cannot alias.
uniform float Radial;
out vec4 FragColor;
vec4 Sample() {
  if (Radial != 1.0) return texture(texture0, v_TexCoord);
  vec2 fromCentre = v_TexCoord - vec2(0.5);
  float r = length(fromCentre);
  vec2 along = r > 0.0 ? fromCentre / r : vec2(1.0, 0.0);
  float reach = length(vec2(dot(dFdx(v_TexCoord), along), dot(dFdy(v_TexCoord), along))) *
                float(textureSize(texture0, 0).x);
  return textureLod(texture0, v_TexCoord, log2(max(reach, 1e-6)));
}
// A smoothed outline drawn earlier in the scene (centre and radius in world units; w 0:
// none), whose part-covered pixels are laid at the end of the scene: where this picture
// lies in front of the outline, over those pixels, its pixels are held back (HoldPass 1)
// and laid after the outline (HoldPass 2), so that the outline shows under them as under
// anything translucent. In front: nearer the eye than the outline's circle.
uniform vec4 Hold;
uniform float HoldPass;
bool Held() {
  vec3 toCentre = Hold.xyz - Eye;
  float d = length(toCentre);
  vec3 ray = normalize(v_World - Eye);
  float beyond = length(cross(toCentre, ray)) - Hold.w;
  float pixel = max(length(vec2(dFdx(beyond), dFdy(beyond))), 1e-7);
  bool over = abs(beyond) <= 2.0 * pixel;
  bool front = dot(v_World - Eye, toCentre) < d * d - Hold.w * Hold.w;
  return over && front;
}
void main() {
  bool held = HoldPass != 0.0 && Held();
  // Laid again: most of the picture was laid already.
  if (HoldPass == 2.0 && !held) discard;
  vec4 t = Sample();
  float cover = OutlineCover();
  if (HoldPass == 1.0 && held) discard;
  // A texel with nothing in it (a ring picture's empty middle) adds no colour, and it
  // writes no depth either: a body's outline drawn at the end of the scene, or anything
  // else drawn later behind it, shows through it as through nothing.
  if (t == vec4(0.0)) discard;
  if (OutlineSkips(cover)) discard;
  FragColor = t * (Opacity * cover);
  if (Layers == 2.0) FragColor *= 2.0 - FragColor.a;
}
)";
  return source.c_str();
}

const char* HidingVertexSource() {
  return R"(#version 330 core
layout(location = 0) in vec3 a_Position;
uniform mat4 MVPMatrix;
uniform float Shrink;       // of the radius, so that only whole pixels of the sphere are marked
uniform float CentreDepth;  // the centre's depth, -1 .. 1
void main() {
  vec4 c = MVPMatrix * vec4(a_Position * Shrink, 1.0);
  c.z = CentreDepth * c.w;
  gl_Position = c;
}
)";
}

const char* HidingPixelSource() {
  return R"(#version 330 core
out vec4 FragColor;
void main() { FragColor = vec4(0.0); }
)";
}

const char* FrameVertexSource() {
  return R"(#version 330 core
out vec2 v_TexCoord;
void main() {
  vec2 corner = vec2(float(gl_VertexID & 1), float((gl_VertexID >> 1) & 1));
  v_TexCoord = corner;
  gl_Position = vec4(corner * 2.0 - 1.0, 0.0, 1.0);
}
)";
}

const char* FramePixelSource() {
  return R"(#version 330 core
in vec2 v_TexCoord;
uniform sampler2D frame;
uniform float Opacity;
// An opaque fill not painted under the frame, which is laid over it here and written
// without blending (alpha 0: none, the frame blends over what is there).
uniform vec4 UnderFill;
out vec4 FragColor;
void main() {
  FragColor = texture(frame, v_TexCoord) * Opacity;
  if (UnderFill.a > 0.0) FragColor += UnderFill * (1.0 - FragColor.a);
}
)";
}

}  // namespace sphaerix
