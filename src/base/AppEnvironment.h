#pragma once

#include <QString>

// What the environment decides about a run:
//   VOXLANE_HOME         the program's folder (temp/, <pseudo>.xml, newalert.wav,
//                        temp.jpg); default: the executable's folder
//   VOXLANE_SERVICE_URL  base URL of the community service; default: the build's
//   VOXLANE_LOCAL_IP     the local address reported to the service and bound by
//                        every listening socket; default: the host's address,
//                        listening on all interfaces
struct AppEnvironment
{
    QString homeDir;     // no trailing separator
    QString serviceUrl;  // no trailing '/'
    QString localIp;     // empty: not forced

    static AppEnvironment fromProcess();
};
