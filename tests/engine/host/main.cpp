// The engine's test host: packs a folder of test pages into an archive,
// serves it the way the programs do, registers TestNative and runs windows.
//   engine-test-host --pages DIR --start URL [--second URL] [--features N]
//                    [--no-debug] [--flags N] [--delay PATH] [--report-dialogs]
// With --report-dialogs, every dialog the engine opens is printed with its
// buttons ("dialog TITLE: BUTTON|BUTTON") and then cancelled.
#include "engine/archive/ArchiveWriter.h"
#include "engine/include/tidewell/engine-api.h"
#include "tests/engine/host/StaticAsset.h"
#include "tests/engine/host/TestNative.h"

#include <QAbstractButton>
#include <QApplication>
#include <QByteArray>
#include <QDialog>
#include <QDirIterator>
#include <QFile>
#include <QString>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {
ISciterAPI *api = nullptr;
HSARCHIVE archive = nullptr;
HWINDOW mainWindow = nullptr;
TestNative *native = nullptr;
QString delayedPath;

QByteArray packPages(const QString &folder) {
  ArchiveWriter writer;
  QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    writer.add(path.mid(folder.size() + 1), file.readAll(), path);
  }
  QByteArray bytes;
  QString error;
  if (!writer.build(&bytes, &error))
    std::fprintf(stderr, "archive: %s\n", qPrintable(error));
  return bytes;
}

// The programs' resource loader: this://app/ from the archive.
UINT hostCallback(SCITER_CALLBACK_NOTIFICATION *pns, void *) {
  if (pns->code == SC_DATA_LOADED) {
    const auto *loaded = reinterpret_cast<SCN_DATA_LOADED *>(pns);
    std::printf("data loaded %s %u\n", qPrintable(QString::fromUtf16(loaded->uri)),
                loaded->dataSize);
    std::fflush(stdout);
    return 0;
  }
  if (pns->code == SC_ENGINE_DESTROYED) {
    std::printf("engine destroyed\n");
    std::fflush(stdout);
    return 0;
  }
  if (pns->code != SC_LOAD_DATA)
    return 0;
  auto *load = reinterpret_cast<SCN_LOAD_DATA *>(pns);
  const QString uri = QString::fromUtf16(load->uri);
  native->loadedUris.push_back(uri.toStdString());
  const QString prefix = "this://app/";
  if (!uri.startsWith(prefix))
    return LOAD_OK;
  QString path = uri.mid(prefix.size());
  if (path.startsWith("//"))
    path = path.mid(2);
  const std::u16string path16 = path.toStdU16String();
  const uint8_t *data = nullptr;
  UINT size = 0;
  if (!api->SciterGetArchiveItem(archive, path16.c_str(), &data, &size) || size == 0)
    return LOAD_DISCARD;
  if (path == delayedPath) {
    // Answered later from another thread, as a host reading slowly would.
    std::thread([hwnd = pns->hwnd, uri16 = uri.toStdU16String(), data, size] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      api->SciterDataReady(hwnd, uri16.c_str(), data, size);
    }).detach();
    return LOAD_DELAYED;
  }
  api->SciterDataReady(pns->hwnd, load->uri, data, size);
  return LOAD_OK;
}

// The window's script interface: Window.this.xcall("title"), ("sum", a, b)
// and ("setTitle", text).
som_atom_t titleAtom, sumAtom;
BOOL32 windowTitle(som_asset_t *, UINT, const VALUE *, VALUE *result) {
  api->ValueStringDataSet(result, u"test window", 11, 0);
  return true;
}
BOOL32 windowSum(som_asset_t *, UINT, const VALUE *argv, VALUE *result) {
  INT a = 0, b = 0;
  api->ValueIntData(&argv[0], &a);
  api->ValueIntData(&argv[1], &b);
  api->ValueIntDataSet(result, a + b, T_INT, 0);
  return true;
}
BOOL32 windowSetTitle(som_asset_t *, UINT, const VALUE *argv, VALUE *result) {
  const char16_t *chars = nullptr;
  UINT length = 0;
  api->ValueStringData(&argv[0], &chars, &length);
  const QByteArray title = QString::fromUtf16(chars, static_cast<int>(length)).toUtf8();
  const bool done = api->SciterWindowExec(mainWindow, SCITER_WINDOW_SET_TITLE,
                                          reinterpret_cast<uintptr_t>(title.constData()), 0);
  api->ValueIntDataSet(result, done, T_BOOL, 0);
  return true;
}
som_method_def_t windowMethods[3];
StaticAsset windowObject;

BOOL32 windowEvents(void *, HELEMENT, UINT group, void *params) {
  if (group != HANDLE_SOM)
    return false;
  auto *som = static_cast<SOM_PARAMS *>(params);
  if (som->cmd == SOM_GET_PASSPORT)
    som->data.passport = &windowObject.passport;
  else
    som->data.asset = &windowObject.asset;
  return true;
}

