#include "Reporter.h"

#include "EventText.h"

namespace lumivane::client {

Reporter::Reporter(std::ostream& out, std::ostream& err, bool json) : out_(out), err_(err), json_(json) {}

void Reporter::emit(const std::string& name, nlohmann::json fields, bool verbose) {
    nlohmann::json event = nlohmann::json::object();
    event["event"] = name;
    for (auto& [key, value] : fields.items()) event[key] = std::move(value);
    if (listener_) listener_(event);
    if (verbose && !verbose_ && !json_) return;  // a reading program gets everything
    const bool problem = name == "error" || name == "warning" || name == "violation";
    if (json_) {
        out_ << event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    } else {
        (problem ? err_ : out_) << formatEventText(event) << '\n';
    }
    // Lines must reach a reading test or pipe as they happen, not at exit.
    (problem && !json_ ? err_ : out_).flush();
}

void Reporter::warning(const std::string& message) { emit("warning", {{"message", message}}); }

void Reporter::error(const std::string& message, ExitCode code) {
    emit("error", {{"message", message}, {"exitCode", static_cast<int>(code)}});
}

}  // namespace lumivane::client
