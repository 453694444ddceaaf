// The program entry of every variant; the build chooses the start page and
// the archive the program links.
#include "app/Application.h"
#include "base/catalogue/Constants.h"

int main(int argc, char **argv) {
  return Application(argc, argv, PageCatalogue::TW_START_PAGE()).run();
}
