#include "ClientSession.h"

#include "ControlMessages.h"
#include "HostClock.h"
#include "JsonFields.h"
#include "Reporter.h"
#include "core/Base64.h"

#include <boost/asio/post.hpp>
#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

namespace lumivane::client {

namespace net = boost::asio;
using nlohmann::json;

namespace {

constexpr std::uint32_t kMaxVideoMessage = 64u << 20;  // far above any access unit
constexpr std::uint32_t kMaxAudioMessage = 1u << 20;
constexpr std::uint32_t kMaxInputMessage = 0;  // the host never writes there

json optionalMs(const std::optional<double>& ms) { return ms ? json(std::round(*ms * 100) / 100) : json(nullptr); }

// `connection`: the connection's figures (skipped sequence numbers, audio) ride with the
// first window's stream, the one the host sends audio for.
json statsJson(const IntervalReport& r, const IntervalReport* connection) {
    json out{{"seconds", r.seconds},
            {"fps", std::round(r.fps() * 10) / 10},
            {"kbps", std::round(r.videoKbps())},
            {"packets", r.video.packets},
            {"frames", r.video.decoded},
            {"keyframes", r.video.keyframes},
            {"latencyMs", optionalMs(r.video.latency.averageMs())},
            {"latencyMaxMs", r.video.latency.samples ? optionalMs(r.video.latency.maxMs) : json(nullptr)},
            {"decodeMs", optionalMs(r.decodeMsAverage())}};
    if (!connection) return out;
    const auto& c = *connection;
    out.update({{"gaps", c.video.sequenceGaps},
                {"audioPackets", c.audio.packets},
                {"audioKbps", std::round(c.audioKbps())},
                {"audioMs", std::round(c.audio.samples / 48.0)},
                {"audioGaps", c.audio.sequenceGaps},
                {"audioLatencyMs", optionalMs(c.audio.latency.averageMs())}});
    return out;
}

std::string saveFolder(const ClientOptions& options, std::size_t index) {
    if (options.saveDir.empty() || options.windows.size() == 1) return options.saveDir;
    return (std::filesystem::path(options.saveDir) / ("window" + std::to_string(index + 1))).string();
}

}  // namespace

ClientSession::ClientSession(const ClientOptions& options, Reporter& reporter)
    : options_(options),
      reporter_(reporter),
      deadline_(io_),
      tickTimer_(io_),
      endTimer_(io_),
      keyframeTimer_(io_),
      signalling_(io_),
      video_(io_, "video", kMaxVideoMessage),
      audio_(io_, "audio", kMaxAudioMessage),
      input_(io_, "input", kMaxInputMessage),
      audioReceiver_(reporter, connection_),
      feedback_(io_, options, [this](std::vector<std::uint8_t> m) { video_.write(std::move(m)); },
                [this] {
                    // The slowest stream's decode: the headset decodes them all.
                    std::optional<double> decodeMs;
                    for (const auto& s : streams_) {
                        if (auto ms = s->receiver().lastDecodeMs()) decodeMs = std::max(decodeMs.value_or(0), *ms);
                    }
                    return Measurements{pingMs_, decodeMs};
                }) {
    for (std::size_t i = 0; i < options.windows.size(); ++i) {
        streams_.push_back(
            std::make_unique<WatchedStream>(i, reporter, FrameSaver(saveFolder(options, i), options.saveEvery)));
    }
}

ClientSession::~ClientSession() = default;

ExitCode ClientSession::run(const net::ip::address_v4& address, std::uint16_t signallingPort) {
    address_ = address;
    if (options_.command == Command::Stream && !openReceivers()) return exit_.value_or(ExitCode::Failure);
    connectSignalling(signallingPort);
    io_.run();
    return exit_.value_or(ExitCode::Ok);
}

void ClientSession::requestStop() {
    net::post(io_, [this] {
        if (phase_ == Phase::Starting) {
            stopRequested_ = true;  // the stream may already be starting on the host
        } else {
            stopStreaming();
        }
    });
}

void ClientSession::stopOnSignals() {
    signals_.emplace(io_, SIGINT, SIGTERM);
    waitForSignal(1);
}

void ClientSession::waitForSignal(int count) {
    signals_->async_wait([this, count](const boost::system::error_code& ec, int) {
        if (ec) return;
        if (count > 1) {
            signalling_.abort();
            return finish(exit_.value_or(ExitCode::Ok));
        }
        reporter_.emit("interrupted", {{"message", "stopping; interrupt again to quit at once"}});
        requestStop();
        waitForSignal(count + 1);
    });
}

// ---- the conversation -------------------------------------------------------------

void ClientSession::connectSignalling(std::uint16_t port) {
    expect("connection", ExitCode::Unreachable);
    SignalingClient::Handlers handlers{
        [this](const json& message) { onMessage(message); },
        [this](const std::string& text) {
            onViolation("signalling message is not a JSON object with a string \"type\": " +
                                       text.substr(0, 200));
        },
        [this](const std::string& reason) { fail(reason, ExitCode::Unreachable); }};
    signalling_.connect({address_, port}, std::move(handlers), [this, port](const std::string& error) {
        if (phase_ != Phase::Connecting) return;
        if (!error.empty()) return fail(error, ExitCode::Unreachable);
        settle();
        reporter_.emit("connected", {{"address", address_.to_string()}, {"port", port}});
        phase_ = Phase::Welcome;
        signalling_.send({{"type", "hello"}, {"name", options_.clientName}});
        expect("welcome", ExitCode::Unreachable);
    });
}

void ClientSession::onMessage(const json& message) {
    const auto type = message["type"].get<std::string>();
    if (type == "welcome") onWelcome(message);
    else if (type == "window_list") onWindowList(message);
    else if (type == "stream_started") onStreamStarted(message);
    else if (type == "error") onHostError(message);
    else if (type == "stream_config") onStreamConfig(message);
    else if (type == "stream_stopped") onStreamStopped(message);
    else if (type == "window_resized") onWindowResized(message);
    else if (type == "pong") onPong(message);
    else reporter_.emit("message", {{"message", message}}, true);
    checkOrderDrained();
}

void ClientSession::onWelcome(const json& message) {
    if (phase_ != Phase::Welcome) return;
    settle();
    videoPort_ = uintField(message, "videoPort");
    audioPort_ = uintField(message, "audioPort");
    inputPort_ = uintField(message, "inputPort");
    reporter_.emit("welcome", {{"hostName", stringField(message, "hostName")},
                               {"hostVersion", stringField(message, "hostVersion")},
                               {"videoPort", videoPort_},
                               {"audioPort", audioPort_},
                               {"inputPort", inputPort_},
                               {"codecs", message.contains("supportedCodecs") ? message["supportedCodecs"] : json::array()},
                               {"requiresAuth", boolField(message, "requiresAuth")}});
    for (auto port : {videoPort_, audioPort_, inputPort_}) {
        if (port == 0 || port > 65535) {
            onViolation("welcome announces a transport port outside 1-65535");
            return fail("the host's welcome names no usable transport ports", ExitCode::ProtocolViolation);
        }
    }
    phase_ = Phase::WindowList;
    signalling_.send({{"type", "window_list_request"}});
    expect("window_list", ExitCode::Unreachable);
}

void ClientSession::onWindowList(const json& message) {
    if (phase_ != Phase::WindowList) return;
    settle();
    std::string error;
    auto list = WindowList::fromMessage(message, error);
    if (!list) {
        onViolation(error);
        return fail(error, ExitCode::ProtocolViolation);
    }
    json rows = json::array();
    for (const auto& w : list->windows()) {
        rows.push_back({{"id", w.id}, {"title", w.title}, {"processName", w.processName}, {"className", w.className},
                        {"x", w.x}, {"y", w.y}, {"width", w.width}, {"height", w.height},
                        {"icon", !w.iconBase64.empty()}, {"isMinimized", w.isMinimized},
                        {"isMaximized", w.isMaximized}, {"isVisible", w.isVisible}});
    }
    reporter_.emit("window_list", {{"count", rows.size()}, {"windows", rows}});
    saveIcons(list->windows());
    if (options_.command != Command::Stream) return finish(ExitCode::Ok);
    if (chooseWindows(*list)) connectTransports();
}

bool ClientSession::chooseWindows(const WindowList& list) {
    for (auto& stream : streams_) {
        const auto& choice = options_.windows[stream->index()];
        std::string error;
        const auto* chosen = choice.id ? list.findById(*choice.id, error) : list.findByTitle(choice.title, error);
        for (const auto& other : streams_) {
            if (chosen && other.get() != stream.get() && other->window.id == chosen->id) {
                error = fmt::format("window {:x} \"{}\" is chosen twice", chosen->id, chosen->title);
                chosen = nullptr;
            }
        }
        if (!chosen) {
            fail(error, ExitCode::WindowNotFound);
            return false;
        }
        stream->window = *chosen;
    }
    return true;
}

void ClientSession::saveIcons(const std::vector<protocol::WindowInfo>& windows) {
    if (options_.iconDir.empty()) return;
    std::error_code ec;
    std::filesystem::create_directories(options_.iconDir, ec);
    for (const auto& w : windows) {
        if (w.iconBase64.empty()) continue;
        const auto png = host::base64Decode(w.iconBase64);
        const auto path = (std::filesystem::path(options_.iconDir) / fmt::format("{:x}.png", w.id)).string();
        std::ofstream out(path, std::ios::binary);
        if (!png) {
            onViolation(fmt::format("window {:x}: iconBase64 is not base64", w.id));
        } else if (!out.write(reinterpret_cast<const char*>(png->data()), static_cast<std::streamsize>(png->size()))) {
            reporter_.warning("cannot write " + path);
        } else {
            reporter_.emit("icon_saved", {{"id", w.id}, {"path", path}});
        }
    }
}

void ClientSession::connectTransports() {
    phase_ = Phase::Transports;
    const bool wantInput = !options_.inputs.empty() && options_.inputChannel == InputChannel::Input;
    transportsPending_ = 1 + (options_.audio ? 1 : 0) + (wantInput ? 1 : 0);
    expect("transport connections", ExitCode::Unreachable);
    auto done = [this](const std::string& error) { onTransportConnected(error); };
    video_.connect({address_, static_cast<std::uint16_t>(videoPort_)}, done);
    if (options_.audio) audio_.connect({address_, static_cast<std::uint16_t>(audioPort_)}, done);
    if (wantInput) input_.connect({address_, static_cast<std::uint16_t>(inputPort_)}, done);
}

void ClientSession::onTransportConnected(const std::string& error) {
    if (phase_ != Phase::Transports) return;
    if (!error.empty()) return fail(error, ExitCode::Unreachable);
    if (--transportsPending_ > 0) return;
    settle();
    reporter_.emit("transports", {{"video", videoPort_},
                                  {"audio", audio_.isOpen() ? json(audioPort_) : json(nullptr)},
                                  {"input", input_.isOpen() ? json(inputPort_) : json(nullptr)}});
    startReading();
    phase_ = Phase::Starting;
    sendStreamStart();
}

void ClientSession::sendStreamStart() {
    signalling_.send({{"type", "stream_start"}, {"windowId", streams_[starting_]->window.id}});
    expect("stream_started", ExitCode::Unreachable);
}

void ClientSession::onStreamStarted(const json& message) {
    if (phase_ != Phase::Starting) return;
    auto& stream = *streams_[starting_];
    if (uintField(message, "windowId") != stream.window.id) return;
    settle();
    const auto id = static_cast<std::uint8_t>(uintField(message, "streamId"));
    auto early = earlyConfigs_.extract(id);
    stream.receiver().setStream(id, early ? &early.mapped() : nullptr);
    stream.lastVideo = Clock::now();
    if (starting_ == 0) streamStart_ = lastTick_ = stream.lastVideo;
    reporter_.emit("stream_started", {{"streamId", id},
                                      {"windowId", stream.window.id},
                                      {"title", stream.window.title},
                                      {"codec", stringField(message, "codec")}});
    if (stopRequested_) return stopStreaming();
    if (++starting_ < streams_.size()) return sendStreamStart();
    beginStreaming();
}

void ClientSession::onHostError(const json& message) {
    const auto text = fmt::format("{} (code {})", stringField(message, "message", "?"), uintField(message, "code"));
    if (phase_ == Phase::Starting) {
        return fail(fmt::format("the host refused to stream window {:x}: {}", streams_[starting_]->window.id, text),
                    ExitCode::StreamRefused);
    }
    reporter_.warning("the host reported an error: " + text);
}

void ClientSession::beginStreaming() {
    phase_ = Phase::Streaming;
    expect("first picture", ExitCode::NoVideo);
    for (auto& stream : streams_) {
        if (stream->receiver().pictures() > 0) onFirstPicture(*stream);
    }
    scheduleTick();
    if (options_.feedback) feedback_.start();
    if (options_.keyframeEverySeconds > 0) scheduleKeyframeRequests();
    if (options_.seconds > 0) {
        endTimer_.expires_after(std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options_.seconds)));
        endTimer_.async_wait([this](const boost::system::error_code& ec) {
            if (!ec) stopStreaming();
        });
    }
}

