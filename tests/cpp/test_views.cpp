// Border rules, pattern fill, constant encoding, status names and size saturation.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/mod/records.hpp"
#include "engine/mod/views.hpp"

using namespace pyxa;

TEST(StatusName, KnownAndUnknownCodes) {
    EXPECT_STREQ(status_name(11), "GRAPH_INVALID");
    EXPECT_STREQ(status_name(1), "INVALID_ARGUMENT");
    EXPECT_STREQ(status_name(13), "INTERNAL");
    EXPECT_STREQ(status_name(7), "UNKNOWN");
    EXPECT_STREQ(status_name(99), "UNKNOWN");
}
