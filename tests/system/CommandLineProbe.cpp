// Prints its own command line as the system-information service reads it.
#include <cstdio>

#include "system/SystemInfo.h"

int main() {
  return std::fputs(SystemInfo().getCommandLine().toLocal8Bit().constData(), stdout) < 0;
}
