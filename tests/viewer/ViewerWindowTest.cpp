#include <gtest/gtest.h>
TEST(ViewerWindow, Placeholder) {}
