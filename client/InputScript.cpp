#include "InputScript.h"

#include "TextScan.h"

#include <array>
#include <utility>

namespace lumivane::client {

namespace {

struct Statement {
    std::string text;
    int line = 0;
};

// Splits at new lines and ';' outside quotes and drops comments.
bool splitStatements(std::string_view text, std::vector<Statement>& out, std::string& error) {
    Statement current{"", 1};
    int line = 1;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '\n') {
                error = "line " + std::to_string(line) + ": unterminated quote";
                return false;
            }
            current.text += c;
            if (c == '\\' && i + 1 < text.size()) current.text += text[++i];
            else if (c == '"') quoted = false;
            continue;
        }
        if (c == '#') {
            while (i + 1 < text.size() && text[i + 1] != '\n') ++i;
        } else if (c == '\n' || c == ';') {
            out.push_back(current);
            if (c == '\n') ++line;
            current = {"", line};
        } else {
            if (c == '"') quoted = true;
            current.text += c;
        }
    }
    if (quoted) {
        error = "line " + std::to_string(line) + ": unterminated quote";
        return false;
    }
    out.push_back(current);
    return true;
}

std::optional<Coordinate> parseCoordinate(std::string_view word) {
    if (!word.empty() && word.back() == '%') {
        auto value = parseSeconds(word.substr(0, word.size() - 1));
        if (!value || *value > 100) return std::nullopt;
        return Coordinate{*value, true};
    }
    auto value = parseUnsigned(word, 65535);
    if (!value || word.starts_with("0x")) return std::nullopt;
    return Coordinate{static_cast<double>(*value), false};
}

std::optional<std::uint8_t> parseButton(std::string_view word) {
    static constexpr std::array<std::pair<const char*, std::uint8_t>, 5> kNames{
        {{"left", 0}, {"right", 1}, {"middle", 2}, {"x1", 3}, {"x2", 4}}};
    const auto lower = toLower(word);
    for (const auto& [name, button] : kNames) {
        if (lower == name) return button;
    }
    auto number = parseUnsigned(word, 4);
    if (!number) return std::nullopt;
    return static_cast<std::uint8_t>(*number);
}

std::optional<std::uint8_t> namedKey(const std::string& name) {
    static constexpr std::array<std::pair<const char*, std::uint8_t>, 24> kKeys{{
        {"backspace", 8}, {"tab", 9},     {"enter", 13},  {"return", 13}, {"shift", 16},   {"ctrl", 17},
        {"alt", 18},      {"escape", 27}, {"esc", 27},    {"space", 32},  {"pageup", 33},  {"pagedown", 34},
        {"end", 35},      {"home", 36},   {"left", 37},   {"up", 38},     {"right", 39},   {"down", 40},
        {"insert", 45},   {"delete", 46}, {"win", 91},    {"numlock", 144}, {"capslock", 20}, {"pause", 19},
    }};
    for (const auto& [key, code] : kKeys) {
        if (name == key) return code;
    }
    if (name.size() == 1 && ((name[0] >= 'a' && name[0] <= 'z') || (name[0] >= '0' && name[0] <= '9'))) {
        return static_cast<std::uint8_t>(name[0] >= 'a' ? name[0] - 'a' + 'A' : name[0]);
    }
    if (name.size() >= 2 && name[0] == 'f') {
        auto n = parseUnsigned(std::string_view(name).substr(1), 24);
        if (n && *n >= 1) return static_cast<std::uint8_t>(111 + *n);  // F1 is 112
    }
    return std::nullopt;
}

bool parseKey(std::string_view word, InputCommand& command) {
    auto parts = split(word, "+");
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        const auto mod = toLower(parts[i]);
        if (mod == "shift") command.modifiers |= 1;
        else if (mod == "ctrl" || mod == "control") command.modifiers |= 2;
        else if (mod == "alt") command.modifiers |= 4;
        else if (mod == "win" || mod == "super") command.modifiers |= 8;
        else return false;
    }
    const auto key = parts.back();
    if (auto named = namedKey(toLower(key))) {
        command.keyCode = *named;
        return true;
    }
    auto code = parseUnsigned(key, 255);
    if (!code || *code == 0) return false;
    command.keyCode = static_cast<std::uint8_t>(*code);
    return true;
}

bool parseQuoted(std::string_view rest, std::u16string& out) {
    rest = trim(rest);
    if (rest.size() < 2 || rest.front() != '"' || rest.back() != '"') return false;
    std::string text;
    for (std::size_t i = 1; i + 1 < rest.size(); ++i) {
        if (rest[i] == '\\') {
            if (i + 2 >= rest.size() || (rest[i + 1] != '"' && rest[i + 1] != '\\')) return false;
            ++i;
        } else if (rest[i] == '"') {
            return false;
        }
        text += rest[i];
    }
    return utf8ToUtf16(text, out);
}

