#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// The built voxlane-devserver run as a child process, its standard output
// and error kept in files of a folder the caller owns.
class ServiceProgram
{
public:
    struct Options
    {
        std::vector<std::string> arguments;
        // When the tests run as root: run the service as "nobody", so that
        // file permissions apply to it.
        bool withoutPrivileges = false;
    };

    ServiceProgram(const std::string &folder, Options options);
    ~ServiceProgram();
    ServiceProgram(const ServiceProgram &) = delete;
    ServiceProgram &operator=(const ServiceProgram &) = delete;

    pid_t pid() const { return m_pid; }
    // The port from the "serving" line, 0 when the program has not printed
    // it (within a generous guard) or has exited.
    int waitForPort();
    // The exit status once the program ends by itself; -1 when it is still
    // running after the guard time (it is then killed).
    int waitForExit();
    // SIGTERM, then the exit status.
    int stop();

    std::string output() const;
    std::string errors() const;
    // Peak resident memory of the running program (VmHWM), in KiB.
    long peakResidentKiB() const;

private:
    pid_t m_pid = -1;
    std::string m_out;
    std::string m_err;
};
