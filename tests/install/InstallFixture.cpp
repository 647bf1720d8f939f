#include "tests/install/InstallFixture.h"

#include <commctrl.h>
#include <sddl.h>
#include <winioctl.h>

#include <cstring>

#include "tests/fileops/FileOpsTestSupport.h"

namespace installtest {

namespace {

constexpr REGSAM k32 = KEY_WOW64_32KEY;

std::wstring FromBuild(const char* unixPath) {
  return L"Z:" + platform::Wide(unixPath);
}

// Wine's mount manager, as its configuration tool drives it.
struct UnixDriveRequest {
  ULONG size;
  ULONG type;
  ULONG fsType;
  DWORD serial;
  ULONGLONG unixDev;
  WCHAR letter;
  USHORT mountPointOffset;
  USHORT deviceOffset;
  USHORT labelOffset;
};
constexpr DWORD kDefineUnixDrive =
    CTL_CODE(0x6d, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);

bool DefineUnixDrive(wchar_t letter, const std::string& unixPath) {
  HANDLE manager =
      CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (manager == INVALID_HANDLE_VALUE) return false;
  std::vector<char> buffer(sizeof(UnixDriveRequest) + unixPath.size() + 1, '\0');
  auto* request = reinterpret_cast<UnixDriveRequest*>(buffer.data());
  request->size = static_cast<ULONG>(buffer.size());
  request->letter = static_cast<WCHAR>(towlower(letter));
  if (!unixPath.empty()) {
    request->type = DRIVE_FIXED;
    request->mountPointOffset = sizeof(UnixDriveRequest);
    std::memcpy(buffer.data() + sizeof(UnixDriveRequest), unixPath.c_str(), unixPath.size());
  }
  DWORD returned = 0;
  const BOOL ok =
      DeviceIoControl(manager, kDefineUnixDrive, buffer.data(), static_cast<DWORD>(buffer.size()),
                      nullptr, 0, &returned, nullptr);
  CloseHandle(manager);
  return ok != FALSE;
}

Boxes* g_boxes = nullptr;
WhenStatus* g_when = nullptr;

}  // namespace

std::wstring RealEngineSetup() {
  return FromBuild(SV_BDE_SETUP);
}

std::wstring EngineStub() {
  return FromBuild(SV_ENGINE_STUB);
}

// ------------------------------------------------------------------ medium

int Payload::Counted() const {
  int n = 0;
  for (const auto& [name, content] : files)
    if (!name.starts_with("Utility/") && !name.starts_with("Navod/")) ++n;
  return n;
}

Payload MakePayload(const MediumSpec& layout) {
  Payload p;
  p.files = {
      {"VantorPro.exe", "the program"},
      {"VantorPro.hlp", "the help file"},
      {"Ctimne.txt", "read me"},
      {"Vzory/Faktura.vzr", "invoice"},
      {"Vzory/Dopisy/Dopis.vzr", "letter"},
      {"Priklady/Priklad1.vpr", "example"},
      {"Data/Kurzy.dat", "rates"},
      {"Navod/Navod.txt", "manual"},
      {"Utility/Bde/Bde.cab", "engine files"},
  };
  for (int i = 0; i < layout.extraTopLevel; ++i)
    p.files.push_back({"Extra" + std::to_string(i) + ".dat", std::string(2000, 'x')});
  for (int i = 0; i < layout.extraTemplates; ++i)
    p.files.push_back({"Vzory/Hromadne/Vzor" + std::to_string(i) + ".vzr", std::string(3000, 'v')});
  if (!layout.setupProgram.empty())
    p.files.push_back({"Utility/Bde/Setup.exe", testutil::ReadFile(layout.setupProgram)});
  return p;
}

void WriteArchive(const std::wstring& path, const Payload& payload) {
  std::vector<fileopstest::ZipItem> items;
  for (const auto& [name, content] : payload.files) items.push_back({name, content});
  fileopstest::MakeZip(path, items);
}

// ------------------------------------------------------------------ boxes

Boxes::Boxes(Rule rule) : rule_(std::move(rule)) {
  g_boxes = this;
  platform::SetMessageBoxResponder(
      [this](const std::wstring& text, const std::wstring& caption, UINT flags) {
        asked_.push_back({text, caption, flags});
        return rule_ ? rule_(asked_.back()) : IDOK;
      });
}

Boxes::~Boxes() {
  platform::SetMessageBoxResponder({});
  g_boxes = nullptr;
}

std::vector<std::wstring> Boxes::Texts() const {
  std::vector<std::wstring> texts;
  for (const auto& box : asked_) texts.push_back(box.text);
  return texts;
}

// ------------------------------------------------------------- WhenStatus

WhenStatus::WhenStatus(TfrmSetup& form, std::wstring prefix, std::function<void()> action)
    : form_(form), prefix_(std::move(prefix)), action_(std::move(action)) {
  g_when = this;
  timer_ = SetTimer(nullptr, 0, USER_TIMER_MINIMUM, &WhenStatus::Tick);
}

WhenStatus::~WhenStatus() {
  if (timer_) KillTimer(nullptr, timer_);
  g_when = nullptr;
}

void CALLBACK WhenStatus::Tick(HWND, UINT, UINT_PTR, DWORD) {
  if (g_when) g_when->Check();
}

void WhenStatus::Check() {
  if (fired_) return;
  const std::wstring status = form_.Text(L"lblCopyFile");
  if (!status.starts_with(prefix_)) return;
  fired_ = true;
  seen_ = status;
  KillTimer(nullptr, timer_);
  timer_ = 0;
  action_();
}

// ------------------------------------------------------------ MappedDrive

wchar_t FreeDriveLetter() {
  const DWORD used = GetLogicalDrives();
  for (wchar_t letter = L'R'; letter <= L'Y'; ++letter)
    if (!(used & (1u << (letter - L'A')))) return letter;
  return 0;
}

MappedDrive::MappedDrive(const std::wstring& folder) {
  using UnixName = char*(CDECL*)(LPCWSTR);
  // Through void*, as GetProcAddress results are passed on.
  auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  const wchar_t letter = FreeDriveLetter();
  if (!unixName || !letter) return;
  char* path = unixName(folder.c_str());
  if (!path) return;
  const bool ok = DefineUnixDrive(letter, path);
  HeapFree(GetProcessHeap(), 0, path);
  if (ok) letter_ = letter;
}

MappedDrive::~MappedDrive() {
  if (letter_) DefineUnixDrive(letter_, {});
}

// -------------------------------------------------------------- LockedKey

LockedKey::LockedKey(HKEY root, std::wstring key, REGSAM view, const wchar_t* sddl)
    : root_(root), key_(std::move(key)), view_(view) {
  HKEY k = nullptr;
  if (RegOpenKeyExW(root_, key_.c_str(), 0, READ_CONTROL | WRITE_DAC | view_, &k) != ERROR_SUCCESS)
    return;
  DWORD size = 0;
  RegGetKeySecurity(k, DACL_SECURITY_INFORMATION, nullptr, &size);
  saved_.resize(size);
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (RegGetKeySecurity(k, DACL_SECURITY_INFORMATION, saved_.data(), &size) == ERROR_SUCCESS &&
      ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr)) {
    locked_ = RegSetKeySecurity(k, DACL_SECURITY_INFORMATION, sd) == ERROR_SUCCESS;
    LocalFree(sd);
  }
  RegCloseKey(k);
}

