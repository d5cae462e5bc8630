// voxlane-devserver: the reference community service, for running the
// client on one machine and for end-to-end tests.
#include "CommunityService.h"
#include "DemoSeed.h"
#include "HttpServer.h"
#include "ServerOptions.h"
#include "SqlStatement.h"
#include "Store.h"

#include <csignal>
#include <iostream>
#include <mutex>

namespace {

devserver::HttpServer *g_server = nullptr;

extern "C" void onSignal(int)
{
    // Only a flag is raised here; the accept loop sees it within 200 ms.
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

    try {
        Store store(options->database);
        if (options->seed == "demo")
            DemoSeed::apply(store, CommunityService::systemClock());

        CommunityService service(store, &CommunityService::systemClock);
        std::mutex logMutex;
        HttpServer server([&](const HttpRequest &r) { return service.handle(r); },
            [&](const std::string &line) {
                if (options->quiet)
                    return;
                std::lock_guard lock(logMutex);
                std::cout << line << std::endl;
            });
        if (!server.listen(options->address, options->port, &error)) {
            std::cerr << "voxlane-devserver: " << error << "\n";
            return 1;
        }
        std::cout << "voxlane-devserver: serving http://" << options->address << ":" << server.port()
                  << " from " << options->database << " (schema " << store.schemaVersion() << ")"
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
