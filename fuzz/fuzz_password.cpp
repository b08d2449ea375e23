// Encoded data-source passwords: Base64 and the keyed RC4 transform, on arbitrary values and
// user names.
#include <cstddef>
#include <cstdint>
#include <string>

#include "definition/password.h"
#include "fuzz/support/fuzz_support.h"

using namespace tabrix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::InputReader input(data, size);
  const std::string_view user = input.ShortString(300);
  const std::string_view value = input.Rest();

  fuzz::ExpectOnlyAutomationErrors("password", [&] {
    const std::string password = DecodePassword(value, user);
    fuzz::Require(password.size() <= value.size() / 4 * 3, "decoded text never longer than 3/4");
    fuzz::Require(DecodeBase64(EncodeBase64(value)) == value, "Base64 round-trips");
    fuzz::Require(Rc4Transform(Rc4Transform(value, user), user) == value, "RC4 is its own inverse");
    fuzz::Require(DecodePassword(EncodePassword(value, user), user) == value,
                  "an encoded password decodes to itself");
  });
  return 0;
}
