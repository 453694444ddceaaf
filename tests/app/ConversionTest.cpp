// Values crossing the method table: each argument kind, each result kind,
// errors, kept functions and callback events, against the fake engine.
#include <gtest/gtest.h>

#include <array>
#include <stdexcept>

#include "FakeEngine.h"
#include "bridge/Asset.h"
#include "bridge/GlobalEvents.h"
#include "bridge/MethodTable.h"

namespace {

class Probe : public Asset<Probe> {
public:
  const ISciterAPI &engine() const { return FakeEngine::api(); }
  som_passport_t *passport() { return nullptr; }

  QString text(const QString &value) { return "<" + value + ">"; }
  int integer(int value) { return value; }
  bool boolean(bool value) { return value; }
  double number(float value) { return value; }
  int three(const QString &a, int b, bool c) {
    seen = a + "|" + QString::number(b) + "|" + (c ? "true" : "false");
    return 7;
  }
  bool fails(const QString &message) { throw std::runtime_error(message.toStdString()); }
  bool failsOtherwise() { throw std::out_of_range("index past the end"); }
  int keep(ScriptCallback callback) {
    kept = std::move(callback);
    return 1;
  }
  void nothing() { ++nothingCalls; }

  QString seen;
  ScriptCallback kept;
  int nothingCalls = 0;
};

template <auto Member>
VALUE call(Probe &probe, std::vector<VALUE> args) {
  VALUE result{};
  EXPECT_TRUE(MethodTable::methodEntry<Member>(&probe, static_cast<UINT>(args.size()), args.data(),
                                               &result));
  for (VALUE &arg : args)
    FakeEngine::clear(arg);
  return result;
}

class Conversion : public ::testing::Test {
protected:
  void SetUp() override { FakeEngine::reset(); }
  void TearDown() override {
    probe.kept = nullptr;
    FakeEngine::reset();
    EXPECT_EQ(FakeEngine::liveBodies(), 0) << "an engine value was not released";
  }
  Probe probe;
};

TEST_F(Conversion, StringArgumentsTakeStringsAndTheTextOfOtherValues) {
  VALUE r = call<&Probe::text>(probe, {FakeEngine::text("abc")});
  EXPECT_EQ(FakeEngine::textOf(r), "<abc>");
  FakeEngine::clear(r);
  r = call<&Probe::text>(probe, {FakeEngine::number(1.5)});
  EXPECT_EQ(FakeEngine::textOf(r), "<1.5>");
  FakeEngine::clear(r);
  r = call<&Probe::text>(probe, {FakeEngine::integer(42)});
  EXPECT_EQ(FakeEngine::textOf(r), "<42>");
  EXPECT_EQ(FakeEngine::typeOf(r), T_STRING);
  EXPECT_EQ(FakeEngine::unitsOf(r), UT_STRING_STRING);
  FakeEngine::clear(r);
  // A symbol is not a plain string: it goes through the engine's text form.
  r = call<&Probe::text>(probe, {FakeEngine::text("sym", UT_STRING_SYMBOL)});
  EXPECT_EQ(FakeEngine::textOf(r), "<sym>");
  FakeEngine::clear(r);
}

TEST_F(Conversion, UnreadableIntegersArriveAsZero) {
  VALUE r = call<&Probe::integer>(probe, {FakeEngine::integer(-5)});
  EXPECT_EQ(FakeEngine::typeOf(r), T_INT);
  EXPECT_EQ(FakeEngine::integerOf(r), -5);
  r = call<&Probe::integer>(probe, {FakeEngine::text("12")});
  EXPECT_EQ(FakeEngine::integerOf(r), 0);
  r = call<&Probe::integer>(probe, {FakeEngine::number(3.7)});
  EXPECT_EQ(FakeEngine::integerOf(r), 0);
}

TEST_F(Conversion, BooleansAreTrueOnlyForReadableNonZeroIntegers) {
  auto read = [this](VALUE v) {
    VALUE r = call<&Probe::boolean>(probe, {v});
    EXPECT_EQ(FakeEngine::typeOf(r), T_BOOL);
    return FakeEngine::integerOf(r) != 0;
  };
  EXPECT_TRUE(read(FakeEngine::integer(1)));
  EXPECT_TRUE(read(FakeEngine::boolean(true)));
  EXPECT_FALSE(read(FakeEngine::integer(0)));
  EXPECT_FALSE(read(FakeEngine::boolean(false)));
  EXPECT_FALSE(read(FakeEngine::text("true")));
  EXPECT_FALSE(read(FakeEngine::number(1.0)));
  EXPECT_FALSE(read(VALUE{}));
}

TEST_F(Conversion, NumbersAreNarrowedToSinglePrecisionAndUnreadableOnesAreZero) {
  VALUE r = call<&Probe::number>(probe, {FakeEngine::number(0.1)});
  EXPECT_EQ(FakeEngine::typeOf(r), T_FLOAT);
  EXPECT_EQ(FakeEngine::numberOf(r), static_cast<double>(0.1f));
  r = call<&Probe::number>(probe, {FakeEngine::text("2.5")});
  EXPECT_EQ(FakeEngine::numberOf(r), 0.0);
}

TEST_F(Conversion, MissingArgumentsAreReadAsUndefinedAndExtraOnesIgnored) {
  VALUE r = call<&Probe::three>(probe, {FakeEngine::text("a")});
  EXPECT_EQ(probe.seen, "a|0|false");
  EXPECT_EQ(FakeEngine::integerOf(r), 7);
  call<&Probe::three>(probe, {FakeEngine::text("b"), FakeEngine::integer(2), FakeEngine::integer(1),
                              FakeEngine::text("extra")});
  EXPECT_EQ(probe.seen, "b|2|true");
}

TEST_F(Conversion, RuntimeErrorsBecomeEngineErrorValues) {
  VALUE r = call<&Probe::fails>(probe, {FakeEngine::text("disk on fire")});
  EXPECT_EQ(FakeEngine::typeOf(r), T_STRING);
  EXPECT_EQ(FakeEngine::unitsOf(r), UT_STRING_ERROR);
  EXPECT_EQ(FakeEngine::textOf(r), "disk on fire");
  FakeEngine::clear(r);
  r = call<&Probe::failsOtherwise>(probe, {});
  EXPECT_EQ(FakeEngine::unitsOf(r), UT_STRING_ERROR);
  EXPECT_EQ(FakeEngine::textOf(r), "index past the end");
  FakeEngine::clear(r);
}

TEST_F(Conversion, VoidMembersLeaveTheResultUndefined) {
  VALUE r = call<&Probe::nothing>(probe, {});
  EXPECT_EQ(probe.nothingCalls, 1);
  EXPECT_EQ(FakeEngine::typeOf(r), T_UNDEFINED);
}

TEST_F(Conversion, ANullObjectIsRefusedWithoutACall) {
  VALUE result{};
  EXPECT_FALSE(MethodTable::methodEntry<&Probe::nothing>(nullptr, 0, nullptr, &result));
}

TEST_F(Conversion, AKeptFunctionIsCalledWithAnEventMapAndReleasedByItsLastHolder) {
  const int before = FakeEngine::liveBodies();
  call<&Probe::keep>(probe, {FakeEngine::function(9)});
  EXPECT_EQ(FakeEngine::liveBodies(), before + 1) << "the kept function holds one body";
  probe.kept(CallbackEvent()
                 .symbol("type", "progress")
                 .text("data", "[1,2]")
                 .integer("id", 3)
                 .bytes("total", 6000000000LL));
  const auto calls = FakeEngine::calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].function, 9);
  EXPECT_EQ(calls[0].argc, 1u);
  const auto members = FakeEngine::membersOf(calls[0].argument);
  ASSERT_EQ(members.size(), 4u);
  for (const auto &member : members)
    EXPECT_EQ(FakeEngine::unitsOf(member.first), UT_STRING_SYMBOL) << "keys are symbols";
  EXPECT_EQ(FakeEngine::textOf(members[0].first), "type");
  EXPECT_EQ(FakeEngine::unitsOf(members[0].second), UT_STRING_SYMBOL);
  EXPECT_EQ(FakeEngine::textOf(members[0].second), "progress");
  EXPECT_EQ(FakeEngine::unitsOf(members[1].second), UT_STRING_STRING);
  EXPECT_EQ(FakeEngine::textOf(members[1].second), "[1,2]");
  EXPECT_EQ(FakeEngine::typeOf(members[2].second), T_INT);
  EXPECT_EQ(FakeEngine::integerOf(members[2].second), 3);
  EXPECT_EQ(FakeEngine::typeOf(members[3].second), T_FLOAT);
  EXPECT_EQ(FakeEngine::numberOf(members[3].second), 6000000000.0);
  FakeEngine::reset();
  probe.kept = nullptr;
  EXPECT_EQ(FakeEngine::liveBodies(), before);
}

TEST_F(Conversion, GlobalEventsArePostedWithUndefinedDataAndNoTarget) {
  GlobalEvents::raise(FakeEngine::api(), GlobalEvents::exitApp());
  GlobalEvents::raise(FakeEngine::api(), GlobalEvents::menuOutsideClick());
  const auto events = FakeEngine::events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].name, "NATIVE_EXIT_APP");
  EXPECT_EQ(events[1].name, "NATIVE_MENU_OUTSIDE_CLICK");
  for (const auto &event : events) {
    EXPECT_EQ(event.cmd, 0xF0u);
    EXPECT_EQ(event.dataType, static_cast<UINT>(T_UNDEFINED));
    EXPECT_TRUE(event.post);
    EXPECT_FALSE(event.hasTarget);
  }
}

} // namespace
