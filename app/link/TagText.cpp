#include "app/link/TagText.h"

#include "app/platform/Log.h"

#include <algorithm>
#include <climits>

std::u16string BuildCommandText(std::u16string_view commandName, const AttributeList* attributes,
                                size_t attributeCount)
{
    ORIN_TRACE("BuildCommandText");
    std::u16string text = u"^<";
    text += commandName;
    text += u' ';
    if (attributes != nullptr) {
        const size_t count = attributeCount < attributes->size() ? attributeCount : attributes->size();
        for (size_t i = 0; i < count; ++i) {
            const AttributePair& pair = (*attributes)[i];
            text += pair.name;
            if (pair.value) {
                text += u"=\"";
                text += *pair.value;
                text += u"\" ";
            } else {
                text += u' ';
            }
        }
    }
    text += u"/>";
    return text;
}

std::optional<std::string> ExtractTag(std::string_view message)
{
    ORIN_TRACE("ExtractTag");
    const size_t length = message.size();
    if (length < 4) {
        return std::nullopt;
    }
    // The message starts at the last caret: a text that begins with two carets, or with stray
    // bytes before its caret, reads like the plain message.
    size_t start = 0;
    for (size_t i = length - 2; i >= 1; --i) {
        if (message[i] == '^') {
            start = i;
            break;
        }
    }
    const std::string_view body = message.substr(start);
    const size_t m = body.size();
    if (m < 4 || body[1] != '<' || message[length - 2] != '/') {
        return std::nullopt;
    }
    for (size_t i = 2; i + 3 <= m && i <= m - 3; ++i) {
        if (body[i] == '<') {
            return std::nullopt;
        }
    }
    const size_t close = body.find('>', 1);
    if (close == std::string_view::npos) {
        return std::nullopt;
    }
    return std::string(body.substr(1, close));
}

long DecimalValue(std::u16string_view text)
{
    ORIN_TRACE("DecimalValue");
    size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t' || text[i] == u'\n' ||
                               text[i] == u'\r' || text[i] == u'\v' || text[i] == u'\f')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    // Camera texts decide lengths: a number too long for a long must saturate, never wrap.
    long value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        const long digit = text[i] - u'0';
        value = value > (LONG_MAX - digit) / 10 ? LONG_MAX : value * 10 + digit;
    }
    return negative ? -value : value;
}

int32_t DecimalValue32(std::u16string_view text)
{
    return static_cast<int32_t>(std::clamp<long>(DecimalValue(text), INT32_MIN, INT32_MAX));
}

unsigned long HexValue(std::u16string_view text)
{
    ORIN_TRACE("HexValue");
    size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) {
        ++i;
    }
    if (i + 1 < text.size() && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        i += 2;
    }
    unsigned long value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i];
        int digit = 0;
        if (c >= u'0' && c <= u'9') {
            digit = c - u'0';
        } else if (c >= u'a' && c <= u'f') {
            digit = c - u'a' + 10;
        } else if (c >= u'A' && c <= u'F') {
            digit = c - u'A' + 10;
        } else {
            break;
        }
        value = value > (ULONG_MAX >> 4) ? ULONG_MAX : value * 16 + static_cast<unsigned>(digit);
    }
    return value;
}

