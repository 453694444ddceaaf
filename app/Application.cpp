#include "app/Application.h"

#include <string>
#include <vector>

#include "app/EngineBinding.h"
#include "app/TerminationSignals.h"
#include "app/TinyWindow.h"
#include "base/resources/EmbeddedArchive.h"
#include "bridge/NativeUtil.h"
#include "bridge/VirtualKey.h"

namespace {

// The process-wide archive handle; the embedded bytes stay in place.
HSARCHIVE archiveHandle = nullptr;

const UINT mainWindowFlags = SW_MAIN | SW_ENABLE_DEBUG; // 640

} // namespace

Application::Application(int argc, char **argv, QString startPage)
    : argc(argc), argv(argv), startPage(std::move(startPage)) {}

void Application::registerGlobals(const ISciterAPI &api) {
  auto *util = new NativeUtil(api);
  registerHost(api, *util);
  api.SciterSetGlobalAsset(util);
  api.SciterSetGlobalAsset(new VirtualKey(api));
}

bool Application::claimSession() {
  return true;
}

void Application::registerHost(const ISciterAPI &, NativeUtil &) {}

ResourceDecision::ItemLookup Application::archiveLookup(const ISciterAPI &api) {
  return [&api](const QString &path, const uint8_t **data, uint32_t *size) {
    UINT length = 0;
    const bool found =
        api.SciterGetArchiveItem(archiveHandle, reinterpret_cast<LPCWSTR16>(path.utf16()), data,
                                 &length) != 0;
    *size = length;
    return found;
  };
}

int Application::run() {
  const ISciterAPI &api = EngineBinding::api();

  std::vector<std::u16string> arguments;
  std::vector<LPCWSTR16> vector;
  for (int i = 0; i < argc; ++i)
    arguments.push_back(QString::fromLocal8Bit(argv[i]).toStdU16String());
  for (const std::u16string &argument : arguments)
    vector.push_back(argument.c_str());
  vector.push_back(nullptr);
  api.SciterExec(SCITER_APP_INIT, static_cast<uintptr_t>(argc),
                 reinterpret_cast<uintptr_t>(vector.data()));
  if (!claimSession()) {
    api.SciterExec(SCITER_APP_SHUTDOWN, 0, 0);
    return 0;
  }

  if (archiveHandle)
    api.SciterCloseArchive(archiveHandle);
  const EmbeddedArchive archive = embeddedArchive();
  archiveHandle = api.SciterOpenArchive(archive.data, archive.size);

  api.SciterSetOption(nullptr, SCITER_SET_SCRIPT_RUNTIME_FEATURES,
                      ALLOW_FILE_IO | ALLOW_SOCKET_IO | ALLOW_EVAL | ALLOW_SYSINFO);
  api.SciterSetOption(nullptr, SCITER_SET_DEBUG_MODE, 1);
  api.SciterSetOption(nullptr, SCITER_FONT_SMOOTHING, 3);
  api.SciterSetOption(nullptr, SCITER_SET_MAX_HTTP_DATA_LENGTH, 1024);
  api.SciterSetOption(nullptr, SCITER_SET_UX_THEMING, 1);

  auto *window = new TinyWindow(api, mainWindowFlags, archiveLookup(api));
  window->addRef();
  mainHandle = window->handle();

  registerGlobals(api);

  api.SciterLoadFile(window->handle(), reinterpret_cast<LPCWSTR16>(startPage.utf16()));
  api.SciterWindowExec(window->handle(), SCITER_WINDOW_SET_STATE, SCITER_WINDOW_STATE_SHOWN, 0);
  // A signal to end ends the loop as closing the window does, so the
  // objects released below free what they hold.
  TerminationSignals::install([&api] { api.SciterExec(SCITER_APP_STOP, 0, 0); });
  // Non-zero when the engine could not go on (its renderer died).
  const intptr_t loop = api.SciterExec(SCITER_APP_LOOP, 0, 0);

  window->release();
  api.SciterExec(SCITER_APP_SHUTDOWN, 0, 0);
  return loop == 0 ? 0 : 1;
}
