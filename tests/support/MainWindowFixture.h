#pragma once

#include "base/AppEnvironment.h"
#include "base/SettingsStore.h"
#include "service/HttpClient.h"
#include "support/ScriptedDialogs.h"
#include "support/TestClient.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

// A client in a private program folder with its own settings file, scripted
// dialogs, and a loopback address of its own so that windows of parallel
// test programs never compete for the control port.
class MainWindowFixture : public testing::Test
{
public:
    // See support/LoopbackAddress.h.
    static QString uniqueLoopbackAddress(int index = 0);

protected:
    MainWindowFixture();
    ~MainWindowFixture() override;

    // Creates the client as the program does (its start-up runs); settings
    // written before this call are what it finds.
    TestClient &createWindow();
    AppServices services() const;

    QTemporaryDir home;
    std::unique_ptr<SettingsStore> settings;
    ScriptedDialogs dialogs;
    AppEnvironment environment;
    HttpLimits httpLimits;
    // The desktop bus of the client made next; the session bus when empty.
    std::function<QDBusConnection()> desktopBus;
    std::unique_ptr<TestClient> window;
};
