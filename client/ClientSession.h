#pragma once
// One conversation with a host: hello, the window list, and for a stream the transports,
// one stream_start per window (one after another), the streaming itself and stream_stop
// for each. Everything runs on the thread that calls run(); every wait for the host has a
// deadline.

#include "AudioReceiver.h"
#include "ClientOptions.h"
#include "ExitCode.h"
#include "FeedbackSender.h"
#include "InputPlayer.h"
#include "SignalingClient.h"
#include "StreamStats.h"
#include "TcpChannel.h"
#include "VideoReceiver.h"
#include "WatchedStream.h"
#include "WindowList.h"
#include "core/WindowInfo.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/address_v4.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lumivane::client {

class Reporter;

class ClientSession {
public:
    ClientSession(const ClientOptions& options, Reporter& reporter);
    ~ClientSession();
    ClientSession(const ClientSession&) = delete;
    ClientSession& operator=(const ClientSession&) = delete;

    // Lists or streams, as the options say, until done. Call once.
    ExitCode run(const boost::asio::ip::address_v4& address, std::uint16_t signallingPort);
    // From any thread: ends a stream cleanly (stream_stop, then close), as Ctrl-C does.
    void requestStop();
    // SIGINT and SIGTERM call requestStop; a second one ends the run at once.
    void stopOnSignals();
    // Before run: called with the window's index (its place among --window/--title, from
    // 0) and the decoder after each picture of that window's stream decodes.
    using PictureHook = std::function<void(std::size_t window, const VideoDecoder&)>;
    void setPictureHook(PictureHook hook) { pictureHook_ = std::move(hook); }

private:
    void waitForSignal(int count);
    enum class Phase { Connecting, Welcome, WindowList, Transports, Starting, Streaming, Stopping, Closing, Done };
    using Clock = std::chrono::steady_clock;

    // Conversation steps, in order.
    void connectSignalling(std::uint16_t port);
    void onMessage(const nlohmann::json& message);
    void onWelcome(const nlohmann::json& message);
    void onWindowList(const nlohmann::json& message);
    bool chooseWindows(const WindowList& list);
    void saveIcons(const std::vector<protocol::WindowInfo>& windows);
    void connectTransports();
    void onTransportConnected(const std::string& error);
    void sendStreamStart();
    void onStreamStarted(const nlohmann::json& message);
    void onHostError(const nlohmann::json& message);
    void beginStreaming();
    void onFirstPicture(WatchedStream& stream);
    void startInput(WatchedStream& stream);
    void stopStreaming();
    void onStreamStopped(const nlohmann::json& message);
    void finish(ExitCode code);

    // Streaming.
    bool openReceivers();
    void startReading();
    WatchedStream* streamWithId(std::uint64_t streamId);
    bool anyStarted() const;
    void onStreamConfig(const nlohmann::json& message);
    void onVideoMessage(const std::uint8_t* body, std::size_t size);
    void checkFramesDone();
    void onAudioMessage(const std::uint8_t* body, std::size_t size);
    void onWindowResized(const nlohmann::json& message);
    void onPong(const nlohmann::json& message);
    void checkOrderDrained();
    void scheduleTick();
    void onTick();
    void scheduleKeyframeRequests();
    bool sendInput(const host::InputEvent& event);
    double streamSeconds() const;
    void emitSummary();
    void onViolation(const std::string& message);
    std::uint32_t violations() const;

    // Waiting and failing.
    void expect(const std::string& what, ExitCode onTimeout);
    void settle();
    void fail(const std::string& message, ExitCode code);
    void setExit(ExitCode code);

    const ClientOptions& options_;
    Reporter& reporter_;
    boost::asio::io_context io_;
    boost::asio::steady_timer deadline_;
    boost::asio::steady_timer tickTimer_;
    boost::asio::steady_timer endTimer_;
    boost::asio::steady_timer keyframeTimer_;
    std::optional<boost::asio::signal_set> signals_;
    SignalingClient signalling_;
    TcpChannel video_;
    TcpChannel audio_;
    TcpChannel input_;
    StreamStats connection_;  // skipped sequence numbers and audio: not any one stream's
    std::vector<std::unique_ptr<WatchedStream>> streams_;
    AudioReceiver audioReceiver_;
    FeedbackSender feedback_;
    PictureHook pictureHook_;

    Phase phase_ = Phase::Connecting;
    std::optional<ExitCode> exit_;
    boost::asio::ip::address_v4 address_;
    std::uint32_t videoPort_ = 0, audioPort_ = 0, inputPort_ = 0;
    int transportsPending_ = 0;
    std::size_t starting_ = 0;  // the stream whose stream_start is unanswered
    std::map<std::uint8_t, nlohmann::json> earlyConfigs_;  // came before their stream_started
    std::uint64_t foreignPackets_ = 0;
    std::uint32_t violations_ = 0;  // the session's own; each stream counts its own too
    bool stopRequested_ = false;    // arrived while stream_start was unanswered
    Clock::time_point sessionStart_ = Clock::now();
    Clock::time_point streamStart_;
    Clock::time_point lastTick_;
    std::optional<double> pingMs_;
};

}  // namespace lumivane::client
