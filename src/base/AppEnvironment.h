#pragma once

#include <QString>

// What the environment decides about a run:
//   VOXLANE_HOME         the program's folder (temp/, <pseudo>.xml, newalert.wav,
//                        temp.jpg); default: the per-user data folder for an
//                        installed program, the executable's folder for a run
//                        from the build folder
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

    // Where the executable runs from, as far as the program's folder goes.
    struct RunPlace
    {
        QString executableDir;
        // Where an installation puts the program, known at build time.
        QString installedBinDir;
        // An installation's share/voxlane beside the executable's folder: an
        // installation moved or made with another prefix than the build's.
        bool sharedFilesBeside = false;
        // Whether this user may write there; always true for root.
        bool executableDirWritable = false;

        // What the file system says about executableDir.
        static RunPlace inspect(const QString &executableDir, const QString &installedBinDir);
        bool installed() const;
    };

    // The program's folder: the VOXLANE_HOME value wins; an installed program
    // keeps its files in the per-user data folder, whoever runs it and
    // whether or not its own folder can be written (root can write
    // /usr/bin, a member their ~/.local/bin); a run from the build folder
    // keeps them beside the executable, unless that folder is not this
    // user's to write.
    static QString chooseHomeDir(
        const QString &homeVariable, const RunPlace &place, const QString &userDataDir);

    // Makes sure homeDir exists and, when it holds no alert sound yet, copies
    // the one an installation ships (share/voxlane/newalert.wav beside the
    // executable's bin/ folder). Returns false when the folder cannot be made.
    static bool prepareHomeDir(const QString &homeDir, const QString &executableDir);
};
