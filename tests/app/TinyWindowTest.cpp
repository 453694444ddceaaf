// The main window against the fake engine: attaching once, resource requests,
// the window's script interface and the engine's destroyed notification.
#include <gtest/gtest.h>

#include "FakeEngine.h"
#include "app/TinyWindow.h"

namespace {

const QByteArray toastCss = "body { color: red }";

ResourceDecision::ItemLookup archive() {
  return [](const QString &path, const uint8_t **data, uint32_t *size) {
    if (path != "common/css/toast.css")
      return false;
    *data = reinterpret_cast<const uint8_t *>(toastCss.constData());
    *size = static_cast<uint32_t>(toastCss.size());
    return true;
  };
}

UINT request(const QString &url) {
  FakeEngine::Window &w = FakeEngine::window();
  SCN_LOAD_DATA load{};
  load.code = SC_LOAD_DATA;
  load.hwnd = FakeEngine::windowHandle();
  const std::u16string uri = url.toStdU16String();
  load.uri = uri.c_str();
  return w.callback(reinterpret_cast<SCITER_CALLBACK_NOTIFICATION *>(&load), w.callbackParam);
}

class Window : public ::testing::Test {
protected:
  void SetUp() override { FakeEngine::reset(); }
  void TearDown() override { FakeEngine::reset(); }
};

TEST_F(Window, CallbacksAreAttachedOnceOnTheFirstHandleRequest) {
  auto *window = new TinyWindow(FakeEngine::api(), 640, archive());
  window->addRef();
  EXPECT_EQ(FakeEngine::window().callbacksSet, 0);
  EXPECT_EQ(window->handle(), FakeEngine::windowHandle());
  EXPECT_EQ(window->handle(), FakeEngine::windowHandle());
  EXPECT_EQ(FakeEngine::window().callbacksSet, 1);
  EXPECT_EQ(FakeEngine::window().handlersAttached, 1);
  EXPECT_EQ(FakeEngine::window().subscription, 0xFFFFu);
  EXPECT_EQ(FakeEngine::window().callbackParam, window);
  window->release();
  EXPECT_EQ(window->release(), 0);
}

TEST_F(Window, ResourceRequestsAreAnsweredFromTheArchive) {
  auto *window = new TinyWindow(FakeEngine::api(), 640, archive());
  window->addRef();
  window->handle();
  EXPECT_EQ(request("this://app/common/css/toast.css"), 0u);
  EXPECT_EQ(FakeEngine::window().readyUrl, "this://app/common/css/toast.css");
  EXPECT_EQ(FakeEngine::window().readyData, toastCss);
  FakeEngine::window().readyData.clear();
  EXPECT_EQ(request("this://app//common/css/toast.css"), 0u);
  EXPECT_EQ(FakeEngine::window().readyData, toastCss);
  FakeEngine::window().readyData.clear();
  EXPECT_EQ(request("this://app/common/css/missing.css"), 1u) << "discarded";
  EXPECT_EQ(request("THIS://app/common/css/toast.css"), 0u) << "left to the engine";
  EXPECT_TRUE(FakeEngine::window().readyData.isEmpty());
  window->release();
  window->release();
}

TEST_F(Window, TheEngineDestroyedNotificationClearsTheHandleAndDropsOneReference) {
  auto *window = new TinyWindow(FakeEngine::api(), 640, archive());
  window->addRef();
  window->handle();
  SCN_ENGINE_DESTROYED destroyed{SC_ENGINE_DESTROYED, FakeEngine::windowHandle()};
  FakeEngine::window().callback(reinterpret_cast<SCITER_CALLBACK_NOTIFICATION *>(&destroyed),
                                FakeEngine::window().callbackParam);
  EXPECT_EQ(window->handle(), nullptr);
  EXPECT_EQ(window->hwnd(), 0);
  EXPECT_EQ(window->release(), 0) << "the frame's reference was the last one";
}

TEST_F(Window, AFailedWindowIsNeverAttached) {
  FakeEngine::failWindowCreation(true);
  auto *window = new TinyWindow(FakeEngine::api(), 640, archive());
  window->addRef();
  EXPECT_EQ(window->handle(), nullptr);
  EXPECT_EQ(FakeEngine::window().callbacksSet, 0);
  EXPECT_EQ(window->release(), 0);
}

TEST_F(Window, TheScriptInterfaceIsThePassportN) {
  auto *window = new TinyWindow(FakeEngine::api(), 640, archive());
  window->addRef();
  window->handle();
  FakeEngine::Window &w = FakeEngine::window();
  SOM_PARAMS params{};
  params.cmd = SOM_GET_PASSPORT;
  EXPECT_TRUE(w.handler(w.handlerTag, nullptr, HANDLE_SOM, &params));
  som_passport_t *passport = params.data.passport;
  EXPECT_STREQ(FakeEngine::atomName(passport->name), "N");
  ASSERT_EQ(passport->n_methods, 3u);
  EXPECT_STREQ(FakeEngine::atomName(passport->methods[0].name), "hideFromTaskBar");
  EXPECT_STREQ(FakeEngine::atomName(passport->methods[1].name), "hwnd");
  EXPECT_STREQ(FakeEngine::atomName(passport->methods[2].name), "setTitle");
  EXPECT_EQ(passport->methods[2].params, 1u);
  ASSERT_EQ(passport->n_properties, 1u);
  EXPECT_STREQ(FakeEngine::atomName(passport->properties[0].name), "showOnLoaded");
  EXPECT_EQ(passport->properties[0].setter, nullptr);
  VALUE shown{};
  passport->properties[0].getter(window, &shown);
  EXPECT_EQ(FakeEngine::typeOf(shown), T_BOOL);
  EXPECT_EQ(FakeEngine::integerOf(shown), 1);

  params.cmd = SOM_GET_ASSET;
  EXPECT_TRUE(w.handler(w.handlerTag, nullptr, HANDLE_SOM, &params));
  EXPECT_EQ(params.data.asset, window);
  EXPECT_FALSE(w.handler(w.handlerTag, nullptr, HANDLE_BEHAVIOR_EVENT, &params));

  VALUE result{};
  EXPECT_TRUE(passport->methods[0].func(window, 0, nullptr, &result));
  EXPECT_EQ(FakeEngine::integerOf(result), 1);
  ASSERT_EQ(w.commands.size(), 2u);
  EXPECT_EQ(w.commands[0].second, static_cast<uintptr_t>(SCITER_WINDOW_STATE_SHOWN));
  EXPECT_EQ(w.commands[1].second, static_cast<uintptr_t>(SCITER_WINDOW_STATE_HIDDEN));
  passport->methods[1].func(window, 0, nullptr, &result);
  EXPECT_EQ(static_cast<intptr_t>(result.d),
            reinterpret_cast<intptr_t>(FakeEngine::windowHandle()));
  window->release();
  window->release();
}

} // namespace
