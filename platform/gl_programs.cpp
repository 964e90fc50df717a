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
out vec2 v_TexCoord;

vec4 ToClip(vec3 p) {
  vec4 c = MVPMatrix * vec4(p, 1.0);
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
uniform mat4 ModelView;
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
  gl_Position = ToClip(a_Position);
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

}  // namespace

std::string LightVertexSource(int ASlots) {
  return std::string("#version 330 core\n#define SLOTS ") + std::to_string(ASlots) + "\n" + kVertexCommon +
         kLightBody;
}

const char* LightPixelSource() {
  return R"(#version 330 core
in vec4 v_Color;
in vec2 v_TexCoord;
uniform sampler2D texture0;
uniform float Opacity;
uniform float Modulation;
out vec4 FragColor;
void main() {
  // One fetch whatever the mode (a material without texture samples 1 x 1 white), so
  // that no device runs the sampling twice in masked branches.
  vec4 t = texture(texture0, v_TexCoord);
  vec4 c = Modulation == 0.0 ? v_Color : (Modulation == 1.0 ? t : v_Color * t);
  FragColor = c * Opacity;
}
)";
}

const char* TextureVertexSource() {
  static const std::string source = std::string("#version 330 core\n") + kVertexCommon + R"(
void main() {
  gl_Position = ToClip(a_Position);
  v_TexCoord = a_TexCoord0;
}
)";
  return source.c_str();
}

const char* TexturePixelSource() {
  return R"(#version 330 core
in vec2 v_TexCoord;
uniform sampler2D texture0;
uniform float Opacity;
out vec4 FragColor;
void main() { FragColor = texture(texture0, v_TexCoord) * Opacity; }
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
out vec4 FragColor;
void main() { FragColor = texture(frame, v_TexCoord) * Opacity; }
)";
}

}  // namespace sphaerix
