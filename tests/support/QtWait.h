// Waiting in a widget test while the event loop runs. Qt Test's QTRY_ macros
// report a timeout to Qt Test's own log and return from the test, which
// GoogleTest never hears of: the test would pass having checked nothing.
// These wait the same way and fail through GoogleTest.
#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QTest>
#include <ostream>

// Until `condition` holds, at most `ms` milliseconds; a fatal failure when it does not.
#define WAIT_UNTIL(condition, ms)                                             \
  ASSERT_TRUE(QTest::qWaitFor([&] { return static_cast<bool>(condition); }, ms)) \
      << "not true after " << (ms) << " ms: " #condition

// Until `actual` equals `expected`, at most `ms` milliseconds; a fatal
// failure naming both values when it does not.
#define WAIT_EQ(actual, expected, ms)                                  \
  do {                                                                 \
    (void)QTest::qWaitFor([&] { return (actual) == (expected); }, ms); \
    ASSERT_EQ(actual, expected) << "after " << (ms) << " ms";          \
  } while (0)

// GoogleTest shows a QString (and so a QStringList) as its text.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }
