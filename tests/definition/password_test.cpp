// Password encoding and decoding against vectors computed independently (keys of every length
// the key schedule treats apart, padded and unpadded values), and malformed Base64 text.
#include "definition/password.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace tabrix {
namespace {

std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return bytes;
}

struct Vector {
  std::string user, password, encoded;
};

// Values computed by tests/definition/data/make_password_vectors.py, not by this library.
std::vector<Vector> LoadVectors() {
  std::ifstream in(std::string(TABRIX_SOURCE_DIR) + "/tests/definition/data/password_vectors.txt");
  std::vector<Vector> vectors;
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    std::stringstream split(line);
    for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
    fields.resize(3);
    vectors.push_back({FromHex(fields[0]), FromHex(fields[1]), FromHex(fields[2])});
  }
  return vectors;
}

TEST(DecodePassword, DecodesIndependentlyComputedValues) {
  const std::vector<Vector> vectors = LoadVectors();
  ASSERT_GE(vectors.size(), 10u);
  for (const Vector& v : vectors) {
    EXPECT_EQ(DecodePassword(v.encoded, v.user), v.password) << "user " << v.user.substr(0, 20);
    EXPECT_EQ(EncodePassword(v.password, v.user), v.encoded) << "user " << v.user.substr(0, 20);
  }
}

TEST(Base64, PaddingAndIncompleteGroups) {
  EXPECT_EQ(EncodeBase64("Ma"), "TWE=");
  EXPECT_EQ(DecodeBase64("TWE="), "Ma");
  EXPECT_EQ(EncodeBase64(std::string("\xFF\xFE\x00", 3)), "//4A");
  // Trailing characters that do not make a group of four are ignored.
  EXPECT_EQ(DecodeBase64("TWFuTW"), "Man");
  EXPECT_EQ(DecodeBase64("TWF"), "");
  // Decoding stops at the first padding.
  EXPECT_EQ(DecodeBase64("TQ==TWFu"), "M");
  EXPECT_EQ(DecodeBase64("TWE=TWFu"), "Ma");
}

TEST(Base64, CharactersOutsideTheAlphabetCountAs127) {
  // "T WF": the blank is not skipped; it takes the value 127 in its group (19, 127, 22, 5).
  EXPECT_EQ(DecodeBase64("T WF"), FromHex("4ff585"));
  // A line break inside the value shifts the groups rather than being skipped.
  EXPECT_NE(DecodeBase64("TW\r\nFu"), "Man");
}

}  // namespace
}  // namespace tabrix
