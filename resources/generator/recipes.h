// The pictures the program carries; each returns the bytes of the finished file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace imagegen {

// A body's 4096 x 2048 JPEG from its source map (and, for cratered bodies, the Moon's
// map as a second input). recipe names the body ("earth", "mars", ...), or is "copy"
// for a source already in final form, or "sun".
std::vector<uint8_t> MakeBodyMap(const std::string& recipe, const std::vector<std::string>& inputs);

// Ring images, 4096 x 4096 RGBA PNG, from radial profiles.
std::vector<uint8_t> MakeSaturnRing(const std::string& profilePng);
std::vector<uint8_t> MakeUranusRing(const std::string& profilePng);

// The 6000 x 3000 sky: the Milky Way panorama and the Bright Star Catalogue.
std::vector<uint8_t> MakeStarMap(const std::string& milkyWayPng, const std::string& catalogue);

// The About window's 435 x 280 RGBA picture, from the maps of Earth, Moon, Jupiter and
// Saturn and Saturn's ring profile.
// The application's icon: 256 x 256 RGBA, Saturn with its ring.
std::vector<uint8_t> MakeIcon(const std::string& saturn, const std::string& ringProfile);

std::vector<uint8_t> MakeAboutPicture(const std::string& earth, const std::string& moon,
                                      const std::string& jupiter, const std::string& saturn,
                                      const std::string& ringProfile);

}  // namespace imagegen
