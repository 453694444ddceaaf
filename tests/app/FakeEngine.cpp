#include "FakeEngine.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <string>

namespace {

struct Body {
  std::atomic<int> references{1};
  std::u16string text;
  std::vector<std::pair<VALUE, VALUE>> members;
  int function = 0;
};

std::atomic<int> bodies{0};
std::mutex lock;
std::vector<FakeEngine::Call> callLog;
std::vector<FakeEngine::Event> eventLog;
std::function<void(const FakeEngine::Call &)> callHook;
std::vector<std::string> atoms;
FakeEngine::Window theWindow;
struct Settlement {
  int function;
  bool call; // a held call rather than a watch
  SciterSettled settled;
  void *tag;
};
std::vector<Settlement> settlements;
std::vector<int> goneFunctions;
bool holding = false;
bool windowFails = false;
int windowObject = 0;

bool hasBody(const VALUE *v) {
  return v->t == T_STRING || v->t == T_MAP || v->t == T_FUNCTION;
}
Body *bodyOf(const VALUE *v) {
  return reinterpret_cast<Body *>(static_cast<uintptr_t>(v->d));
}
Body *newBody(VALUE *v, UINT type, UINT units) {
  auto *body = new Body;
  ++bodies;
  v->t = type;
  v->u = units;
  v->d = reinterpret_cast<uintptr_t>(body);
  return body;
}

UINT valueInit(VALUE *v) {
  *v = VALUE{};
  return HV_OK;
}
UINT valueClear(VALUE *v) {
  if (hasBody(v)) {
    Body *body = bodyOf(v);
    if (--body->references == 0) {
      for (auto &member : body->members) {
        valueClear(&member.first);
        valueClear(&member.second);
      }
      delete body;
      --bodies;
    }
  }
  *v = VALUE{};
  return HV_OK;
}
UINT valueCopy(VALUE *dst, const VALUE *src) {
  if (dst == src)
    return HV_OK;
  VALUE copy = *src;
  if (hasBody(&copy))
    ++bodyOf(&copy)->references;
  valueClear(dst);
  *dst = copy;
  return HV_OK;
}
UINT valueType(const VALUE *v, UINT *type, UINT *units) {
  if (type)
    *type = v->t;
  if (units)
    *units = v->u;
  return HV_OK;
}
UINT valueStringData(const VALUE *v, LPCWSTR16 *chars, UINT *count) {
  if (v->t != T_STRING)
    return HV_INCOMPATIBLE_TYPE;
  *chars = bodyOf(v)->text.c_str();
  *count = static_cast<UINT>(bodyOf(v)->text.size());
  return HV_OK;
}
UINT valueStringDataSet(VALUE *v, LPCWSTR16 chars, UINT count, UINT units) {
  valueClear(v);
  newBody(v, T_STRING, units)->text.assign(chars ? chars : u"", chars ? count : 0);
  return HV_OK;
}
UINT valueIntData(const VALUE *v, INT *out) {
  if (v->t != T_INT && v->t != T_BOOL)
    return HV_INCOMPATIBLE_TYPE;
  *out = static_cast<INT>(static_cast<int64_t>(v->d));
  return HV_OK;
}
UINT valueIntDataSet(VALUE *v, INT data, UINT type, UINT units) {
  valueClear(v);
  if (type == T_MAP) {
    newBody(v, T_MAP, units);
    return HV_OK;
  }
  v->t = type;
  v->u = units;
  v->d = static_cast<UINT64>(static_cast<int64_t>(data));
  return HV_OK;
}
UINT valueInt64Data(const VALUE *v, int64_t *out) {
  if (v->t != T_INT)
    return HV_INCOMPATIBLE_TYPE;
  *out = static_cast<int64_t>(v->d);
  return HV_OK;
}
UINT valueInt64DataSet(VALUE *v, int64_t data, UINT type, UINT units) {
  valueClear(v);
  v->t = type;
  v->u = units;
  v->d = static_cast<UINT64>(data);
  return HV_OK;
}
UINT valueFloatData(const VALUE *v, double *out) {
  if (v->t == T_FLOAT) {
    std::memcpy(out, &v->d, sizeof(double));
    return HV_OK;
  }
  if (v->t == T_INT) {
    *out = static_cast<double>(static_cast<int64_t>(v->d));
    return HV_OK;
  }
  return HV_INCOMPATIBLE_TYPE;
}
UINT valueFloatDataSet(VALUE *v, double data, UINT type, UINT units) {
  valueClear(v);
  v->t = type;
  v->u = units;
  std::memcpy(&v->d, &data, sizeof(double));
  return HV_OK;
}
UINT valueToString(VALUE *v, UINT) {
  QString text;
  switch (v->t) {
  case T_STRING:
    return HV_OK;
  case T_UNDEFINED:
    text = "undefined";
    break;
  case T_NULL:
    text = "null";
    break;
  case T_BOOL:
    text = v->d ? "true" : "false";
    break;
  case T_INT:
    text = QString::number(static_cast<int64_t>(v->d));
    break;
  case T_FLOAT: {
    double d;
    std::memcpy(&d, &v->d, sizeof d);
    text = QString::number(d, 'g', 17);
    break;
  }
  default:
    text = "[object]";
  }
  const std::u16string chars = text.toStdU16String();
  valueStringDataSet(v, chars.c_str(), static_cast<UINT>(chars.size()), UT_STRING_STRING);
  return HV_OK;
}
UINT valueSetValueToKey(VALUE *map, const VALUE *key, const VALUE *item) {
  if (map->t != T_MAP)
    return HV_INCOMPATIBLE_TYPE;
  VALUE k{}, i{};
  valueCopy(&k, key);
  valueCopy(&i, item);
  bodyOf(map)->members.emplace_back(k, i);
  return HV_OK;
}
UINT valueInvoke(const VALUE *fn, VALUE *, UINT argc, const VALUE *argv, VALUE *result, LPCWSTR16) {
  FakeEngine::Call call{fn->t == T_FUNCTION ? bodyOf(fn)->function : -1, argc, VALUE{}};
  if (argc > 0)
    valueCopy(&call.argument, &argv[0]);
  std::function<void(const FakeEngine::Call &)> hook;
  {
    std::lock_guard<std::mutex> guard(lock);
    callLog.push_back(call);
    hook = callHook;
  }
  if (hook)
    hook(call);
  if (result)
    valueClear(result);
  return HV_OK;
}
// Takes the settlements the predicate picks out under the lock, then settles
// them outside it, as the engine does.
template <typename Pick>
void settleWhere(Pick pick, UINT outcome) {
  std::vector<Settlement> picked;
  {
    std::lock_guard<std::mutex> guard(lock);
    for (auto it = settlements.begin(); it != settlements.end();) {
      if (pick(*it)) {
        picked.push_back(*it);
        it = settlements.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (const Settlement &s : picked)
    s.settled(s.tag, outcome);
}
bool isGone(int function) {
  return std::find(goneFunctions.begin(), goneFunctions.end(), function) != goneFunctions.end();
}
UINT valueInvokeSettled(const VALUE *fn, UINT argc, const VALUE *argv, SciterSettled settled,
                        void *tag) {
  valueInvoke(fn, nullptr, argc, argv, nullptr, nullptr);
  const int function = fn->t == T_FUNCTION ? bodyOf(fn)->function : -1;
  UINT outcome = SETTLED_RAN;
  {
    std::lock_guard<std::mutex> guard(lock);
    if (isGone(function)) {
      outcome = SETTLED_GONE;
    } else if (holding) {
      settlements.push_back({function, true, settled, tag});
      return HV_OK;
    }
  }
  settled(tag, outcome);
  return HV_OK;
}
UINT valueFunctionWatch(const VALUE *fn, SciterSettled settled, void *tag) {
  const int function = fn->t == T_FUNCTION ? bodyOf(fn)->function : -1;
  {
    std::lock_guard<std::mutex> guard(lock);
    if (!isGone(function)) {
      settlements.push_back({function, false, settled, tag});
      return HV_OK;
    }
  }
  settled(tag, SETTLED_GONE);
  return HV_OK;
}
UINT valueFunctionUnwatch(void *tag) {
  bool found = false;
  settleWhere(
      [&](const Settlement &s) {
        const bool match = !s.call && s.tag == tag && !found;
        found = found || match;
        return match;
      },
      SETTLED_CANCELLED);
  return found ? HV_OK : HV_BAD_PARAMETER;
}
som_atom_t atomValue(const char *name) {
  std::lock_guard<std::mutex> guard(lock);
  for (size_t i = 0; i < atoms.size(); ++i) {
    if (atoms[i] == name)
      return i + 1;
  }
  atoms.emplace_back(name);
  return atoms.size();
}
const char *atomNameOf(som_atom_t atom) {
  std::lock_guard<std::mutex> guard(lock);
  return atom >= 1 && atom <= atoms.size() ? atoms[atom - 1].c_str() : nullptr;
}
BOOL32 fireEvent(const BEHAVIOR_EVENT_PARAMS *e, BOOL32 post, BOOL32 *handled) {
  std::lock_guard<std::mutex> guard(lock);
  eventLog.push_back({e->cmd, QString::fromUtf16(e->name), e->data.t, post,
                      e->heTarget != nullptr || e->he != nullptr});
  if (handled)
    *handled = 0;
  return 1;
}
HWINDOW createWindow(UINT, const RECT32 *, SciterWindowDelegate, void *, HWINDOW) {
  return windowFails ? nullptr : &windowObject;
}
void setCallback(HWINDOW, LPSciterHostCallback cb, void *param) {
  ++theWindow.callbacksSet;
  theWindow.callback = cb;
  theWindow.callbackParam = param;
}
BOOL32 attachHandler(HWINDOW, LPELEMENT_EVENT_PROC proc, void *tag, UINT subscription) {
  ++theWindow.handlersAttached;
  theWindow.handler = proc;
  theWindow.handlerTag = tag;
  theWindow.subscription = subscription;
  return 1;
}
BOOL32 dataReady(HWINDOW, LPCWSTR16 uri, const uint8_t *data, UINT size) {
  theWindow.readyUrl = QString::fromUtf16(uri);
  theWindow.readyData = QByteArray(reinterpret_cast<const char *>(data), static_cast<int>(size));
  return 1;
}
BOOL32 windowExec(HWINDOW, UINT cmd, uintptr_t p1, uintptr_t) {
  theWindow.commands.emplace_back(cmd, p1);
  return 1;
}

ISciterAPI makeTable() {
  ISciterAPI t{};
  t.ValueInit = valueInit;
  t.ValueClear = valueClear;
  t.ValueCopy = valueCopy;
  t.ValueType = valueType;
  t.ValueStringData = valueStringData;
  t.ValueStringDataSet = valueStringDataSet;
  t.ValueIntData = valueIntData;
  t.ValueIntDataSet = valueIntDataSet;
  t.ValueInt64Data = valueInt64Data;
  t.ValueInt64DataSet = valueInt64DataSet;
  t.ValueFloatData = valueFloatData;
  t.ValueFloatDataSet = valueFloatDataSet;
  t.ValueToString = valueToString;
  t.ValueSetValueToKey = valueSetValueToKey;
  t.ValueInvoke = valueInvoke;
  t.ValueInvokeSettled = valueInvokeSettled;
  t.ValueFunctionWatch = valueFunctionWatch;
  t.ValueFunctionUnwatch = valueFunctionUnwatch;
  t.SciterAtomValue = atomValue;
  t.SciterAtomName = atomNameOf;
  t.SciterFireEvent = fireEvent;
  t.SciterCreateWindow = createWindow;
  t.SciterSetCallback = setCallback;
  t.SciterWindowAttachEventHandler = attachHandler;
  t.SciterDataReady = dataReady;
  t.SciterWindowExec = windowExec;
  return t;
}

} // namespace

namespace FakeEngine {

ISciterAPI &api() {
  static ISciterAPI table = makeTable();
  return table;
}

VALUE integer(int value) {
  VALUE v{};
  valueIntDataSet(&v, value, T_INT, 0);
  return v;
}
VALUE boolean(bool value) {
  VALUE v{};
  valueIntDataSet(&v, value, T_BOOL, 0);
  return v;
}
VALUE number(double value) {
  VALUE v{};
  valueFloatDataSet(&v, value, T_FLOAT, 0);
  return v;
}
VALUE text(const QString &value, UINT units) {
  VALUE v{};
  const std::u16string chars = value.toStdU16String();
  valueStringDataSet(&v, chars.c_str(), static_cast<UINT>(chars.size()), units);
  return v;
}
VALUE function(int id) {
  VALUE v{};
  newBody(&v, T_FUNCTION, 0)->function = id;
  return v;
}

UINT typeOf(const VALUE &value) {
  return value.t;
}
UINT unitsOf(const VALUE &value) {
  return value.u;
}
QString textOf(const VALUE &value) {
  return value.t == T_STRING ? QString::fromStdU16String(bodyOf(&value)->text) : QString();
}
int integerOf(const VALUE &value) {
  INT out = 0;
  valueIntData(&value, &out);
  return out;
}
double numberOf(const VALUE &value) {
  double out = 0;
  valueFloatData(&value, &out);
  return out;
}
int functionIdOf(const VALUE &value) {
  return value.t == T_FUNCTION ? bodyOf(&value)->function : -1;
}
std::vector<std::pair<VALUE, VALUE>> membersOf(const VALUE &map) {
  return map.t == T_MAP ? bodyOf(&map)->members : std::vector<std::pair<VALUE, VALUE>>();
}
void clear(VALUE &value) {
  valueClear(&value);
}

int liveBodies() {
  return bodies;
}
const char *atomName(som_atom_t atom) {
  return atomNameOf(atom);
}

std::vector<Call> calls() {
  std::lock_guard<std::mutex> guard(lock);
  return callLog;
}
int callCount(int function) {
  std::lock_guard<std::mutex> guard(lock);
  int count = 0;
  for (const Call &call : callLog)
    count += call.function == function ? 1 : 0;
  return count;
}
void onCall(std::function<void(const Call &)> hook) {
  std::lock_guard<std::mutex> guard(lock);
  callHook = std::move(hook);
}
std::vector<Event> events() {
  std::lock_guard<std::mutex> guard(lock);
  return eventLog;
}
Window &window() {
  return theWindow;
}
HWINDOW windowHandle() {
  return &windowObject;
}
void failWindowCreation(bool fail) {
  windowFails = fail;
}

void holdCalls(bool hold) {
  std::lock_guard<std::mutex> guard(lock);
  holding = hold;
}
int heldCalls() {
  std::lock_guard<std::mutex> guard(lock);
  return static_cast<int>(std::count_if(settlements.begin(), settlements.end(),
                                        [](const Settlement &s) { return s.call; }));
}
void settleHeldCalls(UINT outcome) {
  settleWhere([](const Settlement &s) { return s.call; }, outcome);
}
void documentGone(int function) {
  {
    std::lock_guard<std::mutex> guard(lock);
    goneFunctions.push_back(function);
  }
  settleWhere([function](const Settlement &s) { return s.function == function; }, SETTLED_GONE);
}
int openSettlements() {
  std::lock_guard<std::mutex> guard(lock);
  return static_cast<int>(settlements.size());
}

void reset() {
  settleWhere([](const Settlement &) { return true; }, SETTLED_CANCELLED);
  std::vector<Call> old;
  {
    std::lock_guard<std::mutex> guard(lock);
    old.swap(callLog);
    eventLog.clear();
    callHook = nullptr;
    goneFunctions.clear();
    holding = false;
  }
  for (Call &call : old)
    valueClear(&call.argument);
  theWindow = Window{};
  windowFails = false;
}

} // namespace FakeEngine
