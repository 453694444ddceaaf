#include "engine/src/Value.h"

#include "engine/src/CallQueue.h"
#include "engine/src/NumberText.h"
#include "engine/src/ValueJson.h"

#include <cstring>

namespace {
// Simple values keep their payload in d: booleans and integers as int64,
// floats as the bits of a double.
double bitsToDouble(UINT64 d) {
  double x;
  std::memcpy(&x, &d, sizeof x);
  return x;
}

UINT64 doubleToBits(double x) {
  UINT64 d;
  std::memcpy(&d, &x, sizeof d);
  return d;
}

std::u16string ascii(const std::string &s) {
  return std::u16string(s.begin(), s.end());
}
} // namespace

ArrayBody::~ArrayBody() {
  for (auto &item : items)
    Values::clear(&item);
}

MapBody::~MapBody() {
  for (auto &entry : entries) {
    Values::clear(&entry.first);
    Values::clear(&entry.second);
  }
}

FunctionBody::~FunctionBody() {
  CallQueue::instance().postRelease(document, handle);
}

OwnedValue::OwnedValue(const VALUE &shared) : v{} {
  Values::copy(&v, &shared);
}
OwnedValue::OwnedValue(const OwnedValue &other) : v{} {
  Values::copy(&v, &other.v);
}
OwnedValue &OwnedValue::operator=(const OwnedValue &other) {
  Values::copy(&v, &other.v);
  return *this;
}
OwnedValue::~OwnedValue() {
  Values::clear(&v);
}

bool Values::hasBody(const VALUE &v) {
  return (v.t == T_STRING || v.t == T_ARRAY || v.t == T_MAP || v.t == T_FUNCTION) && v.d != 0;
}

ValueBody *Values::body(const VALUE &v) {
  return hasBody(v) ? reinterpret_cast<ValueBody *>(static_cast<uintptr_t>(v.d)) : nullptr;
}

void Values::setBody(VALUE *pval, UINT type, UINT units, ValueBody *b) {
  clear(pval);
  pval->t = type;
  pval->u = units;
  pval->d = static_cast<UINT64>(reinterpret_cast<uintptr_t>(b));
}

const std::u16string *Values::string(const VALUE &v) {
  return v.t == T_STRING && v.d ? &static_cast<StringBody *>(body(v))->text : nullptr;
}
ArrayBody *Values::array(const VALUE &v) {
  return v.t == T_ARRAY ? static_cast<ArrayBody *>(body(v)) : nullptr;
}
MapBody *Values::map(const VALUE &v) {
  return v.t == T_MAP ? static_cast<MapBody *>(body(v)) : nullptr;
}
FunctionBody *Values::function(const VALUE &v) {
  return v.t == T_FUNCTION ? static_cast<FunctionBody *>(body(v)) : nullptr;
}

double Values::floatOf(const VALUE &v) {
  return v.t == T_FLOAT ? bitsToDouble(v.d) : static_cast<double>(intOf(v));
}
int64_t Values::intOf(const VALUE &v) {
  return static_cast<int64_t>(v.d);
}

void Values::setString(VALUE *pval, std::u16string text, UINT units) {
  setBody(pval, T_STRING, units, new StringBody(std::move(text)));
}

void Values::setFunction(VALUE *pval, uint64_t document, int64_t handle) {
  setBody(pval, T_FUNCTION, 0, new FunctionBody(document, handle));
}

UINT Values::init(VALUE *pval) {
  if (!pval)
    return HV_BAD_PARAMETER;
  *pval = VALUE{};
  return HV_OK;
}

UINT Values::clear(VALUE *pval) {
  if (!pval)
    return HV_BAD_PARAMETER;
  ValueBody *b = body(*pval);
  *pval = VALUE{};
  if (b)
    b->release();
  return HV_OK;
}