LockedKey::~LockedKey() {
  if (!locked_) return;
  HKEY k = nullptr;
  if (RegOpenKeyExW(root_, key_.c_str(), 0, WRITE_DAC | view_, &k) != ERROR_SUCCESS) return;
  RegSetKeySecurity(k, DACL_SECURITY_INFORMATION, saved_.data());
  RegCloseKey(k);
}

// --------------------------------------------------------------- registry

std::optional<std::wstring> ReadMachineString(const std::wstring& key, const std::wstring& name,
                                              DWORD* bytes) {
  HKEY k = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | k32, &k) != ERROR_SUCCESS)
    return std::nullopt;
  DWORD type = 0, size = 0;
  std::optional<std::wstring> value;
  if (RegQueryValueExW(k, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
      type == REG_SZ) {
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
    RegQueryValueExW(k, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    value = std::wstring(data.data());
    if (bytes) *bytes = size;
  }
  RegCloseKey(k);
  return value;
}

void WriteFlag() {
  wiztest::SetString(HKEY_LOCAL_MACHINE, kQuorKey, kFlag, L"1");
}

bool FlagExists() {
  HKEY k = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kQuorKey, 0, KEY_READ | k32, &k) != ERROR_SUCCESS)
    return false;
  const bool exists =
      RegQueryValueExW(k, kFlag, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  RegCloseKey(k);
  return exists;
}

void CleanInstallationKeys() {
  RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kVantorKey, k32, 0);
  HKEY k = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kQuorKey, 0, KEY_ALL_ACCESS | k32, &k) != ERROR_SUCCESS)
    return;
  RegDeleteValueW(k, kFlag);
  DWORD subKeys = 0, values = 0;
  RegQueryInfoKeyW(k, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr,
                   nullptr, nullptr, nullptr);
  RegCloseKey(k);
  if (subKeys == 0 && values == 0) RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kQuorKey, k32, 0);
}

