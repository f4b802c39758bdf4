#include "InputPlayer.h"

#include "Reporter.h"

namespace lumivane::client {

InputPlayer::InputPlayer(boost::asio::io_context& io, Reporter& reporter, const InputScript& script,
                         InputTranslator translator, Send send)
    : timer_(io), reporter_(reporter), script_(script), translator_(translator), send_(std::move(send)) {}

void InputPlayer::start() { runFrom(0); }

void InputPlayer::stop() {
    stopped_ = true;
    timer_.cancel();
}

void InputPlayer::setWindowSize(std::int32_t width, std::int32_t height) {
    translator_.resize(width, height);
}

void InputPlayer::runFrom(std::size_t index) {
    const auto& commands = script_.commands();
    for (; index < commands.size() && !stopped_; ++index) {
        const auto& command = commands[index];
        if (command.kind == InputCommand::Kind::Wait) {
            timer_.expires_after(std::chrono::milliseconds(command.waitMs));
            timer_.async_wait([this, index](const boost::system::error_code& ec) {
                if (!ec) runFrom(index + 1);
            });
            return;
        }
        std::uint32_t sent = 0;
        for (const auto& event : translator_.translate(command)) sent += send_(event) ? 1 : 0;
        eventsSent_ += sent;
        reporter_.emit("input", {{"line", command.line}, {"command", command.source}, {"events", sent}}, true);
    }
    if (stopped_) return;
    finished_ = true;
    reporter_.emit("input_done", {{"events", eventsSent_}});
}

}  // namespace lumivane::client
