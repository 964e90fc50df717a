// The residency of the body's maps, its rings and the sky, driven by events alone: a
// decoder that only writes down what it is asked, and the decode ends fed in by hand.
#include <gtest/gtest.h>

#include <cctype>
#include <sstream>
#include <string>
#include <vector>

#include "app/map_residency.h"

using namespace sphaerix;

namespace {

std::string Name(const TMapPicture& APicture) {
  std::ostringstream s;
  switch (APicture.Kind) {
    case TMapKind::Body:
      s << "body " << APicture.Body;
      break;
    case TMapKind::Ring:
      s << "ring " << APicture.Body;
      break;
    case TMapKind::Stars:
      s << "stars";
      break;
  }
  s << "/" << APicture.Reduction;
  return s.str();
}

class TLogDecoder : public IMapDecoder {
 public:
  std::vector<std::string> Log;
  void Decode(const TMapPicture& APicture) override { Log.push_back("decode " + Name(APicture)); }
  void Drop(const TMapPicture& APicture) override { Log.push_back("drop " + Name(APicture)); }
  void HandOver(const TMapPicture& APicture) override { Log.push_back("hand over " + Name(APicture)); }
  void ReportFailure(const TMapPicture& APicture) override { Log.push_back("report " + Name(APicture)); }
};

// "body 3/2", "ring 5/2", "stars/1" back into a picture.
TMapPicture Parse(const std::string& AText) {
  TMapPicture p;
  std::istringstream s(AText);
  std::string kind;
  char slash = 0;
  if (AText.rfind("stars", 0) == 0) {
    p.Kind = TMapKind::Stars;
    s.ignore(5);
  } else {
    s >> kind >> p.Body;
    p.Kind = kind == "ring" ? TMapKind::Ring : TMapKind::Body;
  }
  s >> slash >> p.Reduction;
  return p;
}

// Runs the events of AScript ("want 1; start; ok body 1/2; swap 1; end", see below) and
// gives back what the decoder was asked, "; " between, and "shows N" for each swap.
std::string Play(TMapResidency& AMaps, TLogDecoder& ADecoder, const std::string& AScript) {
  ADecoder.Log.clear();
  std::istringstream events(AScript);
  std::string event;
  while (std::getline(events, event, ';')) {
    event.erase(0, event.find_first_not_of(' '));
    std::istringstream e(event);
    std::string verb;
    e >> verb;
    std::string rest;
    std::getline(e, rest);
    rest.erase(0, rest.find_first_not_of(' '));
    if (verb == "begin") AMaps.Begin();
    else if (verb == "want") AMaps.BodyWanted(std::stoi(rest));
    else if (verb == "z") AMaps.CameraDistance(std::stof(rest));
    else if (verb == "frame") AMaps.FirstFrameShown();
    else if (verb == "start") AMaps.SelectionStarted();
    else if (verb == "end") AMaps.SelectionEnded();
    else if (verb == "ok") AMaps.DecodeEnded(Parse(rest), true);
    else if (verb == "fail") AMaps.DecodeEnded(Parse(rest), false);
    else if (verb == "swap") ADecoder.Log.push_back("shows " + std::to_string(AMaps.SwapTo(std::stoi(rest))));
    else if (verb == "close") AMaps.Closed();
    else ADD_FAILURE() << "no such event: " << event;
  }
  std::string log;
  for (const std::string& line : ADecoder.Log) log += (log.empty() ? "" : "; ") + line;
  return log;
}

// The start as the window runs it: the sky and Earth's quarter map, both in place before
// the first frame; Earth shown at the default distance.
const char* const Started =
    "begin; z -15; want 0; start; ok stars/2; ok body 0/4; swap 0; end; frame; ok stars/1; ok body 0/2";

struct TCase {
  const char* Name;
  const char* Before;  // brings the residency where the case begins; its log is not checked
  const char* Events;
  const char* Asked;
};

const TCase Cases[] = {
    {"the start decodes the sky at half and the map at a quarter, the rest after the first frame", "",
     "begin; z -15; want 0; start; ok stars/2; ok body 0/4; swap 0; end; frame",
     "decode stars/2; decode body 0/4; hand over stars/2; hand over body 0/4; shows 0; decode stars/1; "
     "decode body 0/2"},
    {"the finer map takes the coarser one's place once decoded", "begin; z -15; want 0; start; ok stars/2; "
     "ok body 0/4; swap 0; end; frame", "ok body 0/2; ok stars/1", "hand over body 0/2; hand over stars/1"},
    {"zooming in brings the whole map, one decode at a time", Started, "z -14; z -13; ok body 0/1; z -12",
     "decode body 0/1; hand over body 0/1"},
    {"zooming out keeps the finer map", Started, "z -10; ok body 0/1; z -20; z -30", "decode body 0/1; hand over body 0/1"},
    {"a switch decodes the body at the size its distance needs", Started, "want 1; start; ok body 1/2; swap 1; end",
     "decode body 1/2; hand over body 1/2; shows 1"},
    {"a switch drops a finer map on its way and waits for its end", Started,
     "z -10; want 1; start; ok body 0/1; ok body 1/1; swap 1; end",
     "decode body 0/1; drop body 0/1; decode body 1/1; hand over body 1/1; shows 1"},
    {"a burst keeps one decode and ends on the newest body", Started,
     "want 1; start; want 2; want 3; ok body 1/2; want 4; ok body 3/2; ok body 4/2; swap 4; end",
     "decode body 1/2; drop body 1/2; decode body 3/2; drop body 3/2; decode body 4/2; hand over body 4/2; shows 4"},
    {"back to the body shown, nothing decodes", Started, "want 1; start; want 0; ok body 1/2; swap 0; end",
     "decode body 1/2; drop body 1/2; shows 0"},
    {"a ring decodes with its body, and not again while shown", Started,
     "want 5; start; ok body 5/2; ok ring 5/2; swap 5; end; want 5; start; swap 5; end",
     "decode body 5/2; decode ring 5/2; hand over body 5/2; hand over ring 5/2; shows 5; shows 5"},
    {"a ring no longer wanted goes", Started, "want 6; start; want 1; ok ring 6/2; ok body 6/2; ok body 1/2; swap 1; end",
     "decode body 6/2; decode ring 6/2; drop body 6/2; drop ring 6/2; decode body 1/2; hand over body 1/2; shows 1"},
    {"a map that fails leaves the body shown before, reported once", Started,
     "want 1; start; fail body 1/2; swap 1; end; z -10; ok body 0/1",
     "decode body 1/2; report body 1/2; shows 0; decode body 0/1; hand over body 0/1"},
    {"a map that fails at the start leaves the body without one", "",
     "begin; z -15; want 0; start; ok stars/2; fail body 0/4; swap 0; end; frame; ok stars/1",
     "decode stars/2; decode body 0/4; hand over stars/2; report body 0/4; shows 0; decode stars/1; "
     "hand over stars/1"},
    {"a ring that fails leaves its body without it, reported once", Started,
     "want 5; start; ok body 5/2; fail ring 5/2; swap 5; end",
     "decode body 5/2; decode ring 5/2; hand over body 5/2; report ring 5/2; shows 5"},
    {"a finer map that fails leaves the coarser one and is not tried again", Started,
     "z -10; fail body 0/1; z -9; z -8", "decode body 0/1; report body 0/1"},
    {"a sky that fails stays as it is, not tried again", "", "begin; fail stars/2; frame",
     "decode stars/2; report stars/2"},
    {"closing drops what decodes and starts nothing more", Started, "want 1; start; close; ok body 1/2; swap 1; end; z -6",
     "decode body 1/2; drop body 1/2; shows 1"},
};

void PrintTo(const TCase& ACase, std::ostream* AOut) { *AOut << ACase.Name; }

class MapResidencyCase : public ::testing::TestWithParam<TCase> {};

TEST_P(MapResidencyCase, AsksTheDecoderForWhatTheEventsNeed) {
  TLogDecoder decoder;
  TMapResidency maps(decoder);
  maps.SetRingBodies((1u << 5) | (1u << 6));
  Play(maps, decoder, GetParam().Before);
  EXPECT_EQ(Play(maps, decoder, GetParam().Events), GetParam().Asked);
}

INSTANTIATE_TEST_SUITE_P(Table, MapResidencyCase, ::testing::ValuesIn(Cases),
                         [](const ::testing::TestParamInfo<TCase>& AInfo) {
                           std::string name;
                           for (const char* c = AInfo.param.Name; *c; ++c)
                             if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
                           return name;
                         });

TEST(MapResidency, SaysWhatIsShownAndWhenTheSelectionMayGoOn) {
  TLogDecoder decoder;
  TMapResidency maps(decoder);
  maps.SetRingBodies(1u << 5);
  Play(maps, decoder, Started);
  EXPECT_EQ(maps.ShownBody(), 0);
  EXPECT_EQ(maps.ShownReduction(), 2);
  EXPECT_EQ(maps.StarsReduction(), 1);
  EXPECT_TRUE(maps.Settled());
  Play(maps, decoder, "want 5; start; ok body 5/2");
  EXPECT_FALSE(maps.BodyReady(5)) << "the ring is still on its way";
  Play(maps, decoder, "ok ring 5/2");
  EXPECT_TRUE(maps.BodyReady(5));
  Play(maps, decoder, "swap 5");
  EXPECT_TRUE(maps.RingInPlace());
  Play(maps, decoder, "want 1; ok body 1/2");
  EXPECT_TRUE(maps.BodyReady(1));
  Play(maps, decoder, "swap 1; end");
  EXPECT_FALSE(maps.RingInPlace());
  EXPECT_EQ(maps.ShownBody(), 1);
  EXPECT_TRUE(maps.Settled());
  // A failed switch names the body still shown as the one wanted.
  Play(maps, decoder, "want 2; start; fail body 2/2; swap 2; end");
  EXPECT_EQ(maps.Wanted(), 1);
  EXPECT_EQ(maps.ShownBody(), 1);
  EXPECT_TRUE(maps.Settled());
}

}  // namespace
