#include "tools/camsim/SimMessage.h"

#include "app/platform/Log.h"

#include <pugixml.hpp>
#include <strings.h>

namespace camsim {

std::optional<SimMessage> SimMessage::Parse(const std::string& text)
{
    ORIN_TRACE("SimMessage::Parse");
    // Same reading rule as the handheld: the message starts at its last caret and runs to the
    // first ">" after it; exactly one self-closing element must be there.
    size_t caret = text.rfind('^');
    size_t start = caret == std::string::npos ? 0 : caret + 1;
    size_t open = text.find('<', start);
    if (open != start) {
        return std::nullopt;
    }
    size_t close = text.find('>', open);
    if (close == std::string::npos || close < open + 2 || text[close - 1] != '/') {
        return std::nullopt;
    }
    std::string element = text.substr(open, close - open + 1);
    if (element.find('<', 1) != std::string::npos) {
        return std::nullopt;
    }
    // The handheld writes UTF-8 and the disk names are kept as UTF-8 bytes: read the text as
    // the same bytes, so a name comes back exactly as it was listed.
    pugi::xml_document doc;
    pugi::xml_parse_result result = doc.load_buffer(element.data(), element.size(),
                                                    pugi::parse_default, pugi::encoding_utf8);
    if (!result) {
        // The handheld writes values verbatim, so a bare "&" in a file name is possible: retry
        // with the ampersands escaped before giving up.
        std::string escaped;
        for (char c : element) {
            escaped += c == '&' ? std::string("&amp;") : std::string(1, c);
        }
        result = doc.load_buffer(escaped.data(), escaped.size(), pugi::parse_default,
                                 pugi::encoding_utf8);
        if (!result) {
            return std::nullopt;
        }
    }
    pugi::xml_node root = doc.document_element();
    if (!root) {
        return std::nullopt;
    }
    SimMessage message(root.name());
    for (pugi::xml_attribute attribute : root.attributes()) {
        message.Add(attribute.name(), attribute.value());
    }
    return message;
}

const std::string* SimMessage::Find(const std::string& name) const
{
    ORIN_TRACE("SimMessage::Find");
    for (const SimAttribute& attribute : m_attributes) {
        if (attribute.name == name) {
            return &attribute.value;
        }
    }
    return nullptr;
}

const std::string* SimMessage::FindNoCase(const std::string& name) const
{
    ORIN_TRACE("SimMessage::FindNoCase");
    for (const SimAttribute& attribute : m_attributes) {
        if (strcasecmp(attribute.name.c_str(), name.c_str()) == 0) {
            return &attribute.value;
        }
    }
    return nullptr;
}

SimMessage& SimMessage::Add(std::string name, std::string value)
{
    ORIN_TRACE("SimMessage::Add");
    m_attributes.push_back(SimAttribute{std::move(name), std::move(value), true});
    return *this;
}

SimMessage& SimMessage::Set(const std::string& name, std::string value)
{
    ORIN_TRACE("SimMessage::Set");
    for (SimAttribute& attribute : m_attributes) {
        if (attribute.name == name) {
            attribute.value = std::move(value);
            attribute.hasValue = true;
            return *this;
        }
    }
    return Add(name, std::move(value));
}

std::string SimMessage::Escape(const std::string& value)
{
    ORIN_TRACE("SimMessage::Escape");
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '^': out += "&#94;"; break;  // a caret would restart the handheld's reader
        default: out += c; break;
        }
    }
    return out;
}

std::string SimMessage::ToWire() const
{
    ORIN_TRACE("SimMessage::ToWire");
    std::string text = "^<" + m_name + " ";
    for (const SimAttribute& attribute : m_attributes) {
        text += attribute.name;
        if (attribute.hasValue) {
            text += "=\"" + Escape(attribute.value) + "\" ";
        } else {
            text += " ";
        }
    }
    text += "/>";
    return text;
}

}  // namespace camsim
