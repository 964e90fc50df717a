// The ring images the program carries, made from radial profiles.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace imagegen {

// 4096 x 4096 RGBA PNG; each returns the bytes of the finished file.
std::vector<uint8_t> MakeSaturnRing(const std::string& profilePng);
std::vector<uint8_t> MakeUranusRing(const std::string& profilePng);

}  // namespace imagegen
