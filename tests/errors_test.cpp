#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "kxlib32.h"
#include "session/errors.h"

TEST(ErrorTexts, ListedCodesGiveTheirExactText) {
  EXPECT_STREQ(pxErrorMsg(0x20000018), "Operation canceled by user");
  EXPECT_STREQ(pxErrorMsg(0x2001000B), "Invalid wiremap test aborted!");
  EXPECT_STREQ(pxErrorMsg(0x20000000), "Unable to allocate memory");
  EXPECT_STREQ(pxErrorMsg(0x2000002B), "Timed out waiting for response from scanner.");
  EXPECT_STREQ(pxErrorMsg(0x200003E8), "Unknown communication error");
  EXPECT_STREQ(pxErrorMsg(0x200003F5), "The device's baud rate is unsupported.");
  EXPECT_STREQ(pxErrorMsg(0x200107D6), "Error while attempting to retrieve main unit serial number. ");
  EXPECT_STREQ(pxErrorMsg(0x2001001F), "Out of memory space to store Autotests.");
  EXPECT_STREQ(pxErrorMsg(0x2000001F), "Excessive Comm errors communicating with Scanner.Try Reducing Baud Rate.");
}

TEST(ErrorTexts, ZeroAndUnlistedCodesAreUnknownInternalError) {
  EXPECT_STREQ(pxErrorMsg(0), "Unknown Internal Error");
  EXPECT_STREQ(pxErrorMsg(0x2000002C), "Unknown Internal Error");
  EXPECT_STREQ(pxErrorMsg(0x200003EE), "Unknown Internal Error");
  EXPECT_STREQ(pxErrorMsg(0x2001000C), "Unknown Internal Error");
  EXPECT_STREQ(pxErrorMsg(KXERR_CARD_BASE + 5), "Unknown Internal Error");
  EXPECT_STREQ(pxErrorMsg(0xFFFFFFFF), "Unknown Internal Error");
}

TEST(ErrorTexts, TextsStayValidAcrossCalls) {
  const char* a = pxErrorMsg(0x20000012);
  const char* b = pxErrorMsg(0x20000023);
  EXPECT_NE(a, b);
  EXPECT_STREQ(a, "No Scanner found");
  EXPECT_STREQ(b, "Selected Com Port is unavailable");
}

TEST(MapWinError, PortErrorsBecomeLibraryCodesOthersPassThrough) {
  EXPECT_EQ(MapWinError(2), 0x20000023u);
  EXPECT_EQ(MapWinError(5), 0x20000024u);
  EXPECT_EQ(MapWinError(87), 87u);
  EXPECT_EQ(MapWinError(31), 31u);
  EXPECT_EQ(MapWinError(0), 0u);  // the end row's code is never returned
}