// Input and the resize request wait for the window's first picture and for every stream
// to have started, so that no script races a stream_start.
void ClientSession::onFirstPicture(WatchedStream& stream) {
    if (phase_ != Phase::Streaming) return;
    const bool allShown = std::all_of(streams_.begin(), streams_.end(),
                                      [](const auto& s) { return s->receiver().pictures() > 0; });
    if (allShown) settle();
    startInput(stream);
    if (options_.resize) {
        const auto [w, h] = *options_.resize;
        const auto id = stream.streamId();
        signalling_.send({{"type", "window_resize"}, {"streamId", id}, {"windowId", stream.window.id},
                          {"width", w}, {"height", h}});
        reporter_.emit("resize_requested", {{"streamId", id}, {"windowId", stream.window.id}, {"width", w}, {"height", h}});
    }
}

void ClientSession::startInput(WatchedStream& stream) {
    if (options_.inputs.empty()) return;
    const auto& script = options_.inputs.size() == 1 ? options_.inputs.front() : options_.inputs[stream.index()];
    stream.input = std::make_unique<InputPlayer>(
        io_, reporter_, script, InputTranslator(stream.streamId(), stream.window.width, stream.window.height),
        [this](const host::InputEvent& e) { return sendInput(e); });
    stream.input->start();
}

