#include "tests/fileops/FileOpsTestSupport.h"

#include <zip.h>
#include <zlib.h>

#include <algorithm>
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

std::vector<ZipItem> Installable(std::vector<ZipItem> items) {
  for (const char* needed : {"VantorPro.exe", "Utility/Bde/Setup.exe"}) {
    const bool present = std::any_of(items.begin(), items.end(), [needed](const ZipItem& item) {
      return _stricmp(item.name.c_str(), needed) == 0;
    });
    if (!present) items.push_back({needed, std::string("MZ ") + needed});
  }
  return items;
}

RawEntry Stored(const std::string& name, const std::string& content) {
  RawEntry entry{name, content};
  entry.size = content.size();
  entry.crc = static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(content.data()), static_cast<uInt>(content.size())));
  return entry;
}

RawEntry Deflated(const std::string& name, const std::string& content) {
  RawEntry entry = Stored(name, content);
  entry.method = 8;
  z_stream z{};
  if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2");
  entry.data.resize(deflateBound(&z, static_cast<uLong>(content.size())));
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data()));
  z.avail_in = static_cast<uInt>(content.size());
  z.next_out = reinterpret_cast<Bytef*>(entry.data.data());
  z.avail_out = static_cast<uInt>(entry.data.size());
  const int result = deflate(&z, Z_FINISH);
  entry.data.resize(z.total_out);
  deflateEnd(&z);
  if (result != Z_STREAM_END) throw std::runtime_error("deflate");
  return entry;
}

namespace {

void Put16(std::string& out, uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
void Put64(std::string& out, uint64_t v) {
  Put32(out, static_cast<uint32_t>(v));
  Put32(out, static_cast<uint32_t>(v >> 32));
}

}  // namespace

void WriteRawZip(const std::wstring& path, const std::vector<RawEntry>& entries) {
  std::string archive, directory;
  for (const RawEntry& e : entries) {
    const bool zip64 = e.size >= 0xFFFFFFFFu;
    std::string extra;
    if (zip64) {
      Put16(extra, 0x0001);
      Put16(extra, 8);
      Put64(extra, e.size);
    }
    const bool utf8 = std::any_of(e.name.begin(), e.name.end(), [](char c) { return c & 0x80; });
    const uint16_t flags = static_cast<uint16_t>(e.flags | (utf8 ? 0x0800 : 0));
    const uint16_t needed = zip64 ? 45 : 20;
    // What the local header and the directory record share, from the version
    // needed to the extra field's length.
    std::string common;
    Put16(common, needed);
    Put16(common, flags);
    Put16(common, e.method);
    Put16(common, 0);     // time
    Put16(common, 0x21);  // date: 1 January 1980
    Put32(common, e.crc);
    Put32(common, static_cast<uint32_t>(e.data.size()));
    Put32(common, zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(e.size));
    Put16(common, static_cast<uint32_t>(e.name.size()));
    Put16(common, static_cast<uint32_t>(extra.size()));

    const uint32_t offset = static_cast<uint32_t>(archive.size());
    Put32(archive, 0x04034b50);
    archive += common + e.name + extra + e.data;

    Put32(directory, 0x02014b50);
    Put16(directory, (static_cast<uint32_t>(e.system) << 8) | needed);
    directory += common;
    Put16(directory, 0);  // comment
    Put16(directory, 0);  // disk
    Put16(directory, 0);  // internal attributes
    Put32(directory, e.attributes);
    Put32(directory, offset);
    directory += e.name + extra;
  }
  const uint32_t directoryOffset = static_cast<uint32_t>(archive.size());
  archive += directory;
  Put32(archive, 0x06054b50);
  Put16(archive, 0);
  Put16(archive, 0);
  Put16(archive, static_cast<uint32_t>(entries.size()));
  Put16(archive, static_cast<uint32_t>(entries.size()));
  Put32(archive, static_cast<uint32_t>(directory.size()));
  Put32(archive, directoryOffset);
  Put16(archive, 0);
  testutil::WriteFile(path, archive);
}

}  // namespace fileopstest
