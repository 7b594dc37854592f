#include "app/link/XMLParser.h"

#include "app/platform/Log.h"
#include "app/platform/TextConvert.h"

#include <pugixml.hpp>

bool CXMLParser::Init()
{
    ORIN_TRACE("CXMLParser::Init");
    m_bInitialised = true;
    return true;
}

int CXMLParser::ParseTag(const std::u16string& text, AttributeList& attributes, std::u16string& name)
{
    ORIN_TRACE("CXMLParser::ParseTag");
    attributes.clear();
    name.clear();
    const std::string utf8 = platform::ToUtf8(text);
    pugi::xml_document document;
    const pugi::xml_parse_result result =
        document.load_buffer(utf8.data(), utf8.size(), pugi::parse_default, pugi::encoding_utf8);
    if (!result) {
        ORIN_LOG_INFO("CXMLParser::ParseTag", "loadXML failed: %s", result.description());
        return 0;
    }
    const pugi::xml_node element = document.document_element();
    if (!element) {
        ORIN_LOG_INFO("CXMLParser::ParseTag", "get_documentElement failed");
        return 0;
    }
    name = platform::FromUtf8(element.name());
    AttributeList parsed;
    for (const pugi::xml_attribute& attribute : element.attributes()) {
        parsed.emplace_back(platform::FromUtf8(attribute.name()), platform::FromUtf8(attribute.value()));
    }
    attributes = std::move(parsed);
    return static_cast<int>(attributes.size());
}
