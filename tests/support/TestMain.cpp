// Test entry: an application object on the offscreen platform, a private
// settings folder, and an error report that records instead of showing a box.
#include "support/RecordedErrors.h"

#include "app/ui/VoxlaneApplication.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    qunsetenv("VOXLANE_HOME");
    qunsetenv("VOXLANE_LOCAL_IP");

    testing::InitGoogleTest(&argc, argv);
    VoxlaneApplication app(argc, argv);
    RecordedErrors::install();
    return RUN_ALL_TESTS();
}
