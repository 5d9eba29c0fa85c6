#include "platform/internal_error.h"

#include <gtest/gtest.h>

#include <string>

TEST(InternalError, NamesTheBrokenConditionAndItsPlaceApartFromUserErrors) {
  const int rows = 3;
  EXPECT_NO_THROW(QM_ASSERT(rows == 3));
  try {
    QM_ASSERT(rows < 0);
    ADD_FAILURE() << "a false condition must throw";
  } catch (const std::runtime_error&) {
    ADD_FAILURE() << "an internal error must not pass for a user-facing one";
  } catch (const internal_error& e) {
    const std::string what = e.what();
    EXPECT_NE(what.find("internal_error_test.cpp:" + std::to_string(__LINE__ - 6) + ": rows < 0"), std::string::npos)
        << what;
  }
}
