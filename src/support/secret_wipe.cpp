// Overwriting secrets before their memory is released (see secret_wipe.h).
#include "support/secret_wipe.h"

#include <string.h>

namespace tabrix {

void WipeString(std::string& secret) {
  // The whole buffer, spare capacity included: earlier, longer contents may linger there.
  if (secret.capacity() > 0) ::explicit_bzero(secret.data(), secret.capacity());
  secret.clear();
  secret.shrink_to_fit();
}

}  // namespace tabrix
