#include "install/LineCodec.h"

#include <cwchar>

#include "platform/Crc32.h"
#include "platform/Platform.h"

namespace install {

namespace {

uint32_t TextCrc(const std::vector<std::wstring>& lines, size_t count) {
  uint32_t sum = 0;
  for (size_t i = 0; i < count; ++i) {
    const std::string bytes = platform::Utf8(lines[i]) + "\n";
    sum = platform::Crc32(bytes.data(), bytes.size(), sum);
  }
  return sum;
}

}  // namespace

std::vector<std::wstring> Sealed(const std::wstring& header, std::vector<std::wstring> body) {
  body.insert(body.begin(), header);
  body.push_back(L"C\t" + Hex32(TextCrc(body, body.size())));
  return body;
}

std::optional<std::vector<std::wstring>> Unsealed(const std::wstring& header,
                                                  const std::vector<std::wstring>& lines) {
  if (lines.size() < 2 || lines.front() != header) return std::nullopt;
  const std::vector<std::wstring> check = Split(lines.back(), 2);
  uint64_t crc = 0;
  if (check.size() != 2 || check[0] != L"C" || !ParseNumber(check[1], 16, crc) ||
      crc != TextCrc(lines, lines.size() - 1))
    return std::nullopt;
  return std::vector<std::wstring>(lines.begin() + 1, lines.end() - 1);
}

std::vector<std::wstring> Split(const std::wstring& line, size_t parts) {
  std::vector<std::wstring> pieces;
  size_t start = 0;
  while (pieces.size() + 1 < parts) {
    const size_t tab = line.find(L'\t', start);
    if (tab == std::wstring::npos) break;
    pieces.push_back(line.substr(start, tab - start));
    start = tab + 1;
  }
  pieces.push_back(line.substr(start));
  return pieces;
}

bool ParseNumber(const std::wstring& text, int base, uint64_t& value) {
  if (text.empty() || text.size() > 20 || text[0] == L'-' || text[0] == L'+' || iswspace(text[0]))
    return false;
  wchar_t* end = nullptr;
  errno = 0;
  value = wcstoull(text.c_str(), &end, base);
  return end && *end == L'\0' && errno == 0;
}

std::wstring Hex32(uint32_t value) {
  wchar_t text[9];
  swprintf(text, 9, L"%08x", value);
  return text;
}

std::wstring HexBytes(const void* bytes, size_t size) {
  static const wchar_t digits[] = L"0123456789abcdef";
  const auto* in = static_cast<const unsigned char*>(bytes);
  std::wstring text;
  for (size_t i = 0; i < size; ++i) {
    text += digits[in[i] >> 4];
    text += digits[in[i] & 15];
  }
  return text.empty() ? L"-" : text;
}

bool UnhexBytes(const std::wstring& text, std::vector<unsigned char>& bytes) {
  bytes.clear();
  if (text == L"-") return true;
  if (text.empty() || text.size() % 2) return false;
  auto digit = [](wchar_t c) {
    return c >= L'0' && c <= L'9' ? c - L'0' : c >= L'a' && c <= L'f' ? c - L'a' + 10 : -1;
  };
  for (size_t i = 0; i < text.size(); i += 2) {
    const int high = digit(text[i]), low = digit(text[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes.push_back(static_cast<unsigned char>(high << 4 | low));
  }
  return true;
}

}  // namespace install
