#pragma once

#include <QTemporaryDir>
#include <QtGlobal>

#include <gtest/gtest.h>

// What every test program sets before its application object exists: the
// offscreen platform unless told otherwise, a private settings folder (the
// user's are never read nor written), and none of the variables that would
// move the program's folder or its address.
class TestEnvironment
{
public:
    TestEnvironment(int &argc, char **argv)
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
        qunsetenv("VOXLANE_HOME");
        qunsetenv("VOXLANE_LOCAL_IP");
        testing::InitGoogleTest(&argc, argv);
    }

private:
    QTemporaryDir m_config;
};
