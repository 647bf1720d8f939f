// The one way a list of lines is kept in the registry: a header line naming
// the layout and its version, the lines, and a last line with the CRC-32 of
// everything before it. Lines are split at tabs; numbers are read without
// exceptions. The record of an installation and the journal of a run use it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace install {

// The header first, the body, then "C\t<crc>".
std::vector<std::wstring> Sealed(const std::wstring& header, std::vector<std::wstring> body);
// The body, when the first line is the header and the CRC matches;
// nothing otherwise (damaged, or of another layout or version).
std::optional<std::vector<std::wstring>> Unsealed(const std::wstring& header,
                                                  const std::vector<std::wstring>& lines);

// Splits at tabs, at most `parts` pieces: the last keeps any tab it holds.
std::vector<std::wstring> Split(const std::wstring& line, size_t parts);
// A whole text as a number of that base; false when anything else is there.
bool ParseNumber(const std::wstring& text, int base, uint64_t& value);
std::wstring Hex32(uint32_t value);
// Bytes as lowercase hex ("-" for none), and back; false on a bad digit.
std::wstring HexBytes(const void* bytes, size_t size);
bool UnhexBytes(const std::wstring& text, std::vector<unsigned char>& bytes);

}  // namespace install
