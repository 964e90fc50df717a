// The pictures of the About window and of the application's icon, rendered bodies.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace imagegen {

// The About window's 435 x 280 RGBA picture, from the maps of Earth, Moon, Jupiter and
// Saturn and Saturn's ring profile; returns the bytes of the finished PNG.
std::vector<uint8_t> MakeAboutPicture(const std::string& earth, const std::string& moon,
                                      const std::string& jupiter, const std::string& saturn,
                                      const std::string& ringProfile);

// The application's icon: size x size RGBA, Saturn with its ring; returns the PNG's bytes.
std::vector<uint8_t> MakeIcon(const std::string& saturn, const std::string& ringProfile, int size);

}  // namespace imagegen