void ClientSession::stopStreaming() {
    if (phase_ == Phase::Stopping || phase_ == Phase::Closing || phase_ == Phase::Done) return;
    if (!anyStarted()) return finish(exit_.value_or(ExitCode::Ok));
    phase_ = Phase::Stopping;
    tickTimer_.cancel();
    feedback_.stop();
    endTimer_.cancel();
    keyframeTimer_.cancel();
    for (auto& stream : streams_) {
        if (stream->input) stream->input->stop();
        if (stream->started()) signalling_.send({{"type", "stream_stop"}, {"streamId", stream->streamId()}});
    }
    expect("stream_stopped", ExitCode::Unreachable);
}

void ClientSession::onStreamStopped(const json& message) {
    if (phase_ != Phase::Stopping) return;
    auto* stream = streamWithId(uintField(message, "streamId", 256));
    if (!stream || stream->stopped) return;
    stream->stopped = true;
    reporter_.emit("stream_stopped", {{"streamId", stream->streamId()}, {"windowId", stream->window.id}});
    for (const auto& s : streams_) {
        if (s->started() && !s->stopped) return;
    }
    settle();
    finish(exit_.value_or(ExitCode::Ok));
}

void ClientSession::finish(ExitCode code) {
    if (phase_ == Phase::Closing || phase_ == Phase::Done) return;
    phase_ = Phase::Closing;
    for (auto* timer : {&tickTimer_, &endTimer_, &keyframeTimer_}) timer->cancel();
    feedback_.stop();
    for (auto& stream : streams_) {
        if (stream->input) stream->input->stop();
        stream->receiver().onSignallingDrained();  // nothing more will be read
    }
    const bool audioOk = audioReceiver_.close();
    setExit(code);
    if (exit_ == ExitCode::Ok && violations() > 0) exit_ = ExitCode::ProtocolViolation;
    if (exit_ == ExitCode::Ok && !audioOk) exit_ = ExitCode::Failure;
    if (anyStarted()) emitSummary();
    video_.close();
    audio_.close();
    input_.close();
    if (signals_) signals_->cancel();
    deadline_.expires_after(std::chrono::milliseconds(options_.timeoutMs));
    deadline_.async_wait([this](const boost::system::error_code& ec) {
        if (!ec) signalling_.abort();  // the host did not answer the close
    });
    signalling_.close([this] {
        phase_ = Phase::Done;
        deadline_.cancel();
    });
}

