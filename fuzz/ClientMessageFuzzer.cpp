// One signalling message from a host, read as the reference client reads it: the JSON
// check, the fields of each reply, the window list and the base64 it carries.
#include "FuzzSupport.h"
#include "JsonFields.h"
#include "OrderChecker.h"
#include "WindowList.h"
#include "core/Base64.h"

#include <nlohmann/json.hpp>

using namespace lumivane;
using namespace lumivane::client;
using nlohmann::json;

namespace {

void readBase64(const json& message, const char* key) {
    const auto text = stringField(message, key);
    if (const auto bytes = host::base64Decode(text)) fuzz::require(bytes->size() <= text.size(), "decoded base64 is shorter");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto message = json::parse(data, data + size, nullptr, false);
    if (!message.is_object() || !message.contains("type") || !message["type"].is_string()) return 0;
    const auto type = message["type"].get<std::string>();
    if (type == "welcome") {
        for (const char* key : {"videoPort", "audioPort", "inputPort"}) uintField(message, key);
        stringField(message, "hostName");
        boolField(message, "requiresAuth");
    } else if (type == "window_list") {
        std::string error;
        if (const auto list = WindowList::fromMessage(message, error)) {
            for (const auto& window : list->windows()) {
                readBase64(json{{"icon", window.iconBase64}}, "icon");
                std::string ignored;
                list->findById(window.id, ignored);
            }
            std::string ignored;
            list->findByTitle("term", ignored);
            list->findByTitle("", ignored);
        }
    } else if (type == "stream_config") {
        OrderChecker order;
        const auto id = uintField(message, "streamId", 256);
        order.onConfig(static_cast<std::uint8_t>(id), {uintField(message, "width"), uintField(message, "height")});
        order.onKeyframe(static_cast<std::uint8_t>(id), PictureSize{uintField(message, "width"), 1});
        order.takeUnresolved();
        readBase64(message, "sps");
        readBase64(message, "pps");
    } else {
        intField(message, "streamId");
        intField(message, "timestamp");
        uintField(message, "code");
        stringField(message, "message");
        boolField(message, "success");
    }
    return 0;
}
