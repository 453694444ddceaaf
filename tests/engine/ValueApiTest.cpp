// The value API, atoms, version and archives through the exported table,
// without a window.
#include "engine/archive/ArchiveWriter.h"
#include "engine/include/tidewell/engine-api.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <thread>
#include <vector>

namespace {
ISciterAPI *api() {
  return SciterAPI();
}

class Value {
public:
  Value() { api()->ValueInit(&v); }
  ~Value() { api()->ValueClear(&v); }
  VALUE *operator&() { return &v; }
  VALUE v;
};

void setInt(VALUE *v, int x) {
  api()->ValueIntDataSet(v, x, T_INT, 0);
}
void setFloat(VALUE *v, double x) {
  api()->ValueFloatDataSet(v, x, T_FLOAT, 0);
}
void setString(VALUE *v, const std::u16string &s, UINT units = 0) {
  api()->ValueStringDataSet(v, s.data(), static_cast<UINT>(s.size()), units);
}

std::u16string stringOf(VALUE *v) {
  LPCWSTR16 chars = nullptr;
  UINT n = 0;
  if (api()->ValueStringData(v, &chars, &n) != HV_OK)
    return u"<not a string>";
  return std::u16string(chars, n);
}

std::string text(VALUE *v, UINT how = CVT_SIMPLE) {
  Value copy;
  api()->ValueCopy(&copy, v);
  EXPECT_EQ(api()->ValueToString(&copy, how), static_cast<UINT>(HV_OK));
  const std::u16string s = stringOf(&copy);
  return std::string(s.begin(), s.end());
}

std::string floatText(double x) {
  Value v;
  setFloat(&v, x);
  return text(&v);
}

TEST(ValueApi, ReportsTheApiLevel) {
  EXPECT_EQ(api()->SciterVersion(0), 6u);
  EXPECT_EQ(api()->SciterVersion(1), 0u);
  EXPECT_EQ(api()->SciterVersion(2), 4u);
  EXPECT_EQ(api()->SciterVersion(3), 5u);
}

TEST(ValueApi, ZeroFilledIsUndefinedAndSimpleValuesKeepTheirTypes) {
  Value v;
  UINT t = 99, u = 99;
  api()->ValueType(&v, &t, &u);
  EXPECT_EQ(t, static_cast<UINT>(T_UNDEFINED));
  api()->ValueIntDataSet(&v, 5, T_BOOL, 0);
  api()->ValueType(&v, &t, &u);
  EXPECT_EQ(t, static_cast<UINT>(T_BOOL));
  INT data = 0;
  EXPECT_EQ(api()->ValueIntData(&v, &data), static_cast<UINT>(HV_OK));
  EXPECT_EQ(data, 1); // a boolean reads as 0 or 1
  setInt(&v, -7);
  EXPECT_EQ(api()->ValueIntData(&v, &data), static_cast<UINT>(HV_OK));
  EXPECT_EQ(data, -7);
}

TEST(ValueApi, IntDataFailsForEverythingButIntegersAndBooleans) {
  INT data = 123;
  Value f, s, u, n, m;
  setFloat(&f, 1.0);
  setString(&s, u"1");
  api()->ValueIntDataSet(&n, 0, T_NULL, 0);
  api()->ValueIntDataSet(&m, 0, T_MAP, 0);
  for (VALUE *v : {&f, &s, &u, &n, &m})
    EXPECT_NE(api()->ValueIntData(v, &data), static_cast<UINT>(HV_OK));
  EXPECT_EQ(data, 123);
}

TEST(ValueApi, FloatDataReadsFloatsAndIntegers) {
  double x = 0;
  Value i, f, s;
  setInt(&i, 3);
  setFloat(&f, 2.25);
  setString(&s, u"2.25");
  EXPECT_EQ(api()->ValueFloatData(&i, &x), static_cast<UINT>(HV_OK));
  EXPECT_EQ(x, 3.0);
  EXPECT_EQ(api()->ValueFloatData(&f, &x), static_cast<UINT>(HV_OK));
  EXPECT_EQ(x, 2.25);
  EXPECT_NE(api()->ValueFloatData(&s, &x), static_cast<UINT>(HV_OK));
  int64_t big = 0;
  Value b;
  api()->ValueInt64DataSet(&b, 5000000000LL, T_INT, 0);
  EXPECT_EQ(api()->ValueInt64Data(&b, &big), static_cast<UINT>(HV_OK));
  EXPECT_EQ(big, 5000000000LL);
}

TEST(ValueApi, SimpleTextIsTheScriptsOwnForm) {
  Value one, yes, no, undef, null;
  setInt(&one, 1);
  api()->ValueIntDataSet(&yes, 1, T_BOOL, 0);
  api()->ValueIntDataSet(&no, 0, T_BOOL, 0);
  api()->ValueIntDataSet(&null, 0, T_NULL, 0);
  EXPECT_EQ(text(&one), "1");
  EXPECT_EQ(text(&yes), "true");
  EXPECT_EQ(text(&no), "false");
  EXPECT_EQ(text(&undef), "undefined");
  EXPECT_EQ(text(&null), "null");
  EXPECT_EQ(floatText(1.5), "1.5");
  EXPECT_EQ(floatText(2.0), "2");
  EXPECT_EQ(floatText(-0.0), "0");
  EXPECT_EQ(floatText(0.1 + 0.2), "0.30000000000000004");
  EXPECT_EQ(floatText(1e21), "1e+21");
  EXPECT_EQ(floatText(123456789012.0), "123456789012");
  EXPECT_EQ(floatText(1e-7), "1e-7");
  EXPECT_EQ(floatText(0.000001), "0.000001");
  EXPECT_EQ(floatText(-2.5e-10), "-2.5e-10");
  EXPECT_EQ(floatText(NAN), "NaN");
  EXPECT_EQ(floatText(-INFINITY), "-Infinity");
}

TEST(ValueApi, ContainersPrintLikeScriptValues) {
  Value array, item, map, key;
  setInt(&item, 1);
  api()->ValueNthElementValueSet(&array, 0, &item);
  setFloat(&item, 2.5);
  api()->ValueNthElementValueSet(&array, 1, &item);
  EXPECT_EQ(text(&array), "1,2.5");
  setString(&key, u"type", UT_STRING_SYMBOL);
  setString(&item, u"done\"", UT_STRING_SYMBOL);
  api()->ValueSetValueToKey(&map, &key, &item);
  EXPECT_EQ(text(&map), "[object Object]");
  EXPECT_EQ(text(&map, CVT_JSON_LITERAL), R"({"type":"done\""})");
  EXPECT_EQ(text(&array, CVT_JSON_LITERAL), "[1,2.5]");
}