// ---- streaming --------------------------------------------------------------------

bool ClientSession::openReceivers() {
    std::string error;
    bool ok = true;
    for (auto& stream : streams_) {
        auto* s = stream.get();
        VideoReceiver::Hooks hooks{[this] { checkOrderDrained(); },
                                   [this](std::uint8_t id) { video_.write(keyframeRequestMessage(id)); },
                                   [this, s] { onFirstPicture(*s); }, nullptr};
        if (pictureHook_) hooks.picture = [this, s](const VideoDecoder& d) { pictureHook_(s->index(), d); };
        ok = ok && s->receiver().open(std::move(hooks), error);
    }
    if (!ok || (options_.audio && !audioReceiver_.open(options_.audioOut, error))) {
        reporter_.error(error, ExitCode::Failure);
        exit_ = ExitCode::Failure;
        return false;
    }
    return true;
}

void ClientSession::startReading() {
    video_.startReading([this](const std::uint8_t* body, std::size_t size) { onVideoMessage(body, size); },
                        [this](const std::string& reason) { fail(reason, ExitCode::Unreachable); });
    if (audio_.isOpen()) {
        audio_.startReading([this](const std::uint8_t* body, std::size_t size) { onAudioMessage(body, size); },
                            [this](const std::string& reason) {
                                if (phase_ != Phase::Closing) reporter_.warning(reason + "; streaming goes on without audio");
                            });
    }
    if (input_.isOpen()) {
        input_.startReading(
            [this](const std::uint8_t*, std::size_t) {
                onViolation("the host wrote on the input connection, which only the client writes");
            },
            [this](const std::string& reason) {
                if (phase_ != Phase::Closing) reporter_.warning(reason + "; no more input can be sent");
            });
    }
}

