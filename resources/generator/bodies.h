// The body maps the program carries, made from the source imagery.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace imagegen {

// A body's 4096 x 2048 JPEG from its source map (and, for cratered bodies, the Moon's
// map as a second input). recipe names the body ("earth", "mars", ...), or is "copy"
// for a source already in final form, or "sun". Returns the bytes of the finished file.
std::vector<uint8_t> MakeBodyMap(const std::string& recipe, const std::vector<std::string>& inputs);

}  // namespace imagegen
