#include <gtest/gtest.h>

#include <QStringList>

#include "app/Unit2Catalogue.h"

using namespace sphaerix;

TEST(Catalogue, EveryBodyHasElevenFactLines) {
  for (int i = 0; i < BodyCount; ++i) {
    const QString facts = BodyFactsText(i);
    EXPECT_EQ(facts.split(QChar('\n')).size(), FactCount) << BodyName(i).toStdString();
    EXPECT_FALSE(facts.endsWith(QChar('\n')));
    EXPECT_FALSE(facts.contains(QChar('\r')));
  }
}

TEST(Catalogue, NamesAndTexturesFollowCatalogueOrder) {
  const char* names[] = {"Earth", "Mars",  "Jupiter", "Mercury",   "Neptune", "Saturn", "Uranus",
                         "Venus", "Pluto", "Moon",    "Enceladus", "Io",      "Europa"};
  // The Sun sits at index 10, between the Moon and Enceladus.
  int n = 0;
  for (int i = 0; i < BodyCount; ++i) {
    if (i == 10) {
      EXPECT_EQ(BodyName(i), "Sun");
      continue;
    }
    EXPECT_EQ(BodyName(i), QString::fromUtf8(names[n++]));
  }
  EXPECT_EQ(BodyTextureResourceName(0), "JpgImage_1");
  EXPECT_EQ(BodyTextureResourceName(13), "JpgImage_14");
  EXPECT_THROW(BodyName(14), std::out_of_range);
}

// Exact characters: the minus sign, superscripts, the multiplication and degree signs,
// and the spacing as shown.
TEST(Catalogue, FactsKeepTheirCharacters) {
  struct Case {
    int Body;
    int Line;
    const char16_t* Text;
  } cases[] = {
      {6, 5, u"\u22120.71833 d"},       {7, 5, u"\u2212243.025 d"},
      {9, 3, u"3.344g/cm\u00B3"},       {9, 9, u"10^-7Pa"},
      {0, 0, u"5.972\u00D710^24 kg"},   {0, 4, u"9.807 m/s\u00B2"},
      {0, 8, u"23.439\u00B0"},          {11, 10, u"Moon of Saturn"},
      {2, 5, u"9.925h"},                {12, 5, u"1.769 d"},
  };
  for (const Case& c : cases) {
    const QStringList lines = BodyFactsText(c.Body).split(QChar('\n'));
    EXPECT_EQ(lines.at(c.Line), QString::fromUtf16(c.Text)) << c.Body << ":" << c.Line;
  }
}

TEST(Catalogue, LabelsArePaddedToSeventeen) {
  const QStringList labels = FactLabelsText().split(QChar('\n'));
  ASSERT_EQ(labels.size(), FactCount);
  for (const QString& l : labels) {
    EXPECT_EQ(l.size(), 17) << l.toStdString();
    EXPECT_TRUE(l.endsWith(QChar(':')));
  }
  EXPECT_EQ(labels.first(), "            Mass:");
  EXPECT_EQ(labels.at(9), "Surface Pressure:");
  EXPECT_EQ(labels.last(), "       Has Moons:");
}

TEST(Catalogue, OnlySaturnAndUranusCarryRingAndTilt) {
  for (int i = 0; i < BodyCount; ++i) {
    const TBodyTilt t = BodyTilt(i);
    switch (i) {
      case 5:
        EXPECT_EQ(BodyRing(i), TBodyRing::Saturn);
        EXPECT_EQ(t.X, -5.0f);
        EXPECT_EQ(t.Z, -26.0f);
        break;
      case 6:
        EXPECT_EQ(BodyRing(i), TBodyRing::Uranus);
        EXPECT_EQ(t.X, -10.0f);
        EXPECT_EQ(t.Z, -97.0f);
        break;
      default:
        EXPECT_EQ(BodyRing(i), TBodyRing::None);
        EXPECT_EQ(t.X, 0.0f);
        EXPECT_EQ(t.Z, 0.0f);
    }
  }
}
