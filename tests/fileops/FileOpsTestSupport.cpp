#include "tests/fileops/FileOpsTestSupport.h"

#include <zip.h>

#include <stdexcept>

#include "platform/Platform.h"
#include "tests/support/TestUtil.h"

namespace fileopstest {

void TestContext::ProcessMessages() {
  ++pumps;
  platform::ProcessMessages();
  if (onPump) onPump(*this);
}

std::vector<std::wstring> TestContext::StatusesStartingWith(const std::wstring& prefix) const {
  std::vector<std::wstring> out;
  for (const auto& s : statuses)
    if (s.starts_with(prefix)) out.push_back(s);
  return out;
}

void Put(const std::wstring& path, const std::string& content) {
  std::wstring folder = platform::ExtractFilePath(path);
  if (!folder.empty()) testutil::MakeDirs(folder);
  testutil::WriteFile(path, content);
}

void MakeZip(const std::wstring& path, const std::vector<ZipItem>& items) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* file = zip_source_win32w_create(path.c_str(), 0, -1, &error);
  zip_t* archive = file ? zip_open_from_source(file, ZIP_CREATE | ZIP_TRUNCATE, &error) : nullptr;
  if (!archive) {
    if (file) zip_source_free(file);
    throw std::runtime_error(std::string("zip open: ") + zip_error_strerror(&error));
  }
  for (const auto& item : items) {
    zip_int64_t index;
    if (item.folder) {
      index = zip_dir_add(archive, item.name.c_str(), ZIP_FL_ENC_RAW);
    } else {
      zip_source_t* data = zip_source_buffer(archive, item.content.data(), item.content.size(), 0);
      index = data ? zip_file_add(archive, item.name.c_str(), data, ZIP_FL_ENC_RAW) : -1;
      if (index < 0 && data) zip_source_free(data);
      if (index >= 0 && item.store) zip_set_file_compression(archive, index, ZIP_CM_STORE, 0);
    }
    if (index < 0) {
      const std::string message =
          std::string("zip add ") + item.name + ": " + zip_strerror(archive);
      zip_discard(archive);
      throw std::runtime_error(message);
    }
  }
  if (zip_close(archive) != 0) {
    const std::string message = std::string("zip close: ") + zip_strerror(archive);
    zip_discard(archive);
    throw std::runtime_error(message);
  }
}

}  // namespace fileopstest
