// What the installation suites share without a window: media with a real
// Vaninst.pak and engine setup program, the registry keys of the
// installation, drives and keys set up for failures, a message pump.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/TestUtil.h"

namespace installtest {

inline const wchar_t kTitle[] = L"Instalace aplikace VantorPro DEMO";
inline const wchar_t kStopQuestion[] = L"Opravdu chcete přerušit kopírování souborů?";
inline const wchar_t kCloseQuestion[] = L"Opravdu chcete ukončit instalaci?";
inline const wchar_t kEnds[] = L"\rInstalace bude ukončena!";
inline const wchar_t kQuorKey[] = L"Software\\Quor";
inline const wchar_t kVantorKey[] = L"Software\\Quor\\Vantor";
inline const wchar_t kUninstallKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VantorPro";
inline const wchar_t kFlag[] = L"Vantor_BDE_Inst_OK";

// The built programs, as Windows paths.
std::wstring RealEngineSetup();  // the demo's stand-in, writes the flag after a delay
std::wstring EngineStub();       // ours: leaves a trace, writes the flag only when told
std::wstring DemoProgram();      // the demo's VantorPro.exe: a window that stays until closed

struct MediumSpec {
  std::wstring setupProgram;  // empty: no Utility\Bde\Setup.exe in the archive
  int extraTemplates = 0;     // more files below Vzory, for a longer copy
  int extraTopLevel = 0;      // more top-level files, for a longer unpacking
  int largeTemplateMb = 0;    // a template of this size, copied in pieces
  int megabyteTemplates = 0;  // more templates of 1 MB each
  std::wstring program = {};  // a program to carry as VantorPro.exe; empty: only text
  std::string revision = {};  // added to every text file: a later version of the payload
};

// Files of the medium's archive, by their names in it.
struct Payload {
  std::vector<std::pair<std::string, std::string>> files;
  int Counted() const;  // what the progress total counts (no Utility, no Navod)
};
Payload MakePayload(const MediumSpec& layout);
void WriteArchive(const std::wstring& path, const Payload& payload);

// A drive letter of the test's own, mapped onto a folder the way Wine's
// configuration maps drives; removed again by the destructor.
class MappedDrive {
 public:
  explicit MappedDrive(const std::wstring& folder);
  ~MappedDrive();
  MappedDrive(const MappedDrive&) = delete;
  MappedDrive& operator=(const MappedDrive&) = delete;
  bool Mapped() const { return letter_ != 0; }
  std::wstring Root() const { return std::wstring(1, letter_) + L":\\"; }

 private:
  wchar_t letter_ = 0;
  platform::UniqueHandle claim_;  // the letter, against other test programs
};

// A drive of its own from tests/make-drives.sh (tmpfs, mounted as root),
// emptied before and after. Not Ready where it could not be mounted.
class SmallDrive {
 public:
  explicit SmallDrive(const wchar_t* name);
  ~SmallDrive();
  bool Ready() const { return drive_ && drive_->Mapped(); }
  std::wstring Root() const { return drive_->Root(); }

 private:
  void Empty() const;
  std::wstring folder_;
  std::unique_ptr<MappedDrive> drive_;
};

#define NEED_DRIVE(drive) \
  if (!(drive).Ready()) GTEST_SKIP() << "no small drive: tests/make-drives.sh mounts it as root"

// A registry key whose access list is replaced for the test and put back by
// the destructor.
class LockedKey {
 public:
  LockedKey(HKEY root, std::wstring key, REGSAM view, const wchar_t* sddl);
  ~LockedKey();
  LockedKey(const LockedKey&) = delete;
  LockedKey& operator=(const LockedKey&) = delete;
  bool Locked() const { return locked_; }

 private:
  HKEY root_;
  std::wstring key_;
  REGSAM view_;
  std::vector<BYTE> saved_;
  bool locked_ = false;
};

// A value of HKLM in the 32-bit view; nullopt when missing. REG_SZ only.
std::optional<std::wstring> ReadMachineString(const std::wstring& key, const std::wstring& name,
                                              DWORD* bytes = nullptr);
void WriteMachineString(const std::wstring& key, const std::wstring& name,
                        const std::wstring& value);
void WriteFlag();
bool FlagExists();
// Removes the installation's values and keys (32-bit view).
void CleanInstallationKeys();

// A drive letter that no drive uses, the same for the whole program.
wchar_t FreeDriveLetter();

using testutil::PumpUntil;

}  // namespace installtest
