// One message as the camera back sees it: an element name and its attributes in order, plus the
// two directions of the wire form. Incoming text is the handheld's ("^<Name a=\"v\" />"); outgoing
// values are escaped so that a file name with "&" or ">" cannot end or break the message.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace camsim {

struct SimAttribute {
    std::string name;
    std::string value;
    bool hasValue = true;  // false for a bare word ("^<Cmd flag />")
};

class SimMessage {
public:
    SimMessage() = default;
    explicit SimMessage(std::string name) : m_name(std::move(name)) {}

    // Parses one message cut from the stream ("^<...>"); nullopt when it is not one element.
    static std::optional<SimMessage> Parse(const std::string& text);

    const std::string& Name() const { return m_name; }
    void SetName(std::string name) { m_name = std::move(name); }
    const std::vector<SimAttribute>& Attributes() const { return m_attributes; }

    // The first attribute of that name (exact case), or null.
    const std::string* Find(const std::string& name) const;
    // The same, names compared without regard to case.
    const std::string* FindNoCase(const std::string& name) const;
    SimMessage& Add(std::string name, std::string value);
    // Replaces the first attribute of that name, or appends it.
    SimMessage& Set(const std::string& name, std::string value);

    // "^<Name a=\"v\" b=\"w\" />" with values escaped for an XML reader.
    std::string ToWire() const;

    static std::string Escape(const std::string& value);

private:
    std::string m_name;
    std::vector<SimAttribute> m_attributes;
};

}  // namespace camsim
