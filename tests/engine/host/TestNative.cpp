#include "tests/engine/host/TestNative.h"

#include <cstring>
#include <string>
#include <thread>

namespace {
ISciterAPI *gApi = nullptr;

void setString(VALUE *v, const std::u16string &s, UINT units = UT_STRING_STRING) {
  gApi->ValueStringDataSet(v, s.data(), static_cast<UINT>(s.size()), units);
}

std::u16string utf16(const std::string &s) {
  return std::u16string(s.begin(), s.end());
}

std::u16string text16(const VALUE &v) {
  VALUE copy{};
  gApi->ValueCopy(&copy, &v);
  gApi->ValueToString(&copy, CVT_SIMPLE);
  LPCWSTR16 chars = nullptr;
  UINT n = 0;
  gApi->ValueStringData(&copy, &chars, &n);
  std::u16string out(chars, chars + n);
  gApi->ValueClear(&copy);
  return out;
}

std::string ascii(const VALUE &v) {
  const std::u16string s = text16(v);
  return std::string(s.begin(), s.end());
}

std::string kind(const VALUE &v) {
  UINT t = 0, u = 0;
  gApi->ValueType(&v, &t, &u);
  switch (t) {
  case T_UNDEFINED:
    return "undefined";
  case T_NULL:
    return "null";
  case T_BOOL:
    return "bool";
  case T_INT:
    return "int";
  case T_FLOAT:
    return "float";
  case T_STRING:
    return u == UT_STRING_SYMBOL ? "symbol" : "string";
  case T_ARRAY:
    return "array";
  case T_MAP:
    return "map";
  case T_FUNCTION:
    return "function";
  default:
    return "other";
  }
}
} // namespace

TestNative::TestNative(ISciterAPI *api) : api(api) {
  gApi = api;
  klass = {addRef, release, getInterface, passport};
  header.asset.isa = &klass;
  header.owner = this;
  auto method = [&](const char *name, size_t params, som_method_t func) {
    methods.push_back({nullptr, api->SciterAtomValue(name), params, func});
  };
  method("echo", 1, echo);
  method("kindOf", 1, kindOf);
  method("make", 1, make);
  method("fail", 1, fail);
  method("argumentKinds", 3, argumentKinds);
  method("keep", 1, keep);
  method("releaseKept", 0, releaseKept);
  method("callKept", 1, callKept);
  method("callFromThread", 2, callFromThread);
  method("fireFromThread", 1, fireFromThread);
  method("touch", 0, touch);
  method("noop", 0, noop);
  method("loaded", 0, loaded);
  properties.push_back({nullptr, api->SciterAtomValue("version"), version, nullptr});
  properties.push_back({nullptr, api->SciterAtomValue("touches"), touches, nullptr});
  pass = {SOM_SEALED_OBJECT, api->SciterAtomValue("TestNative"),
          properties.data(), properties.size(),
          methods.data(),    methods.size()};
}

TestNative *TestNative::self(som_asset_t *thing) {
  return reinterpret_cast<Header *>(thing)->owner;
}
long TestNative::addRef(som_asset_t *thing) {
  return ++self(thing)->refs;
}
long TestNative::release(som_asset_t *thing) {
  return --self(thing)->refs;
}
long TestNative::getInterface(som_asset_t *thing, const char *name, void **out) {
  if (std::strcmp(name, SOM_ASSET_INTERFACE_NAME) != 0)
    return 0;
  addRef(thing);
  *out = thing;
  return 1;
}
som_passport_t *TestNative::passport(som_asset_t *thing) {
  return &self(thing)->pass;
}

BOOL32 TestNative::echo(som_asset_t *, UINT, const VALUE *argv, VALUE *result) {
  gApi->ValueCopy(result, &argv[0]);
  return true;
}

// "kind:text", e.g. "float:1.5", "symbol:type", "array:1,2".
BOOL32 TestNative::kindOf(som_asset_t *, UINT, const VALUE *argv, VALUE *result) {
  setString(result, utf16(kind(argv[0]) + ":" + ascii(argv[0])));
  return true;
}

BOOL32 TestNative::make(som_asset_t *, UINT, const VALUE *argv, VALUE *result) {
  const std::string what = ascii(argv[0]);
  if (what == "undefined")
    gApi->ValueInit(result);
  else if (what == "null")
    gApi->ValueIntDataSet(result, 0, T_NULL, 0);
  else if (what == "true")
    gApi->ValueIntDataSet(result, 1, T_BOOL, 0);
  else if (what == "int")
    gApi->ValueIntDataSet(result, -42, T_INT, 0);
  else if (what == "float")
    gApi->ValueFloatDataSet(result, 2.5, T_FLOAT, 0);
  else if (what == "big")
    gApi->ValueFloatDataSet(result, 5000000000.0, T_FLOAT, 0);
  else if (what == "string")
    setString(result, u"潮井 text");
  else if (what == "symbol")
    setString(result, u"progress", UT_STRING_SYMBOL);
  else if (what == "array") {
    VALUE item{};
    for (int i = 0; i < 3; ++i) {
      gApi->ValueIntDataSet(&item, i + 1, T_INT, 0);
      gApi->ValueNthElementValueSet(result, i, &item);
    }
    gApi->ValueClear(&item);
  } else if (what == "map") {
    // An event object the way native callbacks build them.
    gApi->ValueIntDataSet(result, 0, T_MAP, 0);
    VALUE key{}, value{};
    setString(&key, u"type", UT_STRING_SYMBOL);
    setString(&value, u"done", UT_STRING_SYMBOL);
    gApi->ValueSetValueToKey(result, &key, &value);
    setString(&key, u"total", UT_STRING_SYMBOL);
    gApi->ValueFloatDataSet(&value, 1e10, T_FLOAT, 0);
    gApi->ValueSetValueToKey(result, &key, &value);
    setString(&key, u"data", UT_STRING_SYMBOL);
    setString(&value, u"{\"list\":[]}");
    gApi->ValueSetValueToKey(result, &key, &value);
    gApi->ValueClear(&key);
    gApi->ValueClear(&value);
  } else if (what == "error")
    setString(result, u"made to fail", UT_STRING_ERROR);
  else
    return false;
  return true;
}

