// Messages between threads, in place of the handheld's window messages: a receiver owns a queue,
// other threads post (returns at once) or send (waits until handled) a message number with
// wParam and lParam. Where a message hands data over ("ownership passes"), the data travels as
// an owned payload, so a message dropped on a closed queue cannot leak it.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>

namespace platform {

class MessagePayload {
public:
    virtual ~MessagePayload() = default;
};

template <class T>
class Payload final : public MessagePayload {
public:
    explicit Payload(T v) : value(std::move(v)) {}
    T value;
};

struct Message {
    uint32_t id = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
    std::unique_ptr<MessagePayload> payload;

    // The payload as T, or null when there is none or it is of another type.
    template <class T>
    T* PayloadAs() const
    {
        auto* p = dynamic_cast<Payload<T>*>(payload.get());
        return p != nullptr ? &p->value : nullptr;
    }
};

template <class T>
Message MakeMessage(uint32_t id, T value, uintptr_t wParam = 0)
{
    Message m;
    m.id = id;
    m.wParam = wParam;
    m.payload = std::make_unique<Payload<T>>(std::move(value));
    return m;
}

inline Message MakeMessage(uint32_t id, uintptr_t wParam = 0, intptr_t lParam = 0)
{
    Message m;
    m.id = id;
    m.wParam = wParam;
    m.lParam = lParam;
    return m;
}

class MessageTarget {
public:
    virtual ~MessageTarget() = default;
    // Queues the message and returns at once; false when the receiver no longer takes messages.
    virtual bool PostMessage(Message message) = 0;
    // Hands the message over and waits until it has been handled; returns the handler's result
    // (0 when the receiver no longer takes messages).
    virtual intptr_t SendMessage(Message message) = 0;
};

}  // namespace platform
