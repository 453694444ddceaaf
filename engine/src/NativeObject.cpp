#include "engine/src/NativeObject.h"

#include "engine/src/Atoms.h"
#include "engine/src/Value.h"
#include "engine/src/ValueJson.h"

#include <vector>

namespace {
QString atomName(som_atom_t atom) {
  return QString::fromUtf8(Atoms::instance().name(atom));
}
} // namespace

NativeObject::NativeObject(som_asset_t *asset, som_passport_t *passport)
    : asset(asset), passport(passport) {
  if (asset && asset->isa && asset->isa->asset_add_ref)
    asset->isa->asset_add_ref(asset);
}

NativeObject::~NativeObject() {
  if (asset && asset->isa && asset->isa->asset_release)
    asset->isa->asset_release(asset);
}

QJsonValue NativeObject::error(const QString &message) {
  return QJsonObject{{"e", message}};
}

QString NativeObject::name() const {
  return passport ? atomName(passport->name) : QString();
}

QJsonObject NativeObject::describe() const {
  QJsonArray methods, properties;
  for (size_t i = 0; passport && i < passport->n_methods; ++i)
    methods.append(QJsonArray{atomName(passport->methods[i].name),
                              static_cast<double>(passport->methods[i].params)});
  for (size_t i = 0; passport && i < passport->n_properties; ++i)
    properties.append(QJsonArray{atomName(passport->properties[i].name),
                                 passport->properties[i].setter != nullptr});
  return QJsonObject{{"n", name()},
                     {"ext", passport && (passport->flags & SOM_EXTENDABLE_OBJECT) != 0},
                     {"m", methods},
                     {"p", properties}};
}

QJsonValue NativeObject::call(int method, const QJsonArray &args, uint64_t document) const {
  if (!passport || method < 0 || static_cast<size_t>(method) >= passport->n_methods)
    return error("no such method");
  const som_method_def_t &def = passport->methods[method];
  // Exactly the declared number of arguments: missing ones undefined, extra
  // ones dropped.
  std::vector<VALUE> argv(def.params, VALUE{});
  for (size_t i = 0; i < def.params && i < static_cast<size_t>(args.size()); ++i)
    ValueJson::fromWire(args.at(static_cast<int>(i)), document, &argv[i]);
  VALUE result{};
  const bool ok = def.func && def.func(asset, static_cast<UINT>(argv.size()), argv.data(), &result);
  QJsonValue wire = ok ? ValueJson::toWire(result)
                       : error(QStringLiteral("%1.%2 failed").arg(name(), atomName(def.name)));
  Values::clear(&result);
  for (auto &arg : argv)
    Values::clear(&arg);
  return wire;
}

QJsonValue NativeObject::get(int property) const {
  if (!passport || property < 0 || static_cast<size_t>(property) >= passport->n_properties)
    return error("no such property");
  const som_property_def_t &def = passport->properties[property];
  VALUE result{};
  const bool ok = def.getter && def.getter(asset, &result);
  QJsonValue wire = ok ? ValueJson::toWire(result) : error("property read failed");
  Values::clear(&result);
  return wire;
}

QJsonValue NativeObject::set(int property, const QJsonValue &value, uint64_t document) const {
  if (!passport || property < 0 || static_cast<size_t>(property) >= passport->n_properties)
    return error("no such property");
  const som_property_def_t &def = passport->properties[property];
  if (!def.setter)
    return error("read-only property");
  VALUE v{};
  ValueJson::fromWire(value, document, &v);
  const bool ok = def.setter(asset, &v);
  Values::clear(&v);
  return ok ? QJsonValue(QJsonObject{{"u", 1}}) : error("property write failed");
}

QJsonValue NativeObject::callByName(const QString &member, const QJsonArray &args,
                                    uint64_t document) const {
  const som_atom_t atom = Atoms::instance().atom(member.toUtf8().constData());
  for (size_t i = 0; passport && i < passport->n_methods; ++i)
    if (passport->methods[i].name == atom)
      return call(static_cast<int>(i), args, document);
  for (size_t i = 0; passport && i < passport->n_properties; ++i)
    if (passport->properties[i].name == atom)
      return get(static_cast<int>(i));
  return error(QStringLiteral("no method %1").arg(member));
}
