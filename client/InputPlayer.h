#pragma once
// Plays an input script against the stream: each command's records are handed to `send`
// at once, waits run on a timer of the session's io_context.

#include "InputScript.h"
#include "InputTranslator.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include <cstdint>
#include <functional>

namespace lumivane::client {

class Reporter;

class InputPlayer {
public:
    using Send = std::function<bool(const host::InputEvent& event)>;

    InputPlayer(boost::asio::io_context& io, Reporter& reporter, const InputScript& script, InputTranslator translator,
                Send send);

    void start();
    void stop();
    // The window changed size: later positions are taken against the new size.
    void setWindowSize(std::int32_t width, std::int32_t height);
    std::uint32_t eventsSent() const { return eventsSent_; }
    bool finished() const { return finished_; }

private:
    void runFrom(std::size_t index);

    boost::asio::steady_timer timer_;
    Reporter& reporter_;
    const InputScript& script_;
    InputTranslator translator_;
    Send send_;
    std::uint32_t eventsSent_ = 0;
    bool stopped_ = false;
    bool finished_ = false;
};

}  // namespace lumivane::client