WatchedStream* ClientSession::streamWithId(std::uint64_t streamId) {
    for (auto& stream : streams_) {
        if (stream->started() && stream->streamId() == streamId) return stream.get();
    }
    return nullptr;
}

bool ClientSession::anyStarted() const {
    return std::any_of(streams_.begin(), streams_.end(), [](const auto& s) { return s->started(); });
}

// A configuration may come before the stream_started that names its stream: it is kept
// (one per stream id) for the stream that turns out to be ours.
void ClientSession::onStreamConfig(const json& message) {
    const auto id = uintField(message, "streamId", 256);
    if (auto* stream = streamWithId(id)) return stream->receiver().onStreamConfig(message);
    const bool starting = phase_ == Phase::Starting;
    VideoReceiver::reportConfig(reporter_, message, false, !starting);
    if (starting && id <= 255) earlyConfigs_[static_cast<std::uint8_t>(id)] = message;
}

void ClientSession::onVideoMessage(const std::uint8_t* body, std::size_t size) {
    if (phase_ == Phase::Stopping) return;  // no longer watching; the host has yet to stop
    std::string problem;
    auto packet = parseVideoPacket(body, size, problem);
    if (!packet) return onViolation("video: " + problem);
    connection_.onVideoSequence(packet->sequence);
    auto* stream = streamWithId(packet->streamId);
    if (!stream) {
        ++foreignPackets_;
        return;
    }
    std::optional<double> latency;
    if (video_.peerIsLocal()) latency = stampAgeMs(hostClock90k(), packet->timestamp90k, 90.0);
    stream->lastVideo = Clock::now();
    stream->receiver().onPacket(*packet, latency);
    checkFramesDone();
}

