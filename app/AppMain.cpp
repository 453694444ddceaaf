// The application program's entry: the frame with its tray window.
#include "app/TrayApplication.h"
#include "base/catalogue/Constants.h"

int main(int argc, char **argv) {
  return TrayApplication(argc, argv, PageCatalogue::mainPage()).run();
}