TEST(ValueApi, MapsKeepMemberOrderAndSymbolAndStringKeysNameOneMember) {
  Value map, key, item, out;
  api()->ValueIntDataSet(&map, 0, T_MAP, 0);
  INT count = -1;
  api()->ValueElementsCount(&map, &count);
  EXPECT_EQ(count, 0);
  const std::u16string names[] = {u"type", u"id", u"data"};
  for (int i = 0; i < 3; ++i) {
    setString(&key, names[i], UT_STRING_SYMBOL);
    setInt(&item, i);
    EXPECT_EQ(api()->ValueSetValueToKey(&map, &key, &item), static_cast<UINT>(HV_OK));
  }
  setString(&key, u"id"); // a plain string key replaces the symbol's value
  setInt(&item, 42);
  api()->ValueSetValueToKey(&map, &key, &item);
  api()->ValueElementsCount(&map, &count);
  EXPECT_EQ(count, 3);
  api()->ValueNthElementKey(&map, 1, &out);
  UINT units = 0;
  api()->ValueType(&out, nullptr, &units);
  EXPECT_EQ(stringOf(&out), u"id");
  EXPECT_EQ(units, static_cast<UINT>(UT_STRING_SYMBOL));
  api()->ValueGetValueOfKey(&map, &key, &out);
  INT data = 0;
  api()->ValueIntData(&out, &data);
  EXPECT_EQ(data, 42);
  setString(&key, u"missing");
  api()->ValueGetValueOfKey(&map, &key, &out);
  UINT type = 99;
  api()->ValueType(&out, &type, nullptr);
  EXPECT_EQ(type, static_cast<UINT>(T_UNDEFINED));
  EXPECT_EQ(api()->ValueNthElementValue(&map, 3, &out), static_cast<UINT>(HV_BAD_PARAMETER));
}

TEST(ValueApi, CopiesShareTheBodyAndOutliveTheOriginal) {
  Value original, copy, item;
  setString(&original, u"潮井 shared");
  api()->ValueCopy(&copy, &original);
  EXPECT_EQ(copy.v.d, original.v.d);
  api()->ValueClear(&original);
  EXPECT_EQ(stringOf(&copy), u"潮井 shared");
  api()->ValueCopy(&copy, &copy); // a self-copy keeps the value
  EXPECT_EQ(stringOf(&copy), u"潮井 shared");

  Value array, alias;
  setInt(&item, 1);
  api()->ValueNthElementValueSet(&array, 2, &item);
  api()->ValueCopy(&alias, &array);
  setInt(&item, 9);
  api()->ValueNthElementValueSet(&alias, 0, &item);
  INT count = 0;
  api()->ValueElementsCount(&array, &count);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(text(&array), "9,,1");
}

TEST(ValueApi, StringUnitsTravelWithTheValue) {
  Value error, copy;
  setString(&error, u"disk full", UT_STRING_ERROR);
  api()->ValueCopy(&copy, &error);
  UINT type = 0, units = 0;
  api()->ValueType(&copy, &type, &units);
  EXPECT_EQ(type, static_cast<UINT>(T_STRING));
  EXPECT_EQ(units, static_cast<UINT>(UT_STRING_ERROR));
  Value empty;
  EXPECT_EQ(api()->ValueStringDataSet(&empty, nullptr, 0, 0), static_cast<UINT>(HV_OK));
  EXPECT_EQ(stringOf(&empty), u"");
}

