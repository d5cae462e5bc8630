// Test entry: an application object on the offscreen platform, a private
// settings folder, and an error report that records instead of showing a box.
#include "support/RecordedErrors.h"
#include "support/TestEnvironment.h"

#include "app/ui/VoxlaneApplication.h"

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    TestEnvironment environment(argc, argv);
    VoxlaneApplication app(argc, argv);
    RecordedErrors::install();
    return RUN_ALL_TESTS();
}