void ClientSession::checkFramesDone() {
    if (phase_ != Phase::Streaming || options_.frames == 0) return;
    for (const auto& stream : streams_) {
        if (stream->receiver().pictures() < options_.frames) return;
    }
    stopStreaming();
}

void ClientSession::onAudioMessage(const std::uint8_t* body, std::size_t size) {
    std::string problem;
    auto packet = parseAudioPacket(body, size, problem);
    if (!packet) return onViolation("audio: " + problem);
    std::optional<double> latency;
    if (audio_.peerIsLocal()) latency = stampAgeMs(hostClockMs(), packet->timestampMs, 1.0);
    audioReceiver_.onPacket(*packet, latency);
}

void ClientSession::onWindowResized(const json& message) {
    const bool success = boolField(message, "success");
    const auto width = uintField(message, "width"), height = uintField(message, "height");
    reporter_.emit("window_resized", {{"success", success}, {"width", width}, {"height", height},
                                      {"streamId", intField(message, "streamId")},
                                      {"windowId", uintField(message, "windowId")}});
    auto* stream = streamWithId(uintField(message, "streamId", 256));
    if (success && stream && stream->input) {
        stream->input->setWindowSize(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height));
    }
}

void ClientSession::onPong(const json& message) {
    const auto sent = intField(message, "timestamp", -1);
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sessionStart_).count();
    if (sent >= 0 && now >= sent) pingMs_ = static_cast<double>(now - sent);
}

// A keyframe without its configuration may have overtaken it: the configuration can be
// unread in the socket, or read by Beast with its completion already queued. Post the
// verdict behind that completion, and put it off while the socket still holds bytes
// (onMessage calls this again after each message).
void ClientSession::checkOrderDrained() {
    auto pending = [this] {
        return std::any_of(streams_.begin(), streams_.end(), [](const auto& s) { return s->receiver().hasPendingOrder(); });
    };
    if (!pending() || signalling_.hasUnreadBytes()) return;
    net::post(io_, [this] {
        if (signalling_.hasUnreadBytes()) return;
        for (auto& stream : streams_) stream->receiver().onSignallingDrained();
    });
}

void ClientSession::scheduleTick() {
    tickTimer_.expires_after(std::chrono::milliseconds(options_.statsIntervalMs));
    tickTimer_.async_wait([this](const boost::system::error_code& ec) {
        if (!ec) onTick();
    });
}

// One "stats" event per stream.
void ClientSession::onTick() {
    const auto now = Clock::now();
    const double seconds = std::chrono::duration<double>(now - lastTick_).count();
    lastTick_ = now;
    const auto connection = connection_.takeInterval(seconds);
    for (auto& stream : streams_) {
        auto fields = statsJson(stream->stats().takeInterval(seconds), stream->index() == 0 ? &connection : nullptr);
        fields["streamId"] = stream->streamId();
        fields["windowId"] = stream->window.id;
        fields["t"] = std::round(streamSeconds() * 100) / 100;
        fields["pingMs"] = optionalMs(pingMs_);
        if (feedback_.sent() > 0) {
            fields["feedbackRttMs"] = *feedback_.last().rttMs;
            fields["feedbackDecodeMs"] = *feedback_.last().decodeMs;
        }
        reporter_.emit("stats", fields);
    }
    const auto sinceStart = std::chrono::duration_cast<std::chrono::milliseconds>(now - sessionStart_).count();
    signalling_.send({{"type", "ping"}, {"timestamp", static_cast<std::int32_t>(sinceStart)}});
    for (const auto& stream : streams_) {
        if (options_.idleTimeoutMs > 0 && now - stream->lastVideo > std::chrono::milliseconds(options_.idleTimeoutMs)) {
            return fail(fmt::format("no video for window {:x} for {} ms", stream->window.id, options_.idleTimeoutMs),
                        ExitCode::NoVideo);
        }
    }
    scheduleTick();
}

