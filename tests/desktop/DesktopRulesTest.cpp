// The rules behind the tray menu's placement, the outside-click test and the
// addresses openUrl accepts.
#include <gtest/gtest.h>

#include "bridge/DesktopOpener.h"
#include "bridge/OutsideClickWatcher.h"
#include "bridge/TrayIcon.h"

TEST(TrayMenuPlacement, CentredAboveTheCursorAndKeptInsideTheWorkAreaExceptAtTheBottom) {
  const QRect area(0, 0, 1600, 1160); // a panel takes the bottom 40 rows
  const QSize menu(168, 88);
  EXPECT_EQ(TrayIcon::menuPosition({800, 1180}, menu, area), QPoint(716, 1090));
  EXPECT_EQ(TrayIcon::menuPosition({800, 1181}, {169, 88}, area), QPoint(716, 1091))
      << "half the width rounds toward zero";
  EXPECT_EQ(TrayIcon::menuPosition({10, 1180}, menu, area), QPoint(0, 1090)) << "left edge";
  EXPECT_EQ(TrayIcon::menuPosition({1590, 1180}, menu, area), QPoint(1432, 1090))
      << "flush with the right edge";
  EXPECT_EQ(TrayIcon::menuPosition({800, 20}, menu, area), QPoint(716, 0)) << "top edge";
  EXPECT_EQ(TrayIcon::menuPosition({800, 1600}, menu, area), QPoint(716, 1510))
      << "no limit at the bottom";
  const QRect second(1600, 100, 1024, 768);
  EXPECT_EQ(TrayIcon::menuPosition({1610, 500}, menu, second), QPoint(1600, 410));
  EXPECT_EQ(TrayIcon::menuPosition({1610, 500}, menu, QRect()), QPoint(1526, 410))
      << "without a work area the menu is only centred";
}

TEST(MenuOutsideClick, TheRightAndBottomEdgesAreOutside) {
  const QRect menu(100, 200, 50, 40); // x 100..149, y 200..239
  EXPECT_FALSE(OutsideClickWatcher::outside(menu, {100, 200}));
  EXPECT_FALSE(OutsideClickWatcher::outside(menu, {149, 239}));
  EXPECT_TRUE(OutsideClickWatcher::outside(menu, {150, 220}));
  EXPECT_TRUE(OutsideClickWatcher::outside(menu, {120, 240}));
  EXPECT_TRUE(OutsideClickWatcher::outside(menu, {99, 220}));
  EXPECT_TRUE(OutsideClickWatcher::outside(menu, {120, 199}));
  EXPECT_TRUE(OutsideClickWatcher::outside(QRect(10, 10, 0, 0), {10, 10}))
      << "an empty menu has no inside";
}

TEST(OpenUrl, OnlyWebAndMailAddressesAreOpened) {
  for (const char *url : {"https://www.tidewell.example/help?q=1#top", "HTTP://example.com",
                          "http://127.0.0.1:8080/", "mailto:support@tidewell.example"})
    EXPECT_TRUE(DesktopOpener::isOpenableUrl(url)) << url;
  for (const char *url : {"file:///usr/share/applications/xterm.desktop", "/usr/bin/xterm", "xterm",
                          "javascript:alert(1)", "smb://server/share", "ftp://example.com/",
                          "http://", "https:///path", "mailto:", "data:text/html,hi",
                          "vscode://file/etc/passwd", "http://exa mple.com/", ""})
    EXPECT_FALSE(DesktopOpener::isOpenableUrl(url)) << url;
}
