#include "system/ProcessControl.h"

#include <QSet>
#include <QStringList>

#include "base/log/Log.h"
#include "platform/os/OsPlatform.h"

namespace {

// System and helper processes that a list of the user's programs leaves out.
const QSet<QString> &excludedNames() {
  static const QSet<QString> names{
      "explorer.exe",
      "ntoskrnl.exe",
      "WerFault.exe",
      "backgroundTaskHost.exe",
      "backgroundTransferHost.exe",
      "winlogon.exe",
      "wininit.exe",
      "csrss.exe",
      "lsass.exe",
      "smss.exe",
      "services.exe",
      "taskeng.exe",
      "taskhost.exe",
      "dwm.exe",
      "conhost.exe",
      "svchost.exe",
      "sihost.exe",
      "uihost.exe",
      "taskhostw.exe",
      "igfxEM.exe",
      "ctfmon.exe",
      "StartMenuExperienceHost.exe",
      "RuntimeBroker.exe",
      "dllhost.exe",
      "SearchApp.exe",
      "YourPhone.exe",
      "SettingSyncHost.exe",
      "TextInputHost.exe",
      "SecurityHealthSystray.exe",
      "Cortana.exe",
      "UserOOBEBroker.exe",
      "Video.UI.exe",
      "Microsoft.Photos.exe",
      "smartscreen.exe",
      "SearchFilterHost.exe",
      "spacedeskServiceTray.exe",
      "GameBar.exe",
      "GameBarFTServer.exe",
      "GameBarPresenceWriter.exe",
      "javaw.exe",
      "CefSharp.BrowserSubprocess.exe",
      "LocationNotificationWindows.exe",
      "WWAHost.exe",
      "NVIDIA Web Helper.exe",
      "WindowsInternal.ComposableShell.Experiences.TextInput.InputApp.exe",
      "RtkAudUService64.exe",
      "IGCC.exe",
      "IGCCTray.exe",
      "cmd.exe",
      "ApplicationFrameHost.exe",
      "prevhost.exe",
      "nvcontainer.exe",
      "WUDFHost.exe",
      "fontdrvhost.exe",
      "IntelCpHDCPSvc.exe",
      "IntelCpHeciSvc.exe",
      "igfxCUIService.exe",
      "WmiPrvSE.exe",
      "dasHost.exe",
      "spoolsv.exe",
      "CxAudioSvc.exe",
      "CxUIUSvc64.exe",
      "CxUtilSvc.exe",
      "FlashHelperService.exe",
      "OneApp.IGCC.WinService.exe",
      "hydra_service.exe",
      "jhi_service.exe",
      "IpOverUsbSvc.exe",
      "Locator.exe",
      "LMS.exe",
      "sqlservr.exe",
      "RstMwService.exe",
      "SECOMN64.exe",
      "svc.exe",
      "sqlwriter.exe",
      "unsecapp.exe",
      "winrdlv3.exe",
      "SearchIndexer.exe",
      "SearchUI.exe",
      "SearchHost.exe",
      "ShellExperienceHost.exe",
      "SecurityHealthHost.exe",
      "StandardCollector.Service.exe"};
  return names;
}

} // namespace

ProcessControl::ProcessControl() : ProcessControl(OsPlatform::processes()) {}

ProcessControl::ProcessControl(std::shared_ptr<ProcessApi> processes)
    : processes_(std::move(processes)) {}

std::unique_ptr<ProcessHandle> ProcessControl::openListed(const ProcessEntry &entry) const {
  // The pid may have passed to another process since the snapshot: only a
  // process that still bears the listed name, read through its own handle,
  // counts or is ended.
  std::unique_ptr<ProcessHandle> handle = processes_->open(entry.pid);
  if (handle && handle->exeName() != entry.exeName)
    handle.reset();
  return handle;
}

bool ProcessControl::isLive(const ProcessEntry &entry) const {
  const std::unique_ptr<ProcessHandle> handle = openListed(entry);
  return handle && handle->exitCode() == ProcessHandle::stillActive;
}

bool ProcessControl::isProcessRunning(const QString &name) {
  // The last match whose state can be read decides.
  bool running = false;
  for (const ProcessEntry &entry : processes_->snapshot()) {
    if (entry.exeName != name)
      continue;
    if (const std::unique_ptr<ProcessHandle> handle = openListed(entry)) {
      if (const std::optional<int> code = handle->exitCode())
        running = *code == ProcessHandle::stillActive;
    }
  }
  return running;
}

QString ProcessControl::getProcessIDList(const QString &name) {
  QStringList ids;
  for (const ProcessEntry &entry : processes_->snapshot()) {
    if (entry.exeName == name && isLive(entry))
      ids.append(QString::number(entry.pid));
  }
  return ids.join(QLatin1Char(','));
}

QString ProcessControl::getProcessNameList() {
  QStringList names;
  for (const ProcessEntry &entry : processes_->snapshot()) {
    if (!names.contains(entry.exeName) && !excludedNames().contains(entry.exeName) && isLive(entry))
      names.append(entry.exeName);
  }
  return names.join(QLatin1Char(','));
}

bool ProcessControl::killProcess(const QString &name) {
  Log::info("NativeUtil", "try to kill process {}", name.toStdString());
  bool terminated = false;
  for (const ProcessEntry &entry : processes_->snapshot()) {
    if (entry.exeName != name)
      continue;
    Log::info("NativeUtil", "found matched exe {} open process", entry.exeName.toStdString());
    std::unique_ptr<ProcessHandle> handle = openListed(entry);
    Log::info("NativeUtil", "hProcess={:x}", handle ? handle->value() : quintptr(0));
    const std::optional<int> exitCode = handle ? handle->exitCode() : std::nullopt;
    const int code = exitCode.value_or(0);
    Log::info("NativeUtil", "exit code for this process is {}", code);
    if (exitCode) {
      Log::info("NativeUtil", "before terminate process");
      terminated = handle->terminate(code);
      Log::info("NativeUtil", "after terminate process");
    }
    handle.reset();
    Log::info("NativeUtil", "after close handle for hprocess");
    break;
  }
  Log::info("NativeUtil", "before close snapshot handle and exit this function");
  Log::info("NativeUtil", "after close snapshot handle and exit this function");
  return terminated;
}

bool ProcessControl::launch(const QString &program, const QString &workDir,
                            const QString &command) {
  Log::info("NativeUtil", "try to launch: {}, work dir: {}, command: {}", program.toStdString(),
            workDir.toStdString(), command.toStdString());
  // Empty parts stay: an empty command is one empty argument.
  const bool started = processes_->startDetached(program, command.split(QLatin1Char(',')), workDir);
  Log::info("NativeUtil", "launch result: {}", started);
  return started;
}
