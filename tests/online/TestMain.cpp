#include <gtest/gtest.h>

#include <QCoreApplication>

// The client and the downloads run on this thread's event loop.
int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
