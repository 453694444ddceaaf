#pragma once
// A small in-process engine table for unit tests: values with reference
// counted bodies, atoms, and a record of every script call, data hand-over
// and event. Bodies are counted so tests can see leaks.
#include <QString>
#include <QVector>
#include <functional>
#include <mutex>
#include <vector>

#include "tidewell/engine-api.h"

namespace FakeEngine {

ISciterAPI &api();

VALUE integer(int value);
VALUE boolean(bool value);
VALUE number(double value);
VALUE text(const QString &value, UINT units = UT_STRING_STRING);
VALUE function(int id); // a script function known by its id

// Reading values back.
UINT typeOf(const VALUE &value);
UINT unitsOf(const VALUE &value);
QString textOf(const VALUE &value);
int integerOf(const VALUE &value);
double numberOf(const VALUE &value);
int functionIdOf(const VALUE &value);
// Map members in insertion order; each key and value as the engine holds them.
std::vector<std::pair<VALUE, VALUE>> membersOf(const VALUE &map);
void clear(VALUE &value);

// Bodies alive right now (strings, maps, functions).
int liveBodies();
const char *atomName(som_atom_t atom);

struct Call {
  int function;
  UINT argc;
  VALUE argument; // a copy of the first argument; cleared by reset()
};
std::vector<Call> calls();
int callCount(int function);
// Runs on every script call, on the caller's thread.
void onCall(std::function<void(const Call &)> hook);

// Calls made with ValueInvokeSettled and watches of ValueFunctionWatch. By
// default a call is reported as run at once; held, the calls wait until the
// test settles them, as a busy page would.
void holdCalls(bool hold);
int heldCalls();
// Settles every held call with the outcome, on the test's thread.
void settleHeldCalls(UINT outcome);
// The document of the function with that id goes: its watches and held calls
// are settled with SETTLED_GONE, and later calls of it too.
void documentGone(int function);
// Open watches and held calls, for leak checks.
int openSettlements();

struct Event {
  UINT cmd;
  QString name;
  UINT dataType;
  BOOL32 post;
  bool hasTarget;
};
std::vector<Event> events();

struct Window {
  int callbacksSet = 0;
  int handlersAttached = 0;
  UINT subscription = 0;
  LPSciterHostCallback callback = nullptr;
  void *callbackParam = nullptr;
  LPELEMENT_EVENT_PROC handler = nullptr;
  void *handlerTag = nullptr;
  QString readyUrl;
  QByteArray readyData;
  std::vector<std::pair<UINT, uintptr_t>> commands; // SciterWindowExec cmd, p1
};
Window &window(); // the one window SciterCreateWindow makes
HWINDOW windowHandle();
void failWindowCreation(bool fail);

void reset();

} // namespace FakeEngine
