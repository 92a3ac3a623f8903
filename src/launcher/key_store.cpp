#include "launcher/key_store.h"

#include <cstring>

namespace vennadar {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

TextSpan Trim(TextSpan span) {
    while (span.size > 0 && IsBlank(span.data[0])) {
        ++span.data;
        --span.size;
    }
    while (span.size > 0 && IsBlank(span.data[span.size - 1])) {
        --span.size;
    }
    return span;
}

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(TextSpan span, const char* name) {
    const std::size_t name_size = std::strlen(name);
    if (span.size != name_size) {
        return false;
    }
    for (std::size_t i = 0; i < name_size; ++i) {
        if (AsciiLower(span.data[i]) != AsciiLower(name[i])) {
            return false;
        }
    }
    return true;
}

// Splits off the first line of `*rest` (without its LF) and advances `*rest` past it.
TextSpan NextLine(TextSpan* rest) {
    const void* end = std::memchr(rest->data, '\n', rest->size);
    const std::size_t size =
        end == nullptr ? rest->size
                       : static_cast<std::size_t>(static_cast<const char*>(end) - rest->data);
    const TextSpan line{rest->data, size};
    const std::size_t consumed = end == nullptr ? size : size + 1;
    rest->data += consumed;
    rest->size -= consumed;
    return line;
}

}  // namespace

bool FindKeyStoreValue(TextSpan text, const char* key, const char* name, TextSpan* value) {
    static constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
    if (text.size >= 3 && std::memcmp(text.data, kByteOrderMark, 3) == 0) {
        text.data += 3;
        text.size -= 3;
    }
    bool in_key = false;
    while (text.size > 0) {
        const TextSpan line = Trim(NextLine(&text));
        if (line.size == 0 || line.data[0] == '#' || std::memchr(line.data, '\0', line.size)) {
            continue;
        }
        if (line.data[0] == '[') {
            // A broken header still ends the key before it: its values belong to no key.
            in_key = line.data[line.size - 1] == ']' && line.size >= 2 &&
                     SameName(Trim(TextSpan{line.data + 1, line.size - 2}), key);
            continue;
        }
        if (!in_key) {
            continue;
        }
        const void* equals = std::memchr(line.data, '=', line.size);
        if (equals == nullptr) {
            continue;
        }
        const std::size_t name_size =
            static_cast<std::size_t>(static_cast<const char*>(equals) - line.data);
        if (SameName(Trim(TextSpan{line.data, name_size}), name)) {
            *value = Trim(TextSpan{line.data + name_size + 1, line.size - name_size - 1});
            return true;
        }
    }
    return false;
}

}  // namespace vennadar
