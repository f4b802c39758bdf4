#pragma once
// Runs the command the options name: discovery on its own, or a session with the host
// (found by discovery first when asked).

#include "ClientOptions.h"
#include "DiscoveryClient.h"
#include "ExitCode.h"

#include <boost/asio/ip/address_v4.hpp>

#include <functional>
#include <optional>

namespace lumivane::client {

class Reporter;
class VideoDecoder;

class ClientApp {
public:
    ClientApp(const ClientOptions& options, Reporter& reporter) : options_(options), reporter_(reporter) {}

    // handleSignals: Ctrl-C ends a stream cleanly (off in tests).
    ExitCode run(bool handleSignals);
    // Before run: sees every decoded picture of every stream (see ClientSession).
    void setPictureHook(std::function<void(const VideoDecoder&)> hook) {
        if (hook) pictureHook_ = [hook = std::move(hook)](std::size_t, const VideoDecoder& d) { hook(d); };
    }
    // The same, told which window (its place among --window/--title, from 0) it is.
    void setPictureHook(std::function<void(std::size_t window, const VideoDecoder&)> hook) {
        pictureHook_ = std::move(hook);
    }

private:
    // The answers, reported; an error reported and empty when none came.
    std::vector<DiscoveryAnswer> discover(const boost::asio::ip::address_v4& address, ExitCode& code);

    const ClientOptions& options_;
    Reporter& reporter_;
    std::function<void(std::size_t, const VideoDecoder&)> pictureHook_;
};

}  // namespace lumivane::client
