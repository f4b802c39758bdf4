#include "network/ControlMessage.h"

namespace lumivane::host {

ControlMessage parseControlMessage(const std::uint8_t* body, std::size_t size) {
    ControlMessage message;
    if (size == 0) return message;
    const std::uint8_t type = body[0];
    if (type == ControlMessage::kInputType && size >= 1 + ClientInput::kSize) {
        message.kind = ControlMessage::Kind::Input;
        message.input = ClientInput::readFrom(body + 1);
    } else if (type == ControlMessage::kFeedbackType && size >= 1 + ClientFeedback::kSize) {
        message.kind = ControlMessage::Kind::Feedback;
        message.feedback = ClientFeedback::readFrom(body + 1);
    } else if (type == ControlMessage::kKeyframeRequestType && size >= 2) {
        message.kind = ControlMessage::Kind::KeyframeRequest;
        message.streamId = body[1];
    }
    return message;
}

}  // namespace lumivane::host
