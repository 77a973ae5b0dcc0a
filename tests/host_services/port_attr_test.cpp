// The port attribute string "speed,data bits,parity,stop bits".
#include <gtest/gtest.h>

#include "host/services/linux_services.h"

namespace {

using termsim::ParsePortAttr;
using termsim::PortAttr;

TEST(PortAttrParsing, ReadsTheUploadSettings) {
  PortAttr a;
  ASSERT_TRUE(ParsePortAttr("115200,8,n,1", &a));
  EXPECT_EQ(a.speed, 115200u);
  EXPECT_EQ(a.dataBits, 8);
  EXPECT_EQ(a.parity, termsim::PARITY_NONE);
  EXPECT_EQ(a.stopBits, 1);
}

TEST(PortAttrParsing, ReadsParityInEitherCase) {
  PortAttr a;
  ASSERT_TRUE(ParsePortAttr("9600,7,E,2", &a));
  EXPECT_EQ(a.speed, 9600u);
  EXPECT_EQ(a.dataBits, 7);
  EXPECT_EQ(a.parity, termsim::PARITY_EVEN);
  EXPECT_EQ(a.stopBits, 2);
  ASSERT_TRUE(ParsePortAttr("1200,5,o,1", &a));
  EXPECT_EQ(a.parity, termsim::PARITY_ODD);
  EXPECT_EQ(a.dataBits, 5);
  ASSERT_TRUE(ParsePortAttr("4000000,6,O,2", &a));
  EXPECT_EQ(a.speed, 4000000u);
  EXPECT_EQ(a.parity, termsim::PARITY_ODD);
  ASSERT_TRUE(ParsePortAttr("57600,8,N,1", &a));
  EXPECT_EQ(a.parity, termsim::PARITY_NONE);
}

TEST(PortAttrParsing, RefusesMalformedStringsAndLeavesTheResultAlone) {
  const char* bad[] = {
      "",               "115200",        "115200,8",       "115200,8,n",    "115200,8,n,",
      "115200,9,n,1",   "115200,4,n,1",  "abc,8,n,1",      "115200,8,x,1",  "115200,8,n,3",
      "115200,8,n,0",   "115200,8,n,1x", "115200,8,n,1,",  "115200,8,n,1 ", " 115200,8,n,1",
      "+115200,8,n,1",  "-9600,8,n,1",   "115201,8,n,1",   "0,8,n,1",       "115200;8;n;1",
      "115200,88,n,1",  "115200,8,nn,1", "115200,8,n,12",  "99999999999,8,n,1",
      "4294967296,8,n,1", ",8,n,1",
  };
  for (const char* text : bad) {
    PortAttr a;
    a.speed = 7;
    a.dataBits = 7;
    EXPECT_FALSE(ParsePortAttr(text, &a)) << '"' << text << '"';
    EXPECT_EQ(a.speed, 7u) << text;
    EXPECT_EQ(a.dataBits, 7) << text;
  }
  PortAttr a;
  EXPECT_FALSE(ParsePortAttr(nullptr, &a));
  EXPECT_FALSE(ParsePortAttr("115200,8,n,1", nullptr));
}

TEST(PortAttrParsing, KnowsTheCommonSpeeds) {
  for (uint32_t speed : {1200u, 2400u, 4800u, 9600u, 19200u, 38400u, 57600u, 115200u, 230400u,
                         460800u, 921600u, 1000000u, 2000000u, 3000000u}) {
    PortAttr a;
    const std::string text = std::to_string(speed) + ",8,n,1";
    EXPECT_TRUE(ParsePortAttr(text.c_str(), &a)) << text;
    EXPECT_EQ(a.speed, speed);
  }
  PortAttr a;
  EXPECT_FALSE(ParsePortAttr("300,8,n,1", &a));
  EXPECT_FALSE(ParsePortAttr("14400,8,n,1", &a));
}

}  // namespace
