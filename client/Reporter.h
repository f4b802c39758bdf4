#pragma once
// Everything the client tells its user: one event per call, printed as a readable line
// (or a table) or, with --json, as one JSON object per line with an "event" key.

#include "ExitCode.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <ostream>
#include <string>

namespace lumivane::client {

class Reporter {
public:
    using Listener = std::function<void(const nlohmann::json& event)>;

    // Errors and warnings go to `err` in text mode; in JSON mode everything goes to `out`.
    Reporter(std::ostream& out, std::ostream& err, bool json);

    // Receives every event as well (tests read them here instead of parsing text).
    void setListener(Listener listener) { listener_ = std::move(listener); }
    // Verbose events (each keyframe, each input command) are printed as text only when
    // asked for; JSON output always carries them.
    void setVerbose(bool verbose) { verbose_ = verbose; }

    void emit(const std::string& name, nlohmann::json fields = nlohmann::json::object(), bool verbose = false);
    void warning(const std::string& message);
    void error(const std::string& message, ExitCode code);

private:
    std::ostream& out_;
    std::ostream& err_;
    bool json_;
    bool verbose_ = false;
    Listener listener_;
};

}  // namespace lumivane::client
