// The installer's archive as the program carries it.
#include <QFile>

#include <gtest/gtest.h>

#include "base/resources/EmbeddedArchive.h"
#include "engine/archive/ArchiveReader.h"
#include "tests/archive/ArchiveTestSupport.h"

namespace {

TEST(EmbeddedArchive, IsTheBuiltArchiveWithItsOwnLength) {
  const EmbeddedArchive e = embeddedArchive();
  const QByteArray file = ArchiveTest::readFile(QStringLiteral(INSTALLER_ARCHIVE));
  ASSERT_FALSE(file.isEmpty());
  EXPECT_EQ(uint32_t(file.size()), e.size);
  EXPECT_EQ(file, QByteArray(reinterpret_cast<const char *>(e.data), int(e.size)));
}

TEST(EmbeddedArchive, CarriesTheGeneratedBrandConfiguration) {
  const EmbeddedArchive e = embeddedArchive();
  ArchiveReader reader(e.data, e.size);
  const uint8_t *data = nullptr;
  uint32_t size = 0;
  ASSERT_TRUE(reader.item("common/js/brandconfig.js", &data, &size));
  const QByteArray module(reinterpret_cast<const char *>(data), int(size));
  EXPECT_TRUE(module.contains("export const ApiBaseUrl = \"" TW_SERVICE_BASE_URL "\";"));
  EXPECT_TRUE(module.contains("export const Domain = \"" TW_SERVICE_DOMAIN "\";"));
  EXPECT_TRUE(module.contains("export const AppId = 10002;"));
  EXPECT_TRUE(module.contains("export const Company = \"Marrowfield Inc., Ltd\";"));
  EXPECT_FALSE(module.contains("{"));
  EXPECT_TRUE(reader.item("common/js/brandconfig.js.template", &data, &size));
  EXPECT_FALSE(reader.item("unstaller/unstaller.html", &data, &size));
}

} // namespace
