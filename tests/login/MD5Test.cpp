#include <gtest/gtest.h>

#include "core/MD5bas.h"

namespace {

// Digests the login sends: the standard MD5 for ASCII; a double-byte character
// contributes its GBK code as a negative 16-bit value widened into its word, as
// the system's other programs stored their digests. 56 characters: two blocks.
TEST(MD5, Digests) {
  const struct {
    const char* text;
    int digits;
    const char* digest;
  } rows[] = {
      {"", 32, "d41d8cd98f00b204e9800998ecf8427e"},
      {"abc", 32, "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", 32, "f96b697d7cb7938d525a2f31aaf161d0"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890", 32,
       "57edf4a22be3c955ac49da2e2107b67a"},
      // Other digit counts give words B and C only.
      {"abc", 16, "3cd24fb0d6963f7d"},
      {"abc", 0, "3cd24fb0d6963f7d"},
      {"管理员:密码", 32, "5c583e575ab1b118f3f7a1fed238eaaf"},
      {"管", 32, "2d834c939da2215b03188bfbcbb88e9a"},
      {"a管", 32, "7c123765a1eb8d719b8d298a0448a374"},
      {"ab管", 32, "8bc3590e7bc89929aa8078cb850e699d"},
      {"abc管", 32, "8dbe7039a5928eadedc8041691a574dd"},
      {"张三:123456", 32, "921f7b943788b3251533b1a971f78039"},
      {"（全角）:x", 32, "f918425b3a5b3d793635d6dfc635d74b"},
      {"teacher:密密密密密密密密密密密密密密密密密密密密密密密密密密密密密密密密密密密密密密密密密密密密密密密密", 32,
       "2f499f7346e192894e1d253921106408"},
  };
  for (const auto& row : rows)
    EXPECT_EQ(MD5(QString::fromUtf8(row.text), row.digits), QLatin1String(row.digest)) << row.text;
}

}  // namespace
