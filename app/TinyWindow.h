#pragma once
// The program's one top-level window: an engine window that answers the
// engine's resource requests out of the archive and offers page scripts a
// small interface of its own ("N": hideFromTaskBar, hwnd, setTitle,
// showOnLoaded).
#include <QString>

#include "base/resources/ResourceDecision.h"
#include "bridge/Asset.h"

class TinyWindow : public Asset<TinyWindow> {
public:
  TinyWindow(const ISciterAPI &api, UINT creationFlags, ResourceDecision::ItemLookup archive);

  // The engine window; attaches the host callback and the event handler on
  // the first request with a valid handle. Null once the engine destroyed it.
  HWINDOW handle();

  som_passport_t *passport();
  const ISciterAPI &engine() const { return api; }

  // Script interface.
  bool hideFromTaskBar();
  qint64 hwnd();
  void setTitle(const QString &title);

private:
  friend class Asset<TinyWindow>;
  ~TinyWindow() = default;

  static UINT hostCallback(SCITER_CALLBACK_NOTIFICATION *notification, void *param);
  static BOOL32 eventHandler(void *tag, HELEMENT element, UINT group, void *params);
  UINT loadData(const SCN_LOAD_DATA &request);

  const ISciterAPI &api;
  const ResourceDecision::ItemLookup archive;
  HWINDOW window = nullptr;
  bool attached = false;
  const bool showOnLoaded = true;
};