bool Values::equal(const VALUE &a, const VALUE &b) {
  if (a.t != b.t) {
    const bool numbers = (a.t == T_INT || a.t == T_FLOAT) && (b.t == T_INT || b.t == T_FLOAT);
    return numbers && floatOf(a) == floatOf(b);
  }
  switch (a.t) {
  case T_UNDEFINED:
  case T_NULL:
    return true;
  case T_BOOL:
  case T_INT:
    return a.d == b.d;
  case T_FLOAT:
    return bitsToDouble(a.d) == bitsToDouble(b.d);
  case T_STRING: {
    const auto *sa = string(a), *sb = string(b);
    return sa && sb && *sa == *sb;
  }
  case T_ARRAY: {
    const auto *aa = array(a), *ab = array(b);
    if (aa == ab)
      return true;
    if (!aa || !ab || aa->items.size() != ab->items.size())
      return false;
    for (size_t i = 0; i < aa->items.size(); ++i)
      if (!equal(aa->items[i], ab->items[i]))
        return false;
    return true;
  }
  case T_MAP: {
    const auto *ma = map(a), *mb = map(b);
    if (ma == mb)
      return true;
    if (!ma || !mb || ma->entries.size() != mb->entries.size())
      return false;
    for (size_t i = 0; i < ma->entries.size(); ++i)
      if (!equal(ma->entries[i].first, mb->entries[i].first) ||
          !equal(ma->entries[i].second, mb->entries[i].second))
        return false;
    return true;
  }
  case T_FUNCTION: {
    const auto *fa = function(a), *fb = function(b);
    return fa == fb || (fa && fb && fa->document == fb->document && fa->handle == fb->handle);
  }
  default:
    return a.d == b.d;
  }
}

UINT Values::compare(const VALUE *a, const VALUE *b) {
  if (!a || !b)
    return HV_BAD_PARAMETER;
  return equal(*a, *b) ? static_cast<UINT>(HV_OK_TRUE) : static_cast<UINT>(HV_OK);
}

UINT Values::copy(VALUE *dst, const VALUE *src) {
  if (!dst || !src)
    return HV_BAD_PARAMETER;
  if (dst == src)
    return HV_OK;
  ValueBody *b = body(*src);
  if (b)
    b->retain();
  const VALUE shared = *src;
  clear(dst);
  *dst = shared;
  return HV_OK;
}

UINT Values::type(const VALUE *pval, UINT *pType, UINT *pUnits) {
  if (!pval)
    return HV_BAD_PARAMETER;
  if (pType)
    *pType = pval->t;
  if (pUnits)
    *pUnits = pval->u;
  return HV_OK;
}

UINT Values::stringData(const VALUE *pval, LPCWSTR16 *chars, UINT *count) {
  if (!pval || !chars)
    return HV_BAD_PARAMETER;
  const auto *s = string(*pval);
  if (!s)
    return HV_INCOMPATIBLE_TYPE;
  *chars = s->c_str();
  if (count)
    *count = static_cast<UINT>(s->size());
  return HV_OK;
}

UINT Values::stringDataSet(VALUE *pval, LPCWSTR16 chars, UINT count, UINT units) {
  if (!pval)
    return HV_BAD_PARAMETER;
  setString(pval, chars ? std::u16string(chars, count) : std::u16string(), units);
  return HV_OK;
}

UINT Values::intData(const VALUE *pval, INT *data) {
  if (!pval || !data)
    return HV_BAD_PARAMETER;
  if (pval->t != T_INT && pval->t != T_BOOL)
    return HV_INCOMPATIBLE_TYPE;
  *data = static_cast<INT>(intOf(*pval));
  return HV_OK;
}

UINT Values::int64Data(const VALUE *pval, int64_t *data) {
  if (!pval || !data)
    return HV_BAD_PARAMETER;
  if (pval->t != T_INT && pval->t != T_BOOL)
    return HV_INCOMPATIBLE_TYPE;
  *data = intOf(*pval);
  return HV_OK;
}

