// The frame with a test page and one extra global, HostTest, whose worker
// thread sends many callback messages, so tests can watch them arrive.
#include <array>
#include <thread>

#include "app/Application.h"
#include "bridge/Asset.h"
#include "bridge/MethodTable.h"

namespace {

class HostTest : public Asset<HostTest> {
public:
  explicit HostTest(const ISciterAPI &api) : api(api) {}
  const ISciterAPI &engine() const { return api; }

  som_passport_t *passport() {
    static const std::array<som_method_def_t, 1> methods = {
        MethodTable::method<&HostTest::emitFromWorker>(api, "emitFromWorker")};
    static som_passport_t passport;
    passport.flags = SOM_SEALED_OBJECT;
    passport.name = api.SciterAtomValue("HostTest");
    passport.methods = methods.data();
    passport.n_methods = methods.size();
    return &passport;
  }

  // Messages "progress" with ids 1..count, then "done", from one worker.
  bool emitFromWorker(ScriptCallback callback, int count) {
    std::thread([callback, count] {
      for (int id = 1; id <= count; ++id)
        callback(CallbackEvent().symbol("type", "progress").integer("id", id));
      callback(CallbackEvent().symbol("type", "done").bytes("total", 5000000000LL));
    }).detach();
    return true;
  }

private:
  const ISciterAPI &api;
};

class TestApplication : public Application {
public:
  using Application::Application;

protected:
  void registerGlobals(const ISciterAPI &api) override {
    Application::registerGlobals(api);
    api.SciterSetGlobalAsset(new HostTest(api));
  }
};

} // namespace

int main(int argc, char **argv) {
  return TestApplication(argc, argv, "this://app/test/host.html").run();
}
