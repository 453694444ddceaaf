// Stands in for an uninstaller: records the program that started it (its
// parent's executable) and its own arguments in $TW_TEST_ROOT/probe.txt.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

int main(int argc, char **argv) {
  const char *root = std::getenv("TW_TEST_ROOT");
  if (!root)
    return 1;
  char parent[4096] = {};
  const std::string link = "/proc/" + std::to_string(getppid()) + "/exe";
  if (readlink(link.c_str(), parent, sizeof parent - 1) < 0)
    parent[0] = '?';
  const std::string path = std::string(root) + "/probe.txt.part";
  FILE *out = std::fopen(path.c_str(), "w");
  if (!out)
    return 1;
  std::fprintf(out, "%s\n", parent);
  for (int i = 1; i < argc; ++i)
    std::fprintf(out, "%s\n", argv[i]);
  std::fclose(out);
  // Whole or not at all, for the test polling it.
  return std::rename(path.c_str(), (std::string(root) + "/probe.txt").c_str()) == 0 ? 0 : 1;
}
