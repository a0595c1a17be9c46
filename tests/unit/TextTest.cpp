#include <cstdint>
#include <type_traits>

#include "tests/unit/TestSupport.h"

namespace {

// Only a constant is held without a copy: a buffer that can change does not
// compile. (A constant array without its NUL, or with more than one, stops
// the build itself, which no test here can show.)
static_assert(std::is_constructible_v<Text, const char (&)[4]>);
static_assert(!std::is_constructible_v<Text, char (&)[4]>);

class TextTest : public PivaneTest {};

// Sizes that would overflow fail the text like memory refused, and touch no
// byte of the parts.
TEST_F(TextTest, JoinOfSizesPastMemoryFails) {
  const char byte = 'x';
  const std::string_view huge(&byte, SIZE_MAX / 2 + 1);
  EXPECT_FALSE(Join({huge, huge, "x"}).Ok());
  EXPECT_FALSE(Join({"x", std::string_view(&byte, SIZE_MAX)}).Ok());
  EXPECT_EQ(Windows().Allocations, 0);
}

}  // namespace
