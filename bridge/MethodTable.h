#pragma once
// Passport entries made from member pointers: one line per script method or
// property. The entry converts exactly the member's declared parameters,
// calls it and converts its result; the argument count comes from the
// member's signature.
#include <QString>
#include <array>
#include <cstddef>
#include <memory>
#include <stdexcept>
#include <tuple>
#include <type_traits>
#include <utility>

#include "base/log/Log.h"
#include "bridge/EngineValues.h"
#include "bridge/PagePath.h"
#include "bridge/ScriptFunction.h"

namespace MethodTable {

template <class T>
struct Argument;
template <>
struct Argument<QString> {
  static QString read(const EngineValues &v, const VALUE &x) { return v.toText(x); }
};
template <>
struct Argument<PagePath> {
  static PagePath read(const EngineValues &v, const VALUE &x) { return v.toText(x); }
};
template <>
struct Argument<int> {
  static int read(const EngineValues &v, const VALUE &x) { return v.toInteger(x); }
};
template <>
struct Argument<bool> {
  static bool read(const EngineValues &v, const VALUE &x) { return v.toBoolean(x); }
};
template <>
struct Argument<float> {
  static float read(const EngineValues &v, const VALUE &x) { return v.toNumber(x); }
};
template <>
struct Argument<std::shared_ptr<ScriptFunction>> {
  static std::shared_ptr<ScriptFunction> read(const EngineValues &v, const VALUE &x) {
    return v.toFunction(x);
  }
};
template <>
struct Argument<ScriptCallback> {
  static ScriptCallback read(const EngineValues &v, const VALUE &x) { return v.toCallback(x); }
};

template <class M>
struct Signature;
template <class C, class R, class... A>
struct Signature<R (C::*)(A...)> {
  using Class = C;
  using Result = R;
  using Arguments = std::tuple<std::decay_t<A>...>;
  static constexpr size_t count = sizeof...(A);
};
template <class C, class R, class... A>
struct Signature<R (C::*)(A...) const> : Signature<R (C::*)(A...)> {};

template <class T>
bool refused(const T &) {
  return false;
}
inline bool refused(const PagePath &path) {
  if (!path.contains(QChar(0)))
    return false;
  Log::info("NativeUtil", "refused a path holding NUL: {}",
            QString(path).replace(QChar(0), QStringLiteral("\\0")).toStdString());
  return true;
}

template <auto Member, size_t... I>
void callMember(typename Signature<decltype(Member)>::Class &self, const EngineValues &values,
                const VALUE *argv, VALUE *result, std::index_sequence<I...>) {
  using S = Signature<decltype(Member)>;
  typename S::Arguments arguments{
      Argument<std::tuple_element_t<I, typename S::Arguments>>::read(values, argv[I])...};
  if ((refused(std::get<I>(arguments)) || ...)) {
    if constexpr (!std::is_void_v<typename S::Result>)
      values.assign(result, typename S::Result{});
    return;
  }
  if constexpr (std::is_void_v<typename S::Result>)
    (self.*Member)(std::get<I>(std::move(arguments))...);
  else
    values.assign(result, (self.*Member)(std::get<I>(std::move(arguments))...));
}

// Fewer values than declared are read as undefined; extra ones are ignored.
template <auto Member>
BOOL32 methodEntry(som_asset_t *thing, UINT argc, const VALUE *argv, VALUE *result) {
  using S = Signature<decltype(Member)>;
  auto *self = S::Class::fromAsset(thing);
  if (!self)
    return 0;
  const EngineValues values(self->engine());
  VALUE padded[S::count + 1] = {};
  for (size_t i = 0; i < S::count && i < argc; ++i)
    padded[i] = argv[i];
  try {
    callMember<Member>(*self, values, padded, result, std::make_index_sequence<S::count>());
  } catch (const std::exception &error) {
    values.assignError(result, error.what());
  }
  return 1;
}

template <class F>
struct Field;
template <class C, class T>
struct Field<T C::*> {
  using Class = C;
};

// Properties are fields read by the engine; there is no setter.
template <auto Member>
BOOL32 propertyEntry(som_asset_t *thing, VALUE *result) {
  auto *self = Field<decltype(Member)>::Class::fromAsset(thing);
  if (!self)
    return 0;
  EngineValues(self->engine()).assign(result, self->*Member);
  return 1;
}

template <auto Member>
som_method_def_t method(const ISciterAPI &api, const char *name) {
  return {nullptr, api.SciterAtomValue(name), Signature<decltype(Member)>::count,
          &methodEntry<Member>};
}

template <auto Member>
som_property_def_t property(const ISciterAPI &api, const char *name) {
  return {nullptr, api.SciterAtomValue(name), &propertyEntry<Member>, nullptr};
}

// A sealed passport over tables that live as long as the process.
template <size_t M, size_t P>
som_passport_t passport(const ISciterAPI &api, const char *name,
                        const std::array<som_method_def_t, M> &methods,
                        const std::array<som_property_def_t, P> &properties) {
  som_passport_t result{};
  result.flags = SOM_SEALED_OBJECT;
  result.name = api.SciterAtomValue(name);
  result.methods = methods.data();
  result.n_methods = M;
  result.properties = properties.data();
  result.n_properties = P;
  return result;
}

} // namespace MethodTable