using Words = std::vector<std::string_view>;

bool parseArguments(InputCommand& c, const Words& w, std::string_view rest) {
    using K = InputCommand::Kind;
    switch (c.kind) {
        case K::Move: {
            if (w.size() != 3) return false;
            auto x = parseCoordinate(w[1]), y = parseCoordinate(w[2]);
            if (!x || !y) return false;
            c.x = *x;
            c.y = *y;
            return true;
        }
        case K::Click:
        case K::Down:
        case K::Up: {
            if (w.size() > 2) return false;
            auto button = w.size() == 2 ? parseButton(w[1]) : std::optional<std::uint8_t>(0);
            if (!button) return false;
            c.button = *button;
            return true;
        }
        case K::Wheel: {
            auto delta = w.size() == 2 ? parseSigned(w[1], -32768, 32767) : std::nullopt;
            if (!delta) return false;
            c.wheelDelta = static_cast<std::int16_t>(*delta);
            return true;
        }
        case K::Key:
            return w.size() == 2 && parseKey(w[1], c);
        case K::Type:
            return parseQuoted(rest, c.text) && !c.text.empty();
        case K::Wait: {
            auto ms = w.size() == 2 ? parseUnsigned(w[1], 600000) : std::nullopt;
            if (!ms) return false;
            c.waitMs = static_cast<std::uint32_t>(*ms);
            return true;
        }
    }
    return false;
}

const char* usageOf(InputCommand::Kind kind) {
    using K = InputCommand::Kind;
    switch (kind) {
        case K::Move: return "move X Y (pixels, or percent such as 50%)";
        case K::Click: return "click [left|right|middle|x1|x2|0-4]";
        case K::Down: return "down [BUTTON]";
        case K::Up: return "up [BUTTON]";
        case K::Wheel: return "wheel DELTA (-32768..32767)";
        case K::Key: return "key [ctrl+][shift+][alt+][win+]KEY (a name, a letter or digit, or a code 1-255)";
        case K::Type: return "type \"TEXT\" (non-empty, \\\" and \\\\ escaped)";
        case K::Wait: return "wait MS (0-600000)";
    }
    return "";
}

std::optional<InputCommand::Kind> kindOf(const std::string& word) {
    using K = InputCommand::Kind;
    static constexpr std::array<std::pair<const char*, K>, 8> kKinds{{{"move", K::Move},
                                                                      {"click", K::Click},
                                                                      {"down", K::Down},
                                                                      {"up", K::Up},
                                                                      {"wheel", K::Wheel},
                                                                      {"key", K::Key},
                                                                      {"type", K::Type},
                                                                      {"wait", K::Wait}}};
    for (const auto& [name, kind] : kKinds) {
        if (word == name) return kind;
    }
    return std::nullopt;
}

}  // namespace

std::optional<InputScript> InputScript::parse(std::string_view text, std::string& error) {
    std::vector<Statement> statements;
    if (!splitStatements(text, statements, error)) return std::nullopt;
    InputScript script;
    for (const auto& statement : statements) {
        const auto body = trim(statement.text);
        if (body.empty()) continue;
        auto words = split(body, " \t");
        std::erase_if(words, [](std::string_view w) { return w.empty(); });
        const auto where = "line " + std::to_string(statement.line) + ": ";
        auto kind = kindOf(toLower(words[0]));
        if (!kind) {
            error = where + "unknown command '" + std::string(words[0]) + "'";
            return std::nullopt;
        }
        InputCommand command;
        command.kind = *kind;
        command.line = statement.line;
        command.source = std::string(body);
        if (!parseArguments(command, words, body.substr(words[0].size()))) {
            error = where + "expected " + usageOf(*kind) + ", got '" + std::string(body) + "'";
            return std::nullopt;
        }
        script.commands_.push_back(std::move(command));
    }
    return script;
}

bool utf8ToUtf16(std::string_view utf8, std::u16string& out) {
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const int extra = lead < 0x80 ? 0 : (lead >> 5) == 0x6 ? 1 : (lead >> 4) == 0xE ? 2 : (lead >> 3) == 0x1E ? 3 : -1;
        if (extra < 0 || i + extra >= utf8.size()) return false;
        std::uint32_t cp = extra == 0 ? lead : lead & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (next & 0x3F);
        }
        static constexpr std::uint32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += 1 + extra;
    }
    return true;
}

}  // namespace lumivane::client
