#pragma once
// Where the swap facility reads and writes, and the programs it runs. Tests
// put a prepared tree and recording programs in their place.
#include <QString>

struct SwapPaths {
  QString procSwaps = QStringLiteral("/proc/swaps");
  QString fstab = QStringLiteral("/etc/fstab");
  QString storageRoot = QStringLiteral("/"); // mount table and sysfs
  QString mkswap = QStringLiteral("/sbin/mkswap");
  QString swapon = QStringLiteral("/sbin/swapon");
  QString swapoff = QStringLiteral("/sbin/swapoff");
  // The privileged helper and how it is started when we are not root.
  QString helper = QStringLiteral(TW_SWAP_HELPER_PATH);
  QString pkexec = QStringLiteral("/usr/bin/pkexec");
};
