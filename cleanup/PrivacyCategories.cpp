#include "cleanup/PrivacyCategories.h"

const std::vector<PrivacyCategory> &privacyCategories() {
  static const std::vector<PrivacyCategory> table = {
      {"thumbcache", "缩略图缓存", "Windows 图片缩略图缓存文件", PrivacySource::Thumbnails},
      {"recent", "最近使用的文档", "开始菜单和跳转列表中的最近文档记录",
       PrivacySource::RecentFiles},
      {"temp", "系统临时文件", "系统和应用程序生成的临时文件", PrivacySource::TempFiles},
      {"prefetch", "Windows 预读取文件", "加速程序启动的预读取缓存", PrivacySource::Nothing},
      {"recyclebin", "回收站", "已删除但尚未清空的文件", PrivacySource::Trash},
      {"chrome", "Chrome 浏览器缓存", "Chrome 浏览器的网页缓存文件", PrivacySource::ChromiumCaches},
      {"edge", "Edge 浏览器缓存", "Edge 浏览器的网页缓存文件", PrivacySource::ChromiumCaches},
      {"firefox", "Firefox 浏览器缓存", "Firefox 浏览器的网页缓存文件",
       PrivacySource::FirefoxCaches},
  };
  return table;
}

const std::vector<ChromiumBrowser> &chromiumBrowsers() {
  // The first row of a category names the folder its item shows.
  static const std::vector<ChromiumBrowser> table = {
      {"chrome", "google-chrome", "com.google.Chrome", nullptr},
      {"chrome", "google-chrome-beta", nullptr, nullptr},
      {"chrome", "google-chrome-unstable", "com.google.ChromeDev", nullptr},
      {"chrome", "chromium", "org.chromium.Chromium", "chromium"},
      {"edge", "microsoft-edge", "com.microsoft.Edge", nullptr},
      {"edge", "microsoft-edge-beta", nullptr, nullptr},
      {"edge", "microsoft-edge-dev", "com.microsoft.EdgeDev", nullptr},
  };
  return table;
}

const std::vector<const char *> &chromiumCacheFolders() {
  static const std::vector<const char *> folders = {"Cache", "Code Cache"};
  return folders;
}

const std::vector<FirefoxInstall> &firefoxInstalls() {
  // The first row names the folder the item shows.
  static const std::vector<FirefoxInstall> table = {
      {".mozilla/firefox", "", false},
      {".var/app/org.mozilla.firefox/.mozilla/firefox",
       ".var/app/org.mozilla.firefox/cache/mozilla/firefox", true},
      {"snap/firefox/common/.mozilla/firefox", "snap/firefox/common/.cache/mozilla/firefox", true},
  };
  return table;
}
