#pragma once
// Runs the client's classes in-process and keeps every event they report.

#include "ClientApp.h"
#include "Reporter.h"
#include "VideoDecoder.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace lumivane::client::test {

struct ClientRun {
    ExitCode exit = ExitCode::Ok;
    std::vector<nlohmann::json> events;
    std::string text;  // what a user would have seen

    std::vector<nlohmann::json> all(const std::string& name) const {
        std::vector<nlohmann::json> out;
        for (const auto& e : events) {
            if (e["event"] == name) out.push_back(e);
        }
        return out;
    }
    nlohmann::json first(const std::string& name) const {
        auto found = all(name);
        return found.empty() ? nlohmann::json() : found.front();
    }
    // Index of the first event matching, or -1.
    int indexOf(const std::string& name, const std::function<bool(const nlohmann::json&)>& match = nullptr) const {
        for (std::size_t i = 0; i < events.size(); ++i) {
            if (events[i]["event"] == name && (!match || match(events[i]))) return static_cast<int>(i);
        }
        return -1;
    }
};

inline ClientRun runClient(const ClientOptions& options,
                           std::function<void(const VideoDecoder&)> pictureHook = nullptr) {
    ClientRun run;
    std::ostringstream out, err;
    Reporter reporter(out, err, false);
    reporter.setVerbose(true);
    reporter.setListener([&](const nlohmann::json& e) { run.events.push_back(e); });
    ClientApp app(options, reporter);
    app.setPictureHook(std::move(pictureHook));
    run.exit = app.run(false);
    run.text = out.str() + err.str();
    return run;
}

}  // namespace lumivane::client::test
