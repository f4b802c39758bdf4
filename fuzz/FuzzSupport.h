#pragma once
// Shared by the fuzz targets: a logger that formats every line (so a bad format or a
// throwing argument shows up) and prints none, and a check that aborts on a broken rule.

#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace lumivane::fuzz {

inline void quietLogging() {
    auto logger = std::make_shared<spdlog::logger>("fuzz", std::make_shared<spdlog::sinks::null_sink_mt>());
    logger->set_level(spdlog::level::trace);
    spdlog::set_default_logger(std::move(logger));
}

// libFuzzer reports the abort with the input that caused it.
inline void require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "broken rule: %s\n", what);
    std::abort();
}

// Splits the input into the pieces a socket's reads might deliver: the first byte picks
// the piece size, so the fuzzer explores reassembly across reads as well.
template <typename OnPiece>
void inPieces(const std::uint8_t* data, std::size_t size, OnPiece&& onPiece) {
    if (size == 0) return;
    const std::size_t piece = std::size_t{data[0]} % 32 + 1;
    for (std::size_t i = 1; i < size; i += piece) onPiece(data + i, std::min(piece, size - i));
}

}  // namespace lumivane::fuzz
