// A work context without a window, and ZIP archives written by libzip.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "fileops/WorkContext.h"

namespace fileopstest {

// Records what the file work reports; the pump lets real window messages
// through and may run a hook (a nested handler such as the abort button).
class TestContext : public fileops::WorkContext {
 public:
  void SetStatus(const std::wstring& text) override { statuses.push_back(text); }
  void StepProgress() override { ++steps; }
  void ProcessMessages() override;
  bool StopRequested() const override { return abort; }
  void StopInstall() override {
    ++stopCalls;
    abort = true;
  }
  bool LeaveVzoryOnCd() const override { return vzory; }
  bool LeavePrikladyOnCd() const override { return priklady; }
  void AddMemoLine(const std::wstring& line) override { memo.push_back(line); }
  const std::wstring& SetupTitle() const override { return title; }
  void CopyFailed(const fileops::CopyFailure& failure) override { failures.push_back(failure); }

  // The status texts that start with prefix, in order.
  std::vector<std::wstring> StatusesStartingWith(const std::wstring& prefix) const;

  std::vector<std::wstring> statuses;
  std::vector<std::wstring> memo;
  std::vector<fileops::CopyFailure> failures;  // as reported, in order
  int steps = 0;
  int pumps = 0;
  int stopCalls = 0;
  bool abort = false;
  bool vzory = false;
  bool priklady = false;
  std::wstring title = L"Instalace VantorPro V1.3";
  std::function<void(TestContext&)> onPump;
};

struct ZipItem {
  std::string name;  // stored exactly as given
  std::string content;
  bool folder = false;
  bool store = false;  // no compression
};

// The items with what the installation cannot do without added when missing:
// VantorPro.exe at the top and Utility/Bde/Setup.exe.
std::vector<ZipItem> Installable(std::vector<ZipItem> items);

// One entry of an archive written byte by byte, for what libzip would not
// write: any method, flags, declared size and checksum, external attributes.
struct RawEntry {
  std::string name;
  std::string data;  // as stored: deflated when method is 8
  uint16_t method = 0;
  uint64_t size = 0;  // declared; past 4 GB in a Zip64 field
  uint32_t crc = 0;
  uint16_t flags = 0;       // bit 0: encrypted
  uint8_t system = 0;       // made on: 0 MS-DOS, 3 Unix
  uint32_t attributes = 0;  // external: Unix mode above, MS-DOS attributes below
};

// Entries true to their content.
RawEntry Stored(const std::string& name, const std::string& content);
RawEntry Deflated(const std::string& name, const std::string& content);

void WriteRawZip(const std::wstring& path, const std::vector<RawEntry>& entries);

// Writes a file, creating its folder first.
void Put(const std::wstring& path, const std::string& content);

// Writes a new archive at path; throws on any libzip failure.
void MakeZip(const std::wstring& path, const std::vector<ZipItem>& items);

}  // namespace fileopstest