BOOL32 TestNative::fail(som_asset_t *, UINT, const VALUE *argv, VALUE *result) {
  setString(result, text16(argv[0]), UT_STRING_ERROR);
  return true;
}

BOOL32 TestNative::argumentKinds(som_asset_t *, UINT argc, const VALUE *argv, VALUE *result) {
  std::string text = std::to_string(argc) + ":";
  for (UINT i = 0; i < argc; ++i)
    text += (i ? "," : "") + kind(argv[i]);
  setString(result, utf16(text));
  return true;
}

BOOL32 TestNative::keep(som_asset_t *thing, UINT, const VALUE *argv, VALUE *result) {
  self(thing)->kept.emplace_back();
  gApi->ValueCopy(&self(thing)->kept.back(), &argv[0]);
  gApi->ValueIntDataSet(result, 1, T_BOOL, 0);
  return true;
}

BOOL32 TestNative::releaseKept(som_asset_t *thing, UINT, const VALUE *, VALUE *result) {
  for (auto &fn : self(thing)->kept)
    gApi->ValueClear(&fn);
  self(thing)->kept.clear();
  gApi->ValueIntDataSet(result, 1, T_BOOL, 0);
  return true;
}

// Calls every kept function with the argument; the result is how many
// calls were queued.
BOOL32 TestNative::callKept(som_asset_t *thing, UINT, const VALUE *argv, VALUE *result) {
  INT queued = 0;
  for (auto &fn : self(thing)->kept) {
    VALUE ignored{};
    queued += gApi->ValueInvoke(&fn, nullptr, 1, argv, &ignored, nullptr) == HV_OK;
    gApi->ValueClear(&ignored);
  }
  gApi->ValueIntDataSet(result, queued, T_INT, 0);
  return true;
}

// Calls fn(i) for i = 0..count-1 from a worker thread, then fn("end").
BOOL32 TestNative::callFromThread(som_asset_t *, UINT, const VALUE *argv, VALUE *result) {
  VALUE fn{};
  gApi->ValueCopy(&fn, &argv[0]);
  INT count = 0;
  gApi->ValueIntData(&argv[1], &count);
  std::thread([fn, count]() mutable {
    VALUE arg{}, ignored{};
    for (INT i = 0; i < count; ++i) {
      gApi->ValueIntDataSet(&arg, i, T_INT, 0);
      gApi->ValueInvoke(&fn, nullptr, 1, &arg, &ignored, nullptr);
    }
    setString(&arg, u"end");
    gApi->ValueInvoke(&fn, nullptr, 1, &arg, &ignored, nullptr);
    gApi->ValueClear(&arg);
    gApi->ValueClear(&fn);
  }).detach();
  gApi->ValueIntDataSet(result, 1, T_BOOL, 0);
  return true;
}

BOOL32 TestNative::fireFromThread(som_asset_t *, UINT, const VALUE *argv, VALUE *result) {
  const std::string name = ascii(argv[0]);
  std::thread([name] {
    const std::u16string name16 = utf16(name);
    BEHAVIOR_EVENT_PARAMS event{};
    event.cmd = CUSTOM;
    event.name = name16.c_str();
    BOOL32 handled = false;
    gApi->SciterFireEvent(&event, true, &handled);
  }).join();
  gApi->ValueIntDataSet(result, 1, T_BOOL, 0);
  return true;
}

BOOL32 TestNative::touch(som_asset_t *thing, UINT, const VALUE *, VALUE *result) {
  gApi->ValueIntDataSet(result, ++self(thing)->touchCount, T_INT, 0);
  return true;
}

BOOL32 TestNative::noop(som_asset_t *, UINT, const VALUE *, VALUE *) {
  return true;
}

BOOL32 TestNative::loaded(som_asset_t *thing, UINT, const VALUE *, VALUE *result) {
  std::string joined;
  for (const auto &uri : self(thing)->loadedUris)
    joined += uri + "\n";
  setString(result, utf16(joined));
  return true;
}

BOOL32 TestNative::version(som_asset_t *, VALUE *result) {
  setString(result, u"1.0");
  return true;
}

BOOL32 TestNative::touches(som_asset_t *thing, VALUE *result) {
  gApi->ValueIntDataSet(result, self(thing)->touchCount, T_INT, 0);
  return true;
}
