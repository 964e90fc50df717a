// The fourteen bodies the viewer knows: names, facts, fact labels, rings and tilts.
// Body index i is the catalogue order (Earth 0 ... Europa 13); button N selects index N - 1.
#pragma once

#include <QString>
#include <array>

namespace sphaerix {

constexpr int BodyCount = 14;
constexpr int FactCount = 11;

// Which ring a body carries, if any.
enum class TBodyRing { None, Saturn, Uranus };

struct TBodyTilt {
  float X;
  float Z;
};

// The name shown in the title and on the body's button.
QString BodyName(int AIndex);
// The eleven facts of a body joined by line feeds, no line feed at the end.
QString BodyFactsText(int AIndex);
// The eleven fact labels, each padded on the left to 17 characters, joined by line feeds.
QString FactLabelsText();
TBodyRing BodyRing(int AIndex);
// Degrees for the X and Z angles of the camera rig and the star sphere (0, 0 without ring).
TBodyTilt BodyTilt(int AIndex);
// "JpgImage_1" ... "JpgImage_14".
QString BodyTextureResourceName(int AIndex);

}  // namespace sphaerix