UINT Values::int64DataSet(VALUE *pval, int64_t data, UINT type, UINT units) {
  if (!pval)
    return HV_BAD_PARAMETER;
  switch (type) {
  case T_UNDEFINED:
  case T_NULL:
    clear(pval);
    pval->t = type;
    return HV_OK;
  case T_BOOL:
  case T_INT:
    clear(pval);
    pval->t = type;
    pval->u = units;
    pval->d = static_cast<UINT64>(type == T_BOOL ? (data != 0) : data);
    return HV_OK;
  case T_FLOAT:
    return floatDataSet(pval, static_cast<double>(data), T_FLOAT, units);
  case T_ARRAY: {
    // An array of that many undefined elements.
    if (data < 0 || data > (1 << 24))
      return HV_BAD_PARAMETER;
    auto *a = new ArrayBody;
    a->items.resize(static_cast<size_t>(data));
    setBody(pval, T_ARRAY, units, a);
    return HV_OK;
  }
  case T_MAP:
    setBody(pval, T_MAP, units, new MapBody);
    return HV_OK;
  default:
    return HV_BAD_PARAMETER;
  }
}

UINT Values::intDataSet(VALUE *pval, INT data, UINT type, UINT units) {
  return int64DataSet(pval, data, type, units);
}

UINT Values::floatData(const VALUE *pval, double *data) {
  if (!pval || !data)
    return HV_BAD_PARAMETER;
  if (pval->t != T_FLOAT && pval->t != T_INT && pval->t != T_BOOL)
    return HV_INCOMPATIBLE_TYPE;
  *data = floatOf(*pval);
  return HV_OK;
}

UINT Values::floatDataSet(VALUE *pval, double data, UINT type, UINT units) {
  if (!pval)
    return HV_BAD_PARAMETER;
  if (type != T_FLOAT)
    return HV_BAD_PARAMETER;
  clear(pval);
  pval->t = T_FLOAT;
  pval->u = units;
  pval->d = doubleToBits(data);
  return HV_OK;
}

UINT Values::elementsCount(const VALUE *pval, INT *count) {
  if (!pval || !count)
    return HV_BAD_PARAMETER;
  if (const auto *a = array(*pval))
    *count = static_cast<INT>(a->items.size());
  else if (const auto *m = map(*pval))
    *count = static_cast<INT>(m->entries.size());
  else
    *count = 0;
  return HV_OK;
}

UINT Values::nthElementValue(const VALUE *pval, INT n, VALUE *out) {
  if (!pval || !out || n < 0)
    return HV_BAD_PARAMETER;
  if (const auto *a = array(*pval)) {
    if (static_cast<size_t>(n) >= a->items.size())
      return HV_BAD_PARAMETER;
    return copy(out, &a->items[n]);
  }
  if (const auto *m = map(*pval)) {
    if (static_cast<size_t>(n) >= m->entries.size())
      return HV_BAD_PARAMETER;
    return copy(out, &m->entries[n].second);
  }
  return HV_INCOMPATIBLE_TYPE;
}

UINT Values::nthElementValueSet(VALUE *pval, INT n, const VALUE *item) {
  if (!pval || !item || n < 0 || n > (1 << 24))
    return HV_BAD_PARAMETER;
  if (pval->t == T_UNDEFINED || pval->t == T_NULL)
    setBody(pval, T_ARRAY, 0, new ArrayBody);
  if (auto *a = array(*pval)) {
    if (static_cast<size_t>(n) >= a->items.size())
      a->items.resize(static_cast<size_t>(n) + 1);
    return copy(&a->items[n], item);
  }
  if (auto *m = map(*pval)) {
    if (static_cast<size_t>(n) >= m->entries.size())
      return HV_BAD_PARAMETER;
    return copy(&m->entries[n].second, item);
  }
  return HV_INCOMPATIBLE_TYPE;
}

UINT Values::nthElementKey(const VALUE *pval, INT n, VALUE *out) {
  if (!pval || !out || n < 0)
    return HV_BAD_PARAMETER;
  const auto *m = map(*pval);
  if (!m)
    return HV_INCOMPATIBLE_TYPE;
  if (static_cast<size_t>(n) >= m->entries.size())
    return HV_BAD_PARAMETER;
  return copy(out, &m->entries[n].first);
}

