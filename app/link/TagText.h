// The text side of camera messages: building outgoing command text, cutting one element out of a
// received message, and the two tables that turn camera error codes into texts.
#pragma once

#include "app/link/ProtocolCommand.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// "^<NAME " then, for each of the first attributeCount pairs, NAME="VALUE" followed by a blank
// (or NAME and a blank for a pair without value), then "/>". Nothing is escaped.
std::u16string BuildCommandText(std::u16string_view commandName, const AttributeList* attributes,
                                size_t attributeCount);

// One element, from its "<" to its ">", taken from the last caret of the message; nothing when
// the message is not a single self-closing element.
std::optional<std::string> ExtractTag(std::string_view message);

// Text of a storage error code given as decimal text (as _wtol reads it); "Unknown error." for
// codes not in the table.
void ErrorCodeToText(std::u16string_view codeText, std::u16string& text);

// Text of an Error answer's error_code (hexadecimal; codes outside 1-5 are 0).
const char16_t* ErrorReplyText(int code);
// Hexadecimal reading of an error_code value; values outside 1-5 give 0.
int ErrorReplyCode(std::u16string_view codeText);

// Leading blanks, an optional sign, then decimal digits; 0 when there are none. Saturates.
long DecimalValue(std::u16string_view text);
// DecimalValue held to the 32 bits every camera count and coordinate is kept in.
int32_t DecimalValue32(std::u16string_view text);
// Leading blanks, then hexadecimal digits; 0 when there are none. Saturates.
unsigned long HexValue(std::u16string_view text);
