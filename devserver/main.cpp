// voxlane-devserver: the reference community service, for running the
// client on one machine and for end-to-end tests.
#include "CommunityService.h"
#include "DemoSeed.h"
#include "HttpServer.h"
#include "ServerOptions.h"
#include "SqlEngine.h"
#include "Store.h"

#include <csignal>
#include <iostream>
#include <mutex>
#include <sys/resource.h>

namespace {

devserver::HttpServer *g_server = nullptr;

extern "C" void onSignal(int)
{
    // Only a flag is raised here; the event loop sees it within 100 ms.
    if (g_server)
        g_server->requestStop();
}

} // namespace

int main(int argc, char **argv)
{
    using namespace devserver;
    std::string error;
    const auto options = ServerOptions::parse(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::cerr << "voxlane-devserver: " << error << "\n" << ServerOptions::usage();
        return 2;
    }
    if (options->help) {
        std::cout << ServerOptions::usage();
        return 0;
    }

    // Every waiting client holds a descriptor: use what the system allows.
    rlimit files {};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }

    // The database as messages name it: a URL's password is not repeated.
    const std::string database = SqlEngine::displayName(options->database);
    try {
        Store store(options->database);
        // A database that cannot be written would fail every request later
        // without a word: refuse to start instead.
        try {
            store.checkWritable(CommunityService::systemClock());
        } catch (const StoreError &e) {
            std::cerr << "voxlane-devserver: cannot write to " << database << ": " << e.what()
                      << "\n";
            return 1;
        }
        if (options->seed == "demo")
            DemoSeed::apply(store, CommunityService::systemClock());

        CommunityService service(store, &CommunityService::systemClock);
        std::mutex logMutex;
        HttpServer::Tuning tuning;
        tuning.trustedProxies = options->trustedProxies;
        HttpServer server([&](const HttpRequest &r) { return service.handle(r); },
            [&](const std::string &line) {
                if (options->quiet)
                    return;
                std::lock_guard lock(logMutex);
                std::cout << line << std::endl;
            },
            {}, tuning);
        if (!options->tlsCertificate.empty() && !server.useTls(options->tlsCertificate, options->tlsKey, &error)) {
            std::cerr << "voxlane-devserver: cannot serve HTTPS: " << error << "\n";
            return 1;
        }
        if (!server.listen(options->address, options->port, &error)) {
            std::cerr << "voxlane-devserver: " << error << "\n";
            return 1;
        }
        std::cout << "voxlane-devserver: serving " << (server.tls() ? "https://" : "http://") << options->address << ":" << server.port()
                  << " from " << database << " (schema " << store.schemaVersion() << ")"
                  << std::endl;
        g_server = &server;
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
        server.run();
        g_server = nullptr;
        std::cout << "voxlane-devserver: stopped" << std::endl;
    } catch (const StoreError &e) {
        std::cerr << "voxlane-devserver: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
