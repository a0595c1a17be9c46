#include <gtest/gtest.h>

#include "constants/Constants.h"

namespace {

TEST(UnscrambleText, RecordsGiveTheirLengthInBytes) {
  constexpr ScrambledText<4> empty = Scramble<4>("");
  constexpr ScrambledText<4> full = Scramble<4>("a\\,\xC3\xA9");  // "a\,é"
  EXPECT_EQ(UnscrambleText(empty), "");
  EXPECT_EQ(UnscrambleText(full), "a\\,\xE9");
  EXPECT_EQ(full.Record[0], 4);
  // The stored bytes are not the text's own.
  for (int i = 1; i <= 4; ++i) EXPECT_NE(full.Record[i], UnscrambleText(full)[i - 1]);
}

TEST(UnscrambleText, ReadsOnlyTheMeaningfulBytes) {
  ScrambledText<6> record = Scramble<6>("ab");
  for (int i = 3; i <= 6; ++i) record.Record[i] = 0x55;  // whatever lies past the length
  EXPECT_EQ(UnscrambleText(record), "ab");
}

TEST(UnscrambleText, ANulComesOutLikeAnyOtherByte) {
  ScrambledText<3> record{};
  record.Record[0] = 3;
  for (int i = 1; i <= 3; ++i) record.Record[i] = ScrambleKey;  // each byte unscrambles to NUL
  EXPECT_EQ(UnscrambleText(record), std::string(3, '\0'));
}

TEST(Constants, EachTextFitsItsRoleAndIsTheSameEveryTime) {
  EXPECT_EQ(UnscrambleText(IconKeyPath),
            "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Icons");
  EXPECT_EQ(UnscrambleText(RefreshKeyPath), "Control Panel\\Desktop\\WindowMetrics");
  EXPECT_EQ(UnscrambleText(RefreshValueName), "Shell Icon Size");
  EXPECT_EQ(UnscrambleText(RestoreReference), "shell32.dll,4");
  EXPECT_EQ(UnscrambleText(TrailerLine), UnscrambleText(TrailerLine));
  EXPECT_LE(UnscrambleText(TrailerLine).Size(), 22u);
  for (const std::string& name : {std::string(UnscrambleText(IconLibraryName).View()),
                                  std::string(UnscrambleText(OldLibraryName).View())}) {
    EXPECT_FALSE(name.empty());
    EXPECT_LE(name.size(), 10u);
    EXPECT_EQ(name.find_first_of("\\/:*?\"<>|"), std::string::npos) << name;
  }
  EXPECT_NE(UnscrambleText(IconLibraryName), UnscrambleText(OldLibraryName));
}

}  // namespace
