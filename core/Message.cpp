#include "Message.h"

#include <utility>

namespace korvale {

Message::Message(std::string text) {
    if (!text.empty()) {
        Part part;
        part.text = std::move(text);
        parts_.push_back(std::move(part));
    }
}

Message::Message(const char* text) : Message(std::string(text != nullptr ? text : "")) {}

Message::Message(MessageId id, std::vector<Message> args) {
    Part part;
    part.literal = false;
    part.id = id;
    part.args = std::move(args);
    parts_.push_back(std::move(part));
}

Message& Message::operator+=(const Message& other) {
    parts_.insert(parts_.end(), other.parts_.begin(), other.parts_.end());
    return *this;
}

Message Message::WithoutFullStop() const {
    Message result = *this;
    if (!result.parts_.empty()) {
        result.parts_.back().dropFullStop = true;
    }
    return result;
}

Message operator+(Message a, const Message& b) {
    a += b;
    return a;
}

}  // namespace korvale
