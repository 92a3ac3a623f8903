#pragma once

// Deep pages for the tests of the nesting limit and of the renderer on them.

#include <gtest/gtest.h>
#include <pthread.h>

#include <cstddef>
#include <string>

namespace vennadar::test {

// Runs `work` on a thread with a 1 MiB stack: hostile nesting must not need a deep native stack
// (gumbo frees its tree recursively; the reader's own walk is iterative).
template <typename Work>
void OnSmallStack(Work work) {
    pthread_attr_t attributes;
    ASSERT_EQ(pthread_attr_init(&attributes), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, 1 << 20), 0);
    pthread_t thread;
    const auto run = [](void* argument) -> void* {
        (*static_cast<Work*>(argument))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attributes, run, &work), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
}

inline std::string Repeat(const std::string& piece, int times) {
    std::string out;
    out.reserve(piece.size() * static_cast<std::size_t>(times));
    for (int i = 0; i < times; ++i) {
        out += piece;
    }
    return out;
}

}  // namespace vennadar::test
