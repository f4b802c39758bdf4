// lumivane-client: the reference client and headset simulator.

#include "ClientApp.h"
#include "ClientOptions.h"
#include "Reporter.h"

#include <spdlog/sinks/stdout_sinks.h>
#include <spdlog/spdlog.h>

#include <iostream>

using namespace lumivane::client;

int main(int argc, char** argv) {
    const auto parsed = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.error.empty()) {
        std::cerr << "lumivane-client: " << parsed.error << "\nTry 'lumivane-client --help'.\n";
        return static_cast<int>(ExitCode::Usage);
    }
    if (parsed.options.command == Command::Help) {
        std::cout << helpText();
        return 0;
    }
    // Host code we reuse may log; keep stdout for our own events.
    spdlog::set_default_logger(spdlog::stderr_logger_st("lumivane-client"));
    spdlog::set_level(spdlog::level::warn);
    Reporter reporter(std::cout, std::cerr, parsed.options.json);
    reporter.setVerbose(parsed.options.verbose);
    return static_cast<int>(ClientApp(parsed.options, reporter).run(true));
}