void ClientSession::scheduleKeyframeRequests() {
    keyframeTimer_.expires_after(
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options_.keyframeEverySeconds)));
    keyframeTimer_.async_wait([this](const boost::system::error_code& ec) {
        if (ec) return;
        for (const auto& stream : streams_) {
            signalling_.send({{"type", "request_keyframe"}, {"streamId", stream->streamId()}});
            reporter_.emit("keyframe_requested", {{"streamId", stream->streamId()}, {"via", "signalling"}});
        }
        scheduleKeyframeRequests();
    });
}

bool ClientSession::sendInput(const host::InputEvent& event) {
    if (options_.inputChannel == InputChannel::Video) {
        host::ClientInput record;
        if (!toClientInput(event, record)) {
            reporter_.warning(fmt::format("character U+{:04X} does not fit the video connection's input record; skipped",
                                          event.x));
            return false;
        }
        video_.write(videoInputMessage(record));
        return video_.isOpen();
    }
    input_.write(inputEventMessage(event));
    return input_.isOpen();
}

double ClientSession::streamSeconds() const { return std::chrono::duration<double>(Clock::now() - streamStart_).count(); }

// One "summary" per started stream; the session's own counts (violations of any kind,
// feedback, audio, the exit code) are in each.
void ClientSession::emitSummary() {
    auto connection = connection_.totals();
    for (const auto& stream : streams_) {
        if (!stream->started()) continue;
        auto totals = stream->stats().totals();
        totals.seconds = streamSeconds();
        json fields = statsJson(totals, &connection);
        fields["streamId"] = stream->streamId();
        fields["windowId"] = stream->window.id;
        fields["title"] = stream->window.title;
        fields["seconds"] = std::round(totals.seconds * 100) / 100;
        fields["feedbackSent"] = feedback_.sent();
        fields["inputEvents"] = stream->input ? stream->input->eventsSent() : 0;
        fields["inputFinished"] = stream->input && stream->input->finished();
        fields["exitCode"] = static_cast<int>(exit_.value_or(ExitCode::Ok));
        fields.update(stream->receiver().summary());
        fields.update(audioReceiver_.summary());
        fields["violations"] = violations();
        fields["foreignPackets"] = foreignPackets_;
        reporter_.emit("summary", fields);
    }
}

void ClientSession::onViolation(const std::string& message) {
    ++violations_;
    reporter_.emit("violation", {{"message", message}});
}

std::uint32_t ClientSession::violations() const {
    std::uint32_t total = violations_;
    for (const auto& stream : streams_) total += stream->receiver().violations();
    return total;
}

// ---- waiting and failing ----------------------------------------------------------

void ClientSession::expect(const std::string& what, ExitCode onTimeout) {
    deadline_.expires_after(std::chrono::milliseconds(options_.timeoutMs));
    deadline_.async_wait([this, what, onTimeout](const boost::system::error_code& ec) {
        if (!ec) fail(fmt::format("no {} from the host within {} ms", what, options_.timeoutMs), onTimeout);
    });
}

void ClientSession::settle() { deadline_.cancel(); }

void ClientSession::fail(const std::string& message, ExitCode code) {
    if (phase_ == Phase::Closing || phase_ == Phase::Done) return;
    reporter_.error(message, code);
    setExit(code);
    // Leave no stream running on the host when the signalling connection still works.
    if ((phase_ == Phase::Streaming || phase_ == Phase::Starting) && anyStarted() && signalling_.isOpen()) {
        return stopStreaming();
    }
    finish(code);
}

void ClientSession::setExit(ExitCode code) {
    if (!exit_ || *exit_ == ExitCode::Ok) exit_ = code;
}

}  // namespace lumivane::client
