#pragma once

#include <gtest/gtest.h>

#include <QTest>

#include "core/state/app_state.h"
#include "core/wait/wait.h"

namespace vennadar::test {

// Downloads arrive through the event loop: turns it until the awaited page has been shown.
inline void Settle(const AppState& state) {
    EXPECT_TRUE(QTest::qWaitFor([&state] { return !IsWaiting(state); }, 40000));
}

}  // namespace vennadar::test
