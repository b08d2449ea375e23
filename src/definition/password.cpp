// Encoding and decoding of data-source passwords stored in definition files (Base64 over a
// keyed RC4 transformation).
#include "definition/password.h"

#include <array>
#include <cstdint>
#include <utility>

namespace tabrix {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Byte value -> 6-bit value; 127 for every byte outside the alphabet.
const std::array<std::uint8_t, 256>& DecodeTable() {
  static const std::array<std::uint8_t, 256> table = [] {
    std::array<std::uint8_t, 256> t{};
    t.fill(127);
    for (int i = 0; i < 64; ++i) t[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::uint8_t>(i);
    return t;
  }();
  return table;
}

}  // namespace

std::string DecodeBase64(std::string_view bytes) {
  const auto& table = DecodeTable();
  std::string out;
  out.reserve(bytes.size() / 4 * 3);
  // Characters outside the alphabet are not skipped: they count as 127 in their group.
  for (std::size_t g = 0; g + 4 <= bytes.size(); g += 4) {
    const unsigned c1 = table[static_cast<unsigned char>(bytes[g])];
    const unsigned c2 = table[static_cast<unsigned char>(bytes[g + 1])];
    const unsigned c3 = table[static_cast<unsigned char>(bytes[g + 2])];
    const unsigned c4 = table[static_cast<unsigned char>(bytes[g + 3])];
    out += static_cast<char>(((c1 * 4) % 256) | ((c2 >> 4) & 3));
    if (bytes[g + 2] == '=') break;
    out += static_cast<char>(((c2 & 15) * 16) | ((c3 >> 2) & 15));
    if (bytes[g + 3] == '=') break;
    out += static_cast<char>((((c3 & 3) * 64) | c4) & 255);
  }
  return out;
}

std::string EncodeBase64(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t v = (static_cast<unsigned char>(bytes[i]) << 16) |
                            (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                            static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  const std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    std::uint32_t v = static_cast<unsigned char>(bytes[i]) << 16;
    if (rest == 2) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::string Rc4Transform(std::string_view bytes, std::string_view key) {
  const std::size_t length = key.size();
  std::array<std::uint8_t, 256> s{};
  std::array<std::uint8_t, 256> k{};
  for (int i = 0; i < 256; ++i) {
    s[i] = static_cast<std::uint8_t>(i);
    k[i] = length > 0 ? static_cast<std::uint8_t>(key[i % length]) : 0;
  }
  unsigned j = length > 0 ? static_cast<unsigned>(255 % length) + 2 : 1;
  for (int i = 0; i < 256; ++i) {
    j = (j + s[i] + k[i]) % 256;
    std::swap(s[i], s[j]);
  }

  std::string out(bytes);
  unsigned i = 0;
  j = 0;
  for (char& c : out) {
    i = (i + 1) % 256;
    j = (j + s[i]) % 256;
    std::swap(s[i], s[j]);
    c = static_cast<char>(static_cast<unsigned char>(c) ^ s[(s[i] + s[j]) % 256]);
  }
  return out;
}

std::string DecodePassword(std::string_view value, std::string_view user) {
  return Rc4Transform(DecodeBase64(value), user);
}

std::string EncodePassword(std::string_view password, std::string_view user) {
  return EncodeBase64(Rc4Transform(password, user));
}

}  // namespace tabrix
