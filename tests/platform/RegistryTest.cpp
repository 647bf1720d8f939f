#include <gtest/gtest.h>

#include "platform/Platform.h"

using platform::Registry;
using platform::SetupError;

namespace {
const wchar_t* kKey = L"Software\\SetupVantorTests\\Registry";

class RegistryTest : public testing::Test {
 protected:
  void SetUp() override { Clean(); }
  void TearDown() override { Clean(); }
  static void Clean() {
    RegDeleteKeyExW(HKEY_CURRENT_USER, kKey, KEY_WOW64_32KEY, 0);
  }
  // Writes a raw value through the plain API, bypassing the wrapper.
  static void Raw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
    HKEY k;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0,
                              KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &k, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(k, name, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
    RegCloseKey(k);
  }
};
}  // namespace

TEST_F(RegistryTest, WrittenStringReadsBackAndIsStoredWithItsNul) {
  {
    Registry r;
    r.SetRootKey(HKEY_CURRENT_USER);
    ASSERT_TRUE(r.OpenKey(kKey));
    r.WriteString(L"Name", L"Jan Novák");
  }
  HKEY k;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ | KEY_WOW64_32KEY, &k),
            ERROR_SUCCESS);
  DWORD type = 0, size = 0;
  RegQueryValueExW(k, L"Name", nullptr, &type, nullptr, &size);
  RegCloseKey(k);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, (std::wstring(L"Jan Novák").size() + 1) * sizeof(wchar_t));

  Registry r;
  r.SetRootKey(HKEY_CURRENT_USER);
  r.OpenKey(kKey);
  EXPECT_EQ(r.ReadString(L"Name"), L"Jan Novák");
  EXPECT_TRUE(r.ValueExists(L"Name"));
}
