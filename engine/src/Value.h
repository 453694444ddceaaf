#pragma once
// Engine values: the bodies behind VALUE handles and the operations of the
// value API. Simple values live in the handle; strings, arrays, maps and
// functions point at a reference-counted ValueBody.
#include "engine/include/tidewell/engine-api.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class ValueBody {
public:
  virtual ~ValueBody() = default;
  void retain() { refs.fetch_add(1, std::memory_order_relaxed); }
  void release() {
    if (refs.fetch_sub(1, std::memory_order_acq_rel) == 1)
      delete this;
  }

private:
  std::atomic<long> refs{1};
};

class StringBody : public ValueBody {
public:
  explicit StringBody(std::u16string t) : text(std::move(t)) {}
  std::u16string text;
};

class ArrayBody : public ValueBody {
public:
  ~ArrayBody() override;
  std::vector<VALUE> items;
};

class MapBody : public ValueBody {
public:
  ~MapBody() override;
  std::vector<std::pair<VALUE, VALUE>> entries;
};

// A script function kept by native code: a handle in one document's function
// registry. The last release tells that document to drop its entry.
class FunctionBody : public ValueBody {
public:
  FunctionBody(uint64_t document, int64_t handle) : document(document), handle(handle) {}
  ~FunctionBody() override;
  const uint64_t document;
  const int64_t handle;
};

// RAII owner of one VALUE, for engine-internal code.
class OwnedValue {
public:
  OwnedValue() : v{} {}
  explicit OwnedValue(const VALUE &shared);
  OwnedValue(const OwnedValue &other);
  OwnedValue &operator=(const OwnedValue &other);
  ~OwnedValue();
  VALUE *get() { return &v; }
  const VALUE *get() const { return &v; }
  const VALUE &operator*() const { return v; }

private:
  VALUE v;
};

// The value API, one static member per table entry.
class Values {
public:
  static UINT init(VALUE *pval);
  static UINT clear(VALUE *pval);
  static UINT compare(const VALUE *a, const VALUE *b);
  static UINT copy(VALUE *dst, const VALUE *src);
  static UINT type(const VALUE *pval, UINT *pType, UINT *pUnits);
  static UINT stringData(const VALUE *pval, LPCWSTR16 *chars, UINT *count);
  static UINT stringDataSet(VALUE *pval, LPCWSTR16 chars, UINT count, UINT units);
  static UINT intData(const VALUE *pval, INT *data);
  static UINT intDataSet(VALUE *pval, INT data, UINT type, UINT units);
  static UINT int64Data(const VALUE *pval, int64_t *data);
  static UINT int64DataSet(VALUE *pval, int64_t data, UINT type, UINT units);
  static UINT floatData(const VALUE *pval, double *data);
  static UINT floatDataSet(VALUE *pval, double data, UINT type, UINT units);
  static UINT elementsCount(const VALUE *pval, INT *count);
  static UINT nthElementValue(const VALUE *pval, INT n, VALUE *out);
  static UINT nthElementValueSet(VALUE *pval, INT n, const VALUE *item);
  static UINT nthElementKey(const VALUE *pval, INT n, VALUE *out);
  static UINT setValueToKey(VALUE *pval, const VALUE *key, const VALUE *item);
  static UINT getValueOfKey(const VALUE *pval, const VALUE *key, VALUE *out);
  static UINT toString(VALUE *pval, UINT how);
  static UINT fromString(VALUE *pval, LPCWSTR16 text, UINT length, UINT how);
  static UINT isNativeFunctor(const VALUE *pval);

  // Helpers for engine code.
  static void setString(VALUE *pval, std::u16string text, UINT units = UT_STRING_STRING);
  static void setFunction(VALUE *pval, uint64_t document, int64_t handle);
  static const std::u16string *string(const VALUE &v);
  static ArrayBody *array(const VALUE &v);
  static MapBody *map(const VALUE &v);
  static FunctionBody *function(const VALUE &v);
  static double floatOf(const VALUE &v);
  static int64_t intOf(const VALUE &v);
  // The script's own text of a simple value or a container.
  static std::u16string text(const VALUE &v);
  static bool equal(const VALUE &a, const VALUE &b);

private:
  static ValueBody *body(const VALUE &v);
  static bool hasBody(const VALUE &v);
  static void setBody(VALUE *pval, UINT type, UINT units, ValueBody *b);
};