UINT Values::setValueToKey(VALUE *pval, const VALUE *key, const VALUE *item) {
  if (!pval || !key || !item)
    return HV_BAD_PARAMETER;
  if (pval->t == T_UNDEFINED || pval->t == T_NULL)
    setBody(pval, T_MAP, 0, new MapBody);
  if (array(*pval)) {
    if (key->t != T_INT)
      return HV_INCOMPATIBLE_TYPE;
    return nthElementValueSet(pval, static_cast<INT>(intOf(*key)), item);
  }
  auto *m = map(*pval);
  if (!m)
    return HV_INCOMPATIBLE_TYPE;
  // Symbol and string keys name the same member.
  for (auto &entry : m->entries)
    if (equal(entry.first, *key))
      return copy(&entry.second, item);
  m->entries.emplace_back(VALUE{}, VALUE{});
  copy(&m->entries.back().first, key);
  return copy(&m->entries.back().second, item);
}

UINT Values::getValueOfKey(const VALUE *pval, const VALUE *key, VALUE *out) {
  if (!pval || !key || !out)
    return HV_BAD_PARAMETER;
  if (const auto *a = array(*pval)) {
    if (key->t != T_INT)
      return HV_INCOMPATIBLE_TYPE;
    const int64_t n = intOf(*key);
    if (n < 0 || static_cast<size_t>(n) >= a->items.size())
      return clear(out);
    return copy(out, &a->items[n]);
  }
  const auto *m = map(*pval);
  if (!m)
    return HV_INCOMPATIBLE_TYPE;
  for (const auto &entry : m->entries)
    if (equal(entry.first, *key))
      return copy(out, &entry.second);
  return clear(out);
}

std::u16string Values::text(const VALUE &v) {
  switch (v.t) {
  case T_UNDEFINED:
    return u"undefined";
  case T_NULL:
    return u"null";
  case T_BOOL:
    return v.d ? u"true" : u"false";
  case T_INT:
    return ascii(std::to_string(intOf(v)));
  case T_FLOAT:
    return ascii(numberText(floatOf(v)));
  case T_STRING:
    return string(v) ? *string(v) : std::u16string();
  case T_ARRAY: {
    // Like Array.prototype.toString: elements joined by commas, empty for
    // undefined and null.
    std::u16string out;
    const auto *a = array(v);
    for (size_t i = 0; a && i < a->items.size(); ++i) {
      if (i)
        out += u',';
      if (a->items[i].t != T_UNDEFINED && a->items[i].t != T_NULL)
        out += text(a->items[i]);
    }
    return out;
  }
  case T_MAP:
    return u"[object Object]";
  case T_FUNCTION:
    return u"function() { [native code] }";
  default:
    return std::u16string();
  }
}

UINT Values::toString(VALUE *pval, UINT how) {
  if (!pval)
    return HV_BAD_PARAMETER;
  if (how == CVT_SIMPLE) {
    if (pval->t == T_STRING)
      return HV_OK;
    setString(pval, text(*pval));
    return HV_OK;
  }
  if (how == CVT_JSON_LITERAL) {
    const QString literal = ValueJson::toLiteral(*pval);
    setString(pval, literal.toStdU16String());
    return HV_OK;
  }
  return HV_BAD_PARAMETER;
}

UINT Values::fromString(VALUE *pval, LPCWSTR16 chars, UINT length, UINT how) {
  if (!pval || (!chars && length))
    return HV_BAD_PARAMETER;
  const QString source = QString::fromUtf16(chars, static_cast<int>(length));
  if (ValueJson::fromLiteral(source, pval))
    return HV_OK;
  if (how == CVT_SIMPLE) {
    // Text that is no literal is taken as a plain string.
    setString(pval, source.toStdU16String());
    return HV_OK;
  }
  return HV_BAD_PARAMETER;
}

UINT Values::isNativeFunctor(const VALUE *pval) {
  (void)pval;
  return 0;
}
