// The process-wide reader of received tags. Owned by the protocol layer.
#pragma once

#include "app/link/ProtocolCommand.h"

#include <string>

class CXMLParser {
public:
    CXMLParser() = default;
    ~CXMLParser() = default;
    CXMLParser(const CXMLParser&) = delete;
    CXMLParser& operator=(const CXMLParser&) = delete;

    // Nothing to set up for the reader in use; kept so the start-up sequence stays the same.
    bool Init();
    bool IsInitialised() const { return m_bInitialised; }

    // Parses one element. Returns the number of attributes and fills attributes (document
    // order, references decoded) and name. Returns 0 with name empty when the text does not
    // parse; returns 0 with name set for an element without attributes.
    int ParseTag(const std::u16string& text, AttributeList& attributes, std::u16string& name);

private:
    bool m_bInitialised = false;
};
