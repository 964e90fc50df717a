#include "app/Unit2Catalogue.h"

#include <QStringList>
#include <stdexcept>

namespace sphaerix {
namespace {

struct TBodyEntry {
  const char* Name;
  // Mass, volume, diameter, density, surface gravity, rotation period, semi-major axis,
  // orbital period, axial tilt, surface pressure, moons (UTF-8).
  std::array<const char*, FactCount> Facts;
};

// Jupiter's rotation is 9.925 h, not 9925 h, and Io's period carries its unit once:
// the values as first written were a thousand times too long and doubled the "d".
const std::array<TBodyEntry, BodyCount> Bodies = {{
    {"Earth", {"5.972×10^24 kg", "1.083×10^12 km³", "12,742 km", "5.514 g/cm³", "9.807 m/s²",
               "23h 56m", "149,598,023 km", "365.256 d", "23.439°", "101.325 kPa", "One"}},
    {"Mars", {"6.417×10^23 kg", "1.632×10^11 km³", "6792.4 km", "3.9335 g/cm³", "3.720 m/s²",
              "24h 37m", "227,939,200 km", "686.971 d", "25.19°", "0.636 kPa", "Two"}},
    {"Jupiter", {"1.898×10^27 kg", "1.431×10^15 km³", "142,984 km", "1,326 kg/m³", "24.79 m/s²",
                 "9.925h", "778.57 million km", "4,332.59 d", "3.13°", "70 kPa", "79"}},
    {"Mercury", {"3.301×10^23 kg", "6.083×10^10 km³", "4880 km", "5.427 g/cm³", "3.7 m/s²",
                 "1407.5 h", "57,909,050 km", "87.969 d", "0.034°", "0", "No"}},
    {"Neptune", {"1.024×10^26 kg", "6.254×10^13 km³", "49,528 km", "1.638 g/cm³", "11.15 m/s²",
                 "16h 6m", "4.50 billion km", "60,182 d", "28.32°", "Unknown", "14"}},
    {"Saturn", {"5.6834×10^26 kg", "8.2713×10^14 km³", "120,536 km", "0.687 g/cm³", "10.44 m/s²",
                "10h 33m", "1,433 million km", "10,759.22 d", "26.73°", "140 kPa", "62"}},
    {"Uranus", {"8.6810×10^25 kg", "6.833×10^13 km³", "51,118 km", "1.27 g/cm³", "8.69 m/s²",
                "−0.71833 d", "2,875.04 Gm", "30,688.5 d", "97.77°", "Unknown", "27"}},
    {"Venus", {"4.8675×10^24 kg", "9.2843×10^11 km³", "12,103 km", "5.243 g/cm³", "8.87 m/s²",
               "−243.025 d", "108,208,000 km", "224.701 d", "2.64°", "9.2 MPa", "No"}},
    {"Pluto", {"1.303×10^22 kg", "7.057×10^9 km³", "2376.6 km", "1.854 g/cm³", "0.620 m/s²",
               "6.387 d", "5.90638 billion km", "90,560 d", "122.53°", "1.0 Pa", "Five"}},
    {"Moon", {"7.342×10^22 kg", "2.1958×10^10 km³", "3476.2 km", "3.344g/cm³", "1.62 m/s²",
              "27.321 d", "384,399 km", "27.321 d", "6.687°", "10^-7Pa", "No"}},
    {"Sun", {"1.9885×10^30 kg", "1.41×10^18 km³", "1,392,684 km", "1.408 g/cm³", "274 m/s²",
             "25.05 d", "2.7×10^17 km", "2.25×10^8 yr", "7.25°", "None", "No"}},
    {"Enceladus", {"1.08022×10^20 kg", "67,113,076 km³", "504.2 km", "1.609 g/cm³", "0.113 m/s²",
                   "1.370 d", "237,948 km", "1.370 d", "0°", "Trace", "Moon of Saturn"}},
    {"Io", {"8.9319×10^22 kg", "2.53×10^10 km³", "3643.2 km", "3.528 g/cm³", "1.796 m/s²",
            "1.769 d", "421,700 km", "1.769 d", "0.05°", "5..40 nbar", "Moon of Jupiter"}},
    {"Europa", {"4.7998×10^22 kg", "1.593×10^10 km³", "3,121.6 km", "3.013 g/cm³", "1.314 m/s²",
                "3.551 d", "670,900 km", "3.551 d", "0.1°", "10^-12 bar", "Moon of Jupiter"}},
}};

const std::array<const char*, FactCount> FactLabels = {
    "Mass:", "Volume:", "Diameter:", "Density:", "Surface Gravity:", "Rotation Period:",
    "Semi-major Axis:", "Orbital Period:", "Axial Tilt:", "Surface Pressure:", "Has Moons:"};

// Labels are right-aligned by padding so the colons line up even in a proportional font.
constexpr int FactLabelWidth = 17;

const TBodyEntry& Entry(int AIndex) {
  if (AIndex < 0 || AIndex >= BodyCount) throw std::out_of_range("body index out of range");
  return Bodies[static_cast<size_t>(AIndex)];
}

}  // namespace

QString BodyName(int AIndex) { return QString::fromUtf8(Entry(AIndex).Name); }

QString BodyFactsText(int AIndex) {
  QStringList lines;
  for (const char* f : Entry(AIndex).Facts) lines << QString::fromUtf8(f);
  return lines.join(QChar('\n'));
}

QString FactLabelsText() {
  QStringList lines;
  for (const char* l : FactLabels) lines << QString::fromUtf8(l).rightJustified(FactLabelWidth, QChar(' '));
  return lines.join(QChar('\n'));
}

TBodyRing BodyRing(int AIndex) {
  Entry(AIndex);
  if (AIndex == 5) return TBodyRing::Saturn;
  if (AIndex == 6) return TBodyRing::Uranus;
  return TBodyRing::None;
}

TBodyTilt BodyTilt(int AIndex) {
  switch (BodyRing(AIndex)) {
    case TBodyRing::Saturn: return {-5.0f, -26.0f};
    case TBodyRing::Uranus: return {-10.0f, -97.0f};
    case TBodyRing::None: break;
  }
  return {0.0f, 0.0f};
}

QString BodyTextureResourceName(int AIndex) {
  Entry(AIndex);
  return QStringLiteral("JpgImage_%1").arg(AIndex + 1);
}

}  // namespace sphaerix
