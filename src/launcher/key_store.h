#pragma once

// The per-user key store: a small plain-text file of keys and named values, the place where an
// installation records the directory of its kernel library. The reader works on a buffer so that
// tests (and a fuzzer) can feed it anything; it needs no C++ runtime, as the launcher links none.
//
// Format (UTF-8):
//   # a comment line
//   [Software\Vennadar\Kernel\Install]
//   Path = /usr/lib/vennadar
// Key and value names compare without regard to ASCII case; blanks around names, around `=` and
// at both ends of a value are dropped. The first matching value under a matching key wins, even
// when the key appears more than once. Lines may be of any length and end in LF or CR LF; lines
// that are none of the above, or hold a NUL byte, are skipped.

#include <cstddef>

namespace vennadar {

struct TextSpan {
    const char* data;
    std::size_t size;
};

// Finds value `name` under key `key` in `text`. On success points `*value` into `text` and
// returns true; otherwise leaves `*value` alone and returns false.
bool FindKeyStoreValue(TextSpan text, const char* key, const char* name, TextSpan* value);

}  // namespace vennadar
