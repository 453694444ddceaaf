#include "app/EngineBinding.h"

#include <cstdlib>
#include <dlfcn.h>
#include <mutex>

#include "app/ModalMessage.h"

namespace {

const UINT requiredVersion[4] = {6, 0, 4, 5};

ISciterAPI *bind() {
  void *library = dlopen(EngineBinding::libraryName(), RTLD_NOW | RTLD_LOCAL);
  if (!library)
    return nullptr;
  auto entry = reinterpret_cast<SciterAPI_ptr>(dlsym(library, "SciterAPI"));
  if (!entry) {
    dlclose(library);
    return nullptr;
  }
  ISciterAPI *table = entry();
  for (UINT part = 0; table && part < 4; ++part) {
    if (table->SciterVersion(part) != requiredVersion[part]) {
      ModalMessage::show("Sciter version mismatch, quiting", "Error");
      table = nullptr;
      dlclose(library);
    }
  }
  return table;
}

} // namespace

const ISciterAPI &EngineBinding::api() {
  static std::once_flag once;
  static ISciterAPI *table = nullptr;
  std::call_once(once, [] {
    table = bind();
    if (!table)
      std::exit(255);
  });
  return *table;
}
