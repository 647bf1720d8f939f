#include <gtest/gtest.h>

#include "platform/Platform.h"

using platform::Registry;
using platform::SetupError;

namespace {
const wchar_t* kKey = L"Software\\SetupVantorTests\\Registry";

platform::UniqueHkey RawOpen(HKEY root, REGSAM view) {
  platform::UniqueHkey k;
  RegCreateKeyExW(root, kKey, 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, k.put(), nullptr);
  return k;
}

class RegistryTest : public testing::Test {
 protected:
  void SetUp() override { Clean(); }
  void TearDown() override { Clean(); }
  static void Clean() {
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
      for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) RegDeleteKeyExW(root, kKey, view, 0);
  }
  // Writes a raw value through the plain API, bypassing the wrapper.
  static void Raw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
    const platform::UniqueHkey k = RawOpen(HKEY_CURRENT_USER, KEY_WOW64_32KEY);
    ASSERT_NE(k.get(), nullptr);
    ASSERT_EQ(RegSetValueExW(k.get(), name, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
  }
  static std::wstring ReadVia(const wchar_t* name) {
    Registry r;
    r.SetRootKey(HKEY_CURRENT_USER);
    r.OpenKey(kKey);
    return r.ReadString(name);
  }
};
}  // namespace

TEST_F(RegistryTest, WrittenStringIsRegSzWithItsNulAndReadsBack) {
  {
    Registry r;
    r.SetRootKey(HKEY_CURRENT_USER);
    ASSERT_TRUE(r.OpenKey(kKey));
    r.WriteString(L"Name", L"Jan Novák");
    r.WriteString(L"Empty", L"");
  }
  {
    const platform::UniqueHkey k = RawOpen(HKEY_CURRENT_USER, KEY_WOW64_32KEY);
    DWORD type = 0, size = 0;
    RegQueryValueExW(k.get(), L"Name", nullptr, &type, nullptr, &size);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, (std::wstring(L"Jan Novák").size() + 1) * sizeof(wchar_t));
    RegQueryValueExW(k.get(), L"Empty", nullptr, &type, nullptr, &size);
    EXPECT_EQ(size, sizeof(wchar_t));  // the NUL alone
  }

  EXPECT_EQ(ReadVia(L"Name"), L"Jan Novák");
  EXPECT_EQ(ReadVia(L"Empty"), L"");
}

TEST_F(RegistryTest, ReadRulesForMissingEmptyExpandAndEmbeddedNul) {
  Raw(L"Zero", REG_SZ, L"", 0);
  const wchar_t expand[] = L"%WINDIR%\\x";
  Raw(L"Expand", REG_EXPAND_SZ, expand, sizeof(expand));
  const wchar_t twoParts[] = L"first\0second";
  Raw(L"TwoParts", REG_SZ, twoParts, sizeof(twoParts));

  EXPECT_EQ(ReadVia(L"Missing"), L"");
  EXPECT_EQ(ReadVia(L"Zero"), L"");
  EXPECT_EQ(ReadVia(L"Expand"), L"%WINDIR%\\x");  // not expanded
  EXPECT_EQ(ReadVia(L"TwoParts"), L"first");
}

TEST_F(RegistryTest, OtherTypesRaiseTheInvalidTypeError) {
  const DWORD number = 7;
  Raw(L"Number", REG_DWORD, &number, sizeof(number));
  const BYTE bytes[] = {1, 2, 3};
  Raw(L"Bytes", REG_BINARY, bytes, sizeof(bytes));
  for (const wchar_t* name : {L"Number", L"Bytes"}) {
    try {
      ReadVia(name);
      ADD_FAILURE() << "no error for " << platform::Utf8(name);
    } catch (const SetupError& e) {
      EXPECT_EQ(e.Message(), std::wstring(L"Invalid data type for '") + name + L"'");
    }
  }
}

TEST_F(RegistryTest, WithoutAnOpenKeyReadsAreEmptyAndWritesFail) {
  Raw(L"Name", REG_SZ, L"x", 4);
  Registry r;
  r.SetRootKey(HKEY_CURRENT_USER);
  EXPECT_EQ(r.ReadString(L"Name"), L"");
  EXPECT_FALSE(r.ValueExists(L"Name"));
  try {
    r.WriteString(L"Name", L"y");
    ADD_FAILURE() << "write without a key succeeded";
  } catch (const SetupError& e) {
    EXPECT_EQ(e.Message(), L"Failed to set data for 'Name'");
  }
  // Changing the root closes the key that was open.
  ASSERT_TRUE(r.OpenKey(kKey));
  EXPECT_TRUE(r.ValueExists(L"Name"));
  r.SetRootKey(HKEY_LOCAL_MACHINE);
  EXPECT_FALSE(r.HasOpenKey());
  EXPECT_EQ(r.ReadString(L"Name"), L"");
}

TEST_F(RegistryTest, OpenCreatesTheKeyInThe32BitViewOnly) {
  {
    Registry r;
    r.SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(r.OpenKey(kKey));
    r.WriteString(L"Flag", L"1");
  }
  platform::UniqueHkey k32, k64;
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ | KEY_WOW64_32KEY, k32.put()),
            ERROR_SUCCESS);
  EXPECT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ | KEY_WOW64_64KEY, k64.put()),
            ERROR_SUCCESS);
}

TEST_F(RegistryTest, ValueTestAndDelete) {
  Registry r;
  r.SetRootKey(HKEY_CURRENT_USER);
  ASSERT_TRUE(r.OpenKey(kKey));
  EXPECT_FALSE(r.ValueExists(L"Vantor_BDE_Inst_OK"));
  EXPECT_FALSE(r.DeleteValue(L"Vantor_BDE_Inst_OK"));
  const DWORD one = 1;
  Raw(L"Vantor_BDE_Inst_OK", REG_DWORD, &one, sizeof(one));  // any type counts
  EXPECT_TRUE(r.ValueExists(L"Vantor_BDE_Inst_OK"));
  EXPECT_TRUE(r.DeleteValue(L"Vantor_BDE_Inst_OK"));
  EXPECT_FALSE(r.ValueExists(L"Vantor_BDE_Inst_OK"));
}
