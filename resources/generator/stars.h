// The star map the program carries.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace imagegen {

// The 6000 x 3000 sky from the Milky Way panorama and the Bright Star Catalogue; returns
// the bytes of the finished PNG.
std::vector<uint8_t> MakeStarMap(const std::string& milkyWayPng, const std::string& catalogue);

}  // namespace imagegen
