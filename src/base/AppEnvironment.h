#pragma once

#include <QString>

// What the environment decides about a run:
//   VOXLANE_HOME         the program's folder (temp/, <pseudo>.xml, newalert.wav,
//                        temp.jpg); default: the executable's folder when it can
//                        be written, otherwise the per-user data folder
//   VOXLANE_SERVICE_URL  base URL of the community service, http:// or https://;
//                        default: the build's
//   VOXLANE_SERVICE_CA   a PEM file of authorities trusted beside the system's
//                        for an https:// service; fromProcess() reads only the
//                        variable, the start-up falls back on the "ServiceCA"
//                        setting (chooseServiceCaFile); neither: the system's
//                        authorities only
//   VOXLANE_LOCAL_IP     the local address reported to the service and bound by
//                        every listening socket; default: the host's address,
//                        listening on all interfaces
struct AppEnvironment
{
    QString homeDir;     // no trailing separator
    QString serviceUrl;  // no trailing '/'
    QString localIp;     // empty: not forced
    QString serviceCaFile; // empty: the system's authorities only

    // The setting naming the extra CA file when the environment names none.
    static const QString kServiceCaSetting;

    static AppEnvironment fromProcess();

    // The extra CA file of a run: the VOXLANE_SERVICE_CA value wins over the
    // setting, so that one run can be pointed elsewhere without touching the
    // member's settings.
    static QString chooseServiceCaFile(const QString &variable, const QString &setting);

    // The program's folder from what the process sees: the VOXLANE_HOME value
    // wins; a build-folder run (the executable's folder can be written) keeps
    // its files beside the executable; an installed program, whose folder is
    // read-only, keeps them in the per-user data folder.
    static QString chooseHomeDir(const QString &homeVariable, const QString &executableDir,
                                 bool executableDirWritable, const QString &userDataDir);

    // Makes sure homeDir exists and, when it holds no alert sound yet, copies
    // the one an installation ships (share/voxlane/newalert.wav beside the
    // executable's bin/ folder). Returns false when the folder cannot be made.
    static bool prepareHomeDir(const QString &homeDir, const QString &executableDir);
};