TEST(ValueApi, CompareIsByValue) {
  Value a, b, i, f;
  setString(&a, u"x");
  setString(&b, u"x");
  EXPECT_EQ(api()->ValueCompare(&a, &b), static_cast<UINT>(HV_OK_TRUE));
  setString(&b, u"y");
  EXPECT_EQ(api()->ValueCompare(&a, &b), static_cast<UINT>(HV_OK));
  setInt(&i, 1);
  setFloat(&f, 1.0);
  EXPECT_EQ(api()->ValueCompare(&i, &f), static_cast<UINT>(HV_OK_TRUE));
}

TEST(ValueApi, FromStringParsesLiteralsAndKeepsOtherTextAsAString) {
  Value v;
  const std::u16string json = uR"({"list":[1,2.5,"x",true,null]})";
  EXPECT_EQ(
      api()->ValueFromString(&v, json.data(), static_cast<UINT>(json.size()), CVT_JSON_LITERAL),
      0u);
  UINT type = 0;
  api()->ValueType(&v, &type, nullptr);
  EXPECT_EQ(type, static_cast<UINT>(T_MAP));
  EXPECT_EQ(text(&v, CVT_JSON_LITERAL), R"({"list":[1,2.5,"x",true,null]})");
  const std::u16string plain = u"not json";
  EXPECT_NE(
      api()->ValueFromString(&v, plain.data(), static_cast<UINT>(plain.size()), CVT_JSON_LITERAL),
      0u);
  EXPECT_EQ(api()->ValueFromString(&v, plain.data(), static_cast<UINT>(plain.size()), CVT_SIMPLE),
            0u);
  EXPECT_EQ(stringOf(&v), plain);
}

TEST(ValueApi, InvokeRefusesValuesThatAreNoFunction) {
  Value notFunction, result;
  setInt(&notFunction, 1);
  EXPECT_EQ(api()->ValueInvoke(&notFunction, nullptr, 0, nullptr, &result, nullptr),
            static_cast<UINT>(HV_INCOMPATIBLE_TYPE));
  EXPECT_EQ(api()->ValueIsNativeFunctor(&notFunction), 0u);
}

TEST(ValueApi, SharedBodiesSurviveCopiesAndClearsOnManyThreads) {
  Value shared, item;
  setString(&item, u"payload");
  for (int i = 0; i < 16; ++i)
    api()->ValueNthElementValueSet(&shared, i, &item);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&shared] {
      for (int i = 0; i < 20000; ++i) {
        VALUE copy{};
        api()->ValueCopy(&copy, &shared.v);
        api()->ValueClear(&copy);
      }
    });
  for (auto &thread : threads)
    thread.join();
  EXPECT_EQ(text(&shared).substr(0, 15), "payload,payload");
}

TEST(Atoms, InternNamesOnce) {
  const som_atom_t a = api()->SciterAtomValue("NativeUtil");
  EXPECT_NE(a, 0u);
  EXPECT_EQ(api()->SciterAtomValue("NativeUtil"), a);
  EXPECT_NE(api()->SciterAtomValue("VirtualKey"), a);
  EXPECT_STREQ(api()->SciterAtomName(a), "NativeUtil");
  EXPECT_EQ(api()->SciterAtomName(0xFFFFFFFFu), nullptr);
}

TEST(Archives, ItemsAreFoundAsPagesNameThem) {
  ArchiveWriter writer;
  writer.add("common/js/constants.js", "export const a = 1;");
  writer.add("installer/installer.html", "<html></html>");
  QByteArray bytes;
  QString error;
  ASSERT_TRUE(writer.build(&bytes, &error)) << error.toStdString();
  HSARCHIVE archive = api()->SciterOpenArchive(reinterpret_cast<const uint8_t *>(bytes.constData()),
                                               static_cast<UINT>(bytes.size()));
  ASSERT_NE(archive, nullptr);
  const uint8_t *data = nullptr;
  UINT size = 0;
  EXPECT_TRUE(api()->SciterGetArchiveItem(archive, u"installer/installer.html", &data, &size));
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(data), size), "<html></html>");
  EXPECT_TRUE(api()->SciterGetArchiveItem(archive, u"/common/js/Constants", &data, &size));
  EXPECT_EQ(size, 19u);
  EXPECT_FALSE(api()->SciterGetArchiveItem(archive, u"common/js/missing.js", &data, &size));
  EXPECT_TRUE(api()->SciterCloseArchive(archive));
  EXPECT_FALSE(api()->SciterGetArchiveItem(archive, u"installer/installer.html", &data, &size));
  EXPECT_EQ(api()->SciterOpenArchive(nullptr, 0), nullptr);
}
} // namespace
