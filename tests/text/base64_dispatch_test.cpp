// Base64Decode lets window events run while it decodes. This test stands in
// for the platform layer with a dispatch that counts its calls and, like a
// real event handler may, decodes again from inside.
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "text/base64.h"

namespace {
int dispatches = 0;
text::Bytes nestedResult;
}  // namespace

void platform::DispatchPendingEvents() {
  if (++dispatches == 1) nestedResult = text::Base64Decode("QQ==");
}

namespace text {
namespace {

TEST(Base64DispatchTest, DispatchesWhileDecodingAndAllowsNestedDecoding) {
  dispatches = 0;
  EXPECT_EQ(Base64Decode("QUJD"), Bytes{"ABC"});
  EXPECT_GE(dispatches, 2) << "once for the outer and once for the nested decode";
  EXPECT_EQ(nestedResult, Bytes{"A"});
}

TEST(Base64DispatchTest, NothingToDecodeDispatchesNothing) {
  dispatches = 0;
  EXPECT_EQ(Base64Decode(" \r\n"), Bytes{});
  EXPECT_EQ(dispatches, 0);
}

}  // namespace
}  // namespace text
