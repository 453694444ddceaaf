// Whether the engine opens its inspector port, in a build with the inspector
// and in one without it (this file is built both ways).
#include <gtest/gtest.h>

#include <QByteArray>

#include "engine/src/Inspector.h"

TEST(Inspector, OpensOnlyWhereBuiltInInDebugModeOnAValidPort) {
  qputenv("TIDEWELL_ENGINE_INSPECTOR_PORT", "9333");
  EXPECT_EQ(Inspector::port(true), TW_ENGINE_INSPECTOR ? 9333 : 0);
  EXPECT_EQ(Inspector::port(false), 0);
  for (const char *bad : {"0", "65536", "port"}) {
    qputenv("TIDEWELL_ENGINE_INSPECTOR_PORT", bad);
    EXPECT_EQ(Inspector::port(true), 0) << bad;
  }
}