namespace {

const char16_t* const kErrorReplyTexts[] = {
    u"Unknown error",   u"Communication error", u"Unknown command",
    u"Parameter error", u"Sequence error",      u"Bad file name",
};

struct StorageError {
    long code;
    const char16_t* text;
};

const StorageError kStorageErrors[] = {
    {1, u"Deleting an in-use object or writing to read only object."},
    {2, u"Invalid file descriptor."},
    {3, u"Creating an object that already exists."},
    {4, u"Invalid api argument."},
    {5, u"Out of file descriptors."},
    {6, u"File or directory not found."},
    {7, u"Out of space to perform the operation."},
    {8, u"Sharing violation in po_open."},
    {9, u"Missing or invalid parameters."},
    {10, u"Invalid path name used as an argument."},
    {11, u"Invalid drive specified in an argument."},
    {12, u"Read error performing the API's function."},
    {13, u"Write error performing the API's function."},
    {50, u"Device was removed and replaced before flush."},
    {51, u"Driver reports that the device is not working."},
    {52, u"Trying to access a drive that wasn't initialized."},
    {53, u"Driver reports that the device is empty."},
    {54, u"Driver reports that the device is not recognized."},
    {60, u"No signature found in BPB (please format)."},
    {61, u"No signature found in MBR (please write partition table)."},
    {62, u"Partition requested but none at that offset."},
    {63, u"IO error reading MBR (note: MBR is first to be read on a new insert)."},
    {64, u"IO error reading BPB (block 0)."},
    {65, u"IO error reading FAT32 INFO struc (BPB extension)."},
    {70, u"Error reading a directory block through the buffer pool."},
    {71, u"Error reading a fat block through the fat buffer pool."},
    {72, u"Error writing a directory block through the buffer pool."},
    {73, u"Error writing a fat block through the fat buffer pool."},
    {74, u"Error writing info block during fat flush."},
    {100, u"Unexpected block number encountered. Run check disk."},
    {101, u"Unexpected cluster encountered. Run check disk."},
    {102, u"A specified path that must be a directory was not."},
    {103, u"Unexpected condition, reset, run check disk."},
    {110, u"Out of directory object structures."},
    {111, u"Out of directory and scratch blocks."},
    {112, u"Out of fat blocks. (normal only in failsafe mode)."},
    {120, u"Subsystem not initialized."},
    {200, u"Illegal errno used by regression test."},
    {257, u"Device(FW disk) init error."},
    {258, u"Device(FW disk) init error."},
    {259, u"Device(FW disk) init error."},
    {277, u"Device(FW disk) init error."},
    {300, u"Can't change working drive."},
    {8177, u"The selected folder is full. Choose another one"},
    {8178, u"You have exceeded the file number allowed for this prefix in the selected folder. Use "
           u"another prefix or select another folder."},
    {8179, u"You have exceeded the file number allowed for this prefix in the selected folder. Use "
           u"another prefix or select another folder."},
    {8180, u"No image was received from the camera. Make sure that your exposure is no longer than "
           u"10 secs."},
    {8181, u"No image was received from the camera. Make sure that your exposure is no longer than "
           u"30 secs."},
    {8182, u"No image was received from the camera. Please check the camera lens and ensure that "
           u"your exposure is no longer than 10 secs."},
    {8183, u"No image was received from the camera. Please check the camera lens and ensure that "
           u"your exposure is no longer than 30 secs."},
    {8195, u"Inconsistent structure on volume."},
    {8202, u"Volume not mounted."},
    {8203, u"Filename not found."},
    {8204, u"Illegal pathname."},
    {8205, u"No default directory."},
    {8206, u"Directory file expected."},
    {8207, u"Illegal expansion unit."},
    {8208, u"Null pathname."},
    {8209, u"File already exists."},
    {8210, u"Too many files on volume."},
    {8211, u"Cannot remove an open file."},
    {8212, u"Directory not empty."},
    {8213, u"Illegal on system or directory file."},
    {8214, u"Operation must be on the same volume."},
    {8215, u"MOVE_F would destroy directory tree."},
    {8216, u"Too many files open for task."},
    {8217, u"Too many files open in system."},
    {8218, u"Invalid FID, exceeds maximum."},
    {8219, u"Invalid FID, file closed."},
    {8220, u"Index block full."},
    {8221, u"Volume full."},
    {8224, u"File size limit exceeded."},
    {8226, u"Data locked."},
    {8229, u"Illegal device name."},
    {12272, u"Fire Wire hard disk scan error."},
    {12273, u"In this option, you can use only a file item."},
    {12275, u"In this option, you can change only a directory."},
    {12276, u"Cannot copy file to itself."},
    {12277, u"Memory allocated for reading a file was Failed."},
};

}  // namespace

void ErrorCodeToText(std::u16string_view codeText, std::u16string& text)
{
    ORIN_TRACE("ErrorCodeToText");
    const long code = DecimalValue(codeText);
    for (const StorageError& entry : kStorageErrors) {
        if (entry.code == code) {
            text = entry.text;
            return;
        }
    }
    text = u"Unknown error.";
}

int ErrorReplyCode(std::u16string_view codeText)
{
    ORIN_TRACE("ErrorReplyCode");
    const unsigned long code = HexValue(codeText);
    return (code >= 1 && code <= 5) ? static_cast<int>(code) : 0;
}

const char16_t* ErrorReplyText(int code)
{
    ORIN_TRACE("ErrorReplyText");
    return (code >= 1 && code <= 5) ? kErrorReplyTexts[code] : kErrorReplyTexts[0];
}
