#include "launcher/invocation.h"

#include <gtest/gtest.h>

namespace zeltra {
namespace {

struct SplitCase {
  std::string text;
  std::string title;
  std::string head;
  std::string tail;
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class SplitTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitTest, GivesTheThreeFields) {
  const SplitCase& c = GetParam();
  const auto fields = parseInvocation(c.text);
  ASSERT_TRUE(fields.has_value()) << c.text;
  EXPECT_EQ(fields->targetTitle, c.title);
  EXPECT_EQ(fields->outputHead, c.head);
  EXPECT_EQ(fields->outputTail, c.tail);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SplitTest,
    ::testing::Values(
        SplitCase{"Demo Window#C:\\rec\\#clip.avi", "Demo Window", "C:\\rec\\", "clip.avi"},
        SplitCase{"A#B", "A", "B", ""}, SplitCase{"A##B#X#Y", "A", "B", "X#Y"},
        SplitCase{"#A#B#X", "A", "B", "X"}, SplitCase{"A#B#", "A", "B", ""},
        SplitCase{"A#B##X", "A", "B", "#X"},  // the tail starts right after one "#"
        SplitCase{"###A###B", "A", "B", ""}, SplitCase{"A# B", "A", " B", ""},
        SplitCase{" A #B# ", " A ", "B", " "}, SplitCase{"\"A#B#c.avi\"", "\"A", "B", "c.avi\""},
        SplitCase{"Title#C:\\whole\\path.avi", "Title", "C:\\whole\\path.avi", ""},
        SplitCase{"t\xE9l\xE9#D:\\\x83\x5C\\#x", "t\xE9l\xE9", "D:\\\x83\x5C\\", "x"}),
    [](const ::testing::TestParamInfo<SplitCase>& info) {
      return "Case" + std::to_string(info.index);
    });

TEST(SplitTest, KeepsAVeryLongTitleWhole) {
  const std::string title(30000, 'w');
  const auto fields = parseInvocation(title + "#C:\\a.avi");
  ASSERT_TRUE(fields.has_value());
  EXPECT_EQ(fields->targetTitle, title);
  EXPECT_EQ(fields->outputHead, "C:\\a.avi");
}

TEST(SplitTest, TextsWithoutASecondFieldGiveNothing) {
  for (const char* text : {"", "#", "####", "A", "A#", "A###", "#A#", "##A##"}) {
    EXPECT_FALSE(parseInvocation(text).has_value()) << '"' << text << '"';
  }
}

TEST(SplitTest, OutputPathJoinsHeadAndTailWithNothingBetween) {
  const auto fields = parseInvocation("T#C:\\rec\\cl#ip.avi");
  ASSERT_TRUE(fields.has_value());
  EXPECT_EQ(fields->outputPath(), "C:\\rec\\clip.avi");
}

}  // namespace
}  // namespace zeltra