// ------------------------------------------------------------------ pumps

bool PumpUntil(const std::function<bool()>& pred, DWORD timeoutMs) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  for (;;) {
    platform::ProcessMessages();
    if (pred()) return true;
    if (GetTickCount64() >= end) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

void PumpFor(DWORD ms) {
  PumpUntil([] { return false; }, ms);
}

// ------------------------------------------------------------ InstallTest

InstallTest::InstallTest() {
  CleanInstallationKeys();
  testutil::MakeDirs(Programs());
  testutil::MakeDirs(Programs() + L"\\Příslušenství");
  wiztest::SetString(HKEY_CURRENT_USER, wiztest::kShellFolders, L"Programs", Programs());
  wiztest::SetString(HKEY_LOCAL_MACHINE, wiztest::kNtKey, L"RegisteredOwner", L"Jan Novák");
  wiztest::SetString(HKEY_LOCAL_MACHINE, wiztest::kNtKey, L"RegisteredOrganization",
                     L"Kůň a spol.");
  wchar_t cwd[MAX_PATH * 2] = {};
  GetCurrentDirectoryW(MAX_PATH * 2, cwd);
  savedCwd_ = cwd;
  SetEnvironmentVariableW(L"VANTOR_BDE_SETUP_MS", L"300");
  SetEnvironmentVariableW(L"SV_STUB_FLAG_MS", nullptr);
}

InstallTest::~InstallTest() {
  form_.reset();
  SetCurrentDirectoryW(savedCwd_.c_str());
  SetEnvironmentVariableW(L"VANTOR_BDE_SETUP_MS", nullptr);
  SetEnvironmentVariableW(L"SV_STUB_FLAG_MS", nullptr);
  CleanInstallationKeys();
}

TfrmSetup& InstallTest::OpenOnMedium(const MediumSpec& layout) {
  testutil::MakeDirs(Medium());
  payload_ = MakePayload(layout);
  WriteArchive(Medium() + L"\\Vaninst.pak", payload_);
  // The wizard takes the folder it starts in as the medium.
  EXPECT_TRUE(SetCurrentDirectoryW(Medium().c_str()));
  return Open();
}

void InstallTest::ToSummary() {
  while (Form().CurrentPage < 4) {
    const int before = Form().CurrentPage;
    Click(L"pbNext");
    ASSERT_EQ(Form().CurrentPage, before + 1) << "stuck on page " << before;
  }
  ASSERT_EQ(Form().ShownPageName(), L"pgStartCopy");
}

bool InstallTest::WaitForFinishPage(DWORD timeoutMs) {
  return PumpUntil([this] { return Form().ShownPage() == 6; }, timeoutMs);
}

bool InstallTest::WaitForEngineToEnd(DWORD timeoutMs) {
  const std::wstring program = Form().SourceDir + L"\\Utility\\Bde\\Setup.exe";
  return PumpUntil(
      [&] {
        HANDLE h = CreateFileW(program.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        CloseHandle(h);
        return true;
      },
      timeoutMs);
}

void InstallTest::SetFolders(const std::wstring& app, const std::wstring& projects,
                             const std::wstring& templates) {
  Form().SetText(L"txtVantorPro", app);
  Form().SetText(L"txtProjekty", projects);
  Form().SetText(L"txtVzory", templates);
}

int InstallTest::ProgressMax() const {
  return static_cast<int>(SendMessageW(form_->Control(L"ProgressBar1"), PBM_GETRANGE, FALSE, 0));
}

int InstallTest::ProgressPos() const {
  return static_cast<int>(SendMessageW(form_->Control(L"ProgressBar1"), PBM_GETPOS, 0, 0));
}

void InstallTest::ExpectFatal(const Boxes& boxes, const std::wstring& text) {
  ASSERT_EQ(boxes.Asked().size(), 1u) << "asked: " << boxes.Asked().size();
  EXPECT_EQ(boxes.Asked()[0].text, text);
  EXPECT_EQ(boxes.Asked()[0].caption, kTitle);
  EXPECT_EQ(boxes.Asked()[0].flags, static_cast<unsigned>(MB_OK | MB_ICONERROR));
  EXPECT_TRUE(platform::Terminated());
  EXPECT_TRUE(Form().CloseWithoutPrompt);
  EXPECT_TRUE(::AbortRequested);
  EXPECT_FALSE(Form().TimerEnabled());
  // Nothing more is asked while the program winds down.
  PumpFor(1500);
  EXPECT_EQ(boxes.Asked().size(), 1u);
  EXPECT_EQ(Form().ShownPage(), 5);
}

}  // namespace installtest
