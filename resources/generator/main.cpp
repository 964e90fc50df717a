// Makes one of the program's pictures from the source imagery:
//   imagegen map RECIPE OUT SOURCE [MOON]
//   imagegen saturn-ring OUT PROFILE
//   imagegen uranus-ring OUT PROFILE
//   imagegen stars OUT MILKYWAY CATALOGUE
//   imagegen about OUT EARTH MOON JUPITER SATURN RINGPROFILE
//   imagegen icon OUT SATURN RINGPROFILE SIZE
// The output depends on the inputs only, never on time or machine, so a build is
// reproducible byte for byte.
#include "image.h"
#include "about.h"
#include "bodies.h"
#include "rings.h"
#include "stars.h"

#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  using namespace imagegen;
  const std::vector<std::string> a(argv + 1, argv + argc);
  try {
    auto need = [&](size_t n) {
      if (a.size() != n) throw std::runtime_error("wrong number of arguments for " + a[0]);
    };
    if (a.empty()) throw std::runtime_error("no command");
    std::vector<uint8_t> bytes;
    std::string out;
    if (a[0] == "map") {
      if (a.size() < 4 || a.size() > 5) throw std::runtime_error("usage: map RECIPE OUT SOURCE [MOON]");
      out = a[2];
      bytes = MakeBodyMap(a[1], std::vector<std::string>(a.begin() + 3, a.end()));
    } else if (a[0] == "saturn-ring") {
      need(3);
      out = a[1];
      bytes = MakeSaturnRing(a[2]);
    } else if (a[0] == "uranus-ring") {
      need(3);
      out = a[1];
      bytes = MakeUranusRing(a[2]);
    } else if (a[0] == "stars") {
      need(4);
      out = a[1];
      bytes = MakeStarMap(a[2], a[3]);
    } else if (a[0] == "about") {
      need(7);
      out = a[1];
      bytes = MakeAboutPicture(a[2], a[3], a[4], a[5], a[6]);
    } else if (a[0] == "icon") {
      need(5);
      out = a[1];
      bytes = MakeIcon(a[2], a[3], std::stoi(a[4]));
    } else {
      throw std::runtime_error("unknown command " + a[0]);
    }
    WriteFile(out, bytes);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "imagegen: %s\n", e.what());
    return 1;
  }
}