// Prints and cancels the dialogs that are open, as a user reading them would.
void reportDialogs() {
  for (QWidget *widget : QApplication::topLevelWidgets()) {
    auto *dialog = qobject_cast<QDialog *>(widget);
    if (!dialog || !dialog->isVisible())
      continue;
    QStringList buttons;
    for (QAbstractButton *button : dialog->findChildren<QAbstractButton *>())
      if (button->isVisible() && !button->text().isEmpty())
        buttons << button->text();
    std::printf("dialog %s: %s\n", qPrintable(dialog->windowTitle()),
                qPrintable(buttons.join('|')));
    std::fflush(stdout);
    dialog->reject();
  }
}

HWINDOW openWindow(UINT flags, const QString &url) {
  HWINDOW window = api->SciterCreateWindow(flags, nullptr, nullptr, nullptr, nullptr);
  api->SciterSetCallback(window, hostCallback, nullptr);
  api->SciterWindowAttachEventHandler(window, windowEvents, nullptr, HANDLE_ALL);
  const std::u16string url16 = url.toStdU16String();
  api->SciterLoadFile(window, url16.c_str());
  api->SciterWindowExec(window, SCITER_WINDOW_SET_STATE, SCITER_WINDOW_STATE_SHOWN, 0);
  return window;
}
} // namespace

int main(int argc, char **argv) {
  QString pages, start = "this://app/index.html", second;
  UINT features = ALLOW_FILE_IO | ALLOW_SOCKET_IO | ALLOW_EVAL | ALLOW_SYSINFO;
  UINT flags = SW_MAIN | SW_ENABLE_DEBUG;
  bool debug = true;
  bool dialogs = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto next = [&] { return i + 1 < argc ? QString::fromLocal8Bit(argv[++i]) : QString(); };
    if (arg == "--pages")
      pages = next();
    else if (arg == "--start")
      start = next();
    else if (arg == "--second")
      second = next();
    else if (arg == "--features")
      features = next().toUInt();
    else if (arg == "--flags")
      flags = next().toUInt();
    else if (arg == "--delay")
      delayedPath = next();
    else if (arg == "--no-debug")
      debug = false;
    else if (arg == "--report-dialogs")
      dialogs = true;
  }

  api = SciterAPI();
  std::vector<std::u16string> args16;
  for (int i = 0; i < argc; ++i)
    args16.push_back(QString::fromLocal8Bit(argv[i]).toStdU16String());
  std::vector<const char16_t *> argv16;
  for (const auto &a : args16)
    argv16.push_back(a.c_str());
  api->SciterExec(SCITER_APP_INIT, static_cast<uintptr_t>(argv16.size()),
                  reinterpret_cast<uintptr_t>(argv16.data()));

  const QByteArray bytes = packPages(pages);
  archive = api->SciterOpenArchive(reinterpret_cast<const uint8_t *>(bytes.constData()),
                                   static_cast<UINT>(bytes.size()));
  api->SciterSetOption(nullptr, SCITER_SET_SCRIPT_RUNTIME_FEATURES, features);
  if (debug)
    api->SciterSetOption(nullptr, SCITER_SET_DEBUG_MODE, 1);

  titleAtom = api->SciterAtomValue("title");
  sumAtom = api->SciterAtomValue("sum");
  windowMethods[0] = {nullptr, titleAtom, 0, windowTitle};
  windowMethods[1] = {nullptr, sumAtom, 2, windowSum};
  windowMethods[2] = {nullptr, api->SciterAtomValue("setTitle"), 1, windowSetTitle};
  windowObject.passport = {0, api->SciterAtomValue("TestWindow"), nullptr, 0, windowMethods, 3};

  native = new TestNative(api);
  api->SciterSetGlobalAsset(native->asset());

  mainWindow = openWindow(flags, start);
  if (!second.isEmpty())
    openWindow(debug ? SW_ENABLE_DEBUG : 0, second);

  QTimer dialogTimer;
  if (dialogs) {
    // A dialog runs its own loop inside a bridge call; this timer runs there too.
    QObject::connect(&dialogTimer, &QTimer::timeout, reportDialogs);
    dialogTimer.start(300);
  }

  const intptr_t loop = api->SciterExec(SCITER_APP_LOOP, 0, 0);
  std::printf("message loop returned %ld\n", static_cast<long>(loop));
  dialogTimer.stop();
  api->SciterExec(SCITER_APP_SHUTDOWN, 0, 0);
  api->SciterCloseArchive(archive);
  std::fflush(stdout);
  return loop == 0 ? 0 : 1;
}
