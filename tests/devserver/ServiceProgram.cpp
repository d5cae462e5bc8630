#include "ServiceProgram.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

std::string fileText(const std::string &path)
{
    std::ifstream f(path);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

} // namespace

ServiceProgram::ServiceProgram(const std::string &folder, Options options)
    : m_out(folder + "/service.out")
    , m_err(folder + "/service.err")
{
    std::vector<std::string> args { VOXLANE_DEVSERVER_BINARY };
    args.insert(args.end(), options.arguments.begin(), options.arguments.end());
    m_pid = ::fork();
    if (m_pid == 0) {
        std::freopen(m_out.c_str(), "w", stdout);
        std::freopen(m_err.c_str(), "w", stderr);
        if (options.withoutPrivileges && ::geteuid() == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(126);
        }
        std::vector<char *> argv;
        for (auto &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
}

ServiceProgram::~ServiceProgram()
{
    if (m_pid > 0)
        stop();
}

int ServiceProgram::waitForPort()
{
    for (int i = 0; i < 400; ++i) {
        const std::string text = output();
        // "serving http://127.0.0.1:PORT ..." or "serving https://..."
        const auto at = text.find("://127.0.0.1:");
        if (at != std::string::npos && text.find(' ', at) != std::string::npos)
            return std::atoi(text.c_str() + at + 13);
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return 0;
}

int ServiceProgram::waitForExit()
{
    for (int i = 0; i < 400 && m_pid > 0; ++i) {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    if (m_pid > 0)
        stop();
    return -1;
}

int ServiceProgram::stop()
{
    if (m_pid <= 0)
        return -1;
    ::kill(m_pid, SIGTERM);
    int status = 0;
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string ServiceProgram::output() const
{
    return fileText(m_out);
}

std::string ServiceProgram::errors() const
{
    return fileText(m_err);
}

long ServiceProgram::peakResidentKiB() const
{
    std::istringstream status(fileText("/proc/" + std::to_string(m_pid) + "/status"));
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    }
    return -1;
}
