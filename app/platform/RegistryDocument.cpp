#include "app/platform/RegistryDocument.h"

#include "app/platform/Log.h"

#include <cstdio>
#include <utility>

namespace platform {

namespace {

constexpr std::string_view kHeader = "REGEDIT4";
constexpr std::string_view kLocalMachine = "HKEY_LOCAL_MACHINE";
constexpr std::string_view kCurrentUser = "HKEY_CURRENT_USER";
constexpr std::string_view kDwordPrefix = "dword:";

char FoldAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimRight(std::string_view s)
{
    while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

bool HasLineBreak(std::string_view s)
{
    return s.find('\n') != std::string_view::npos || s.find('\r') != std::string_view::npos;
}

// Reads a quoted string starting just after its opening quote. pos ends after the closing quote.
bool ParseQuoted(std::string_view line, size_t& pos, std::string& out, std::string& why)
{
    out.clear();
    while (pos < line.size()) {
        char c = line[pos++];
        if (c == '"') {
            return true;
        }
        if (c != '\\') {
            out.push_back(c);
            continue;
        }
        if (pos >= line.size()) {
            break;
        }
        char next = line[pos++];
        switch (next) {
        case '\\': out.push_back('\\'); break;
        case '"': out.push_back('"'); break;
        case 'n': out.push_back('\n'); break;
        case 'r': out.push_back('\r'); break;
        default:
            // A hand-edited path such as "C:\Photos" keeps its backslash rather than failing the
            // whole file.
            out.push_back('\\');
            out.push_back(next);
            break;
        }
    }
    why = "unterminated quoted text";
    return false;
}

bool ParseDword(std::string_view digits, uint32_t& value)
{
    if (digits.empty() || digits.size() > 8) {
        return false;
    }
    uint32_t v = 0;
    for (char c : digits) {
        uint32_t d;
        if (c >= '0' && c <= '9') {
            d = static_cast<uint32_t>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            d = static_cast<uint32_t>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            d = static_cast<uint32_t>(c - 'A' + 10);
        } else {
            return false;
        }
        v = (v << 4) | d;
    }
    value = v;
    return true;
}

void AppendEscaped(std::string& out, std::string_view text)
{
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        // A raw line break would split the entry and make the whole file unreadable.
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out.push_back(c); break;
        }
    }
}

void SetValue(RegistryKeyNode& key, RegistryValue value)
{
    if (RegistryValue* existing = key.FindValue(value.name)) {
        value.name = existing->name;
        *existing = std::move(value);
    } else {
        key.values.push_back(std::move(value));
    }
}

void SerializeKey(const RegistryKeyNode& node, const std::string& path, bool isRoot, std::string& out)
{
    if (!isRoot || !node.values.empty()) {
        out += '[';
        out += path;
        out += "]\n";
        for (const RegistryValue& v : node.values) {
            if (v.name.empty()) {
                out += '@';
            } else {
                out += '"';
                AppendEscaped(out, v.name);
                out += '"';
            }
            out += '=';
            if (v.type == RegistryType::Dword) {
                char digits[16];
                std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(v.dword));
                out += kDwordPrefix;
                out += digits;
            } else {
                out += '"';
                AppendEscaped(out, v.text);
                out += '"';
            }
            out += '\n';
        }
        out += '\n';
    }
    for (const RegistryKeyNode& sub : node.subKeys) {
        SerializeKey(sub, path + "\\" + sub.name, false, out);
    }
}

}  // namespace

RegistryKeyNode* RegistryKeyNode::FindSubKey(std::string_view subName)
{
    for (RegistryKeyNode& k : subKeys) {
        if (RegistryDocument::NamesEqual(k.name, subName)) {
            return &k;
        }
    }
    return nullptr;
}

const RegistryKeyNode* RegistryKeyNode::FindSubKey(std::string_view subName) const
{
    return const_cast<RegistryKeyNode*>(this)->FindSubKey(subName);
}

RegistryValue* RegistryKeyNode::FindValue(std::string_view valueName)
{
    for (RegistryValue& v : values) {
        if (RegistryDocument::NamesEqual(v.name, valueName)) {
            return &v;
        }
    }
    return nullptr;
}

const RegistryValue* RegistryKeyNode::FindValue(std::string_view valueName) const
{
    return const_cast<RegistryKeyNode*>(this)->FindValue(valueName);
}

RegistryDocument::RegistryDocument()
{
    m_localMachine.name = std::string(kLocalMachine);
    m_currentUser.name = std::string(kCurrentUser);
}

bool RegistryDocument::NamesEqual(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) {
            return false;
        }
    }
    return true;
}

bool RegistryDocument::SplitKeyPath(const std::string& key, std::vector<std::string>& components)
{
    components.clear();
    size_t start = 0;
    while (start <= key.size()) {
        size_t end = key.find('\\', start);
        if (end == std::string::npos) {
            end = key.size();
        }
        if (end > start) {
            std::string part = key.substr(start, end - start);
            if (HasLineBreak(part)) {
                components.clear();
                return false;
            }
            components.push_back(std::move(part));
        }
        start = end + 1;
    }
    return true;
}

bool RegistryDocument::IsStorableValueName(const std::string& name) { return !HasLineBreak(name); }

RegistryKeyNode& RegistryDocument::RootNode(RegistryRoot root)
{
    return root == RegistryRoot::LocalMachine ? m_localMachine : m_currentUser;
}

const RegistryKeyNode& RegistryDocument::RootNode(RegistryRoot root) const
{
    return root == RegistryRoot::LocalMachine ? m_localMachine : m_currentUser;
}

const RegistryKeyNode* RegistryDocument::FindKey(RegistryRoot root, const std::vector<std::string>& path) const
{
    const RegistryKeyNode* node = &RootNode(root);
    for (const std::string& part : path) {
        node = node->FindSubKey(part);
        if (node == nullptr) {
            return nullptr;
        }
    }
    return node;
}

RegistryKeyNode* RegistryDocument::FindKey(RegistryRoot root, const std::vector<std::string>& path)
{
    return const_cast<RegistryKeyNode*>(std::as_const(*this).FindKey(root, path));
}

RegistryKeyNode& RegistryDocument::CreateKey(RegistryRoot root, const std::vector<std::string>& path)
{
    RegistryKeyNode* node = &RootNode(root);
    for (const std::string& part : path) {
        RegistryKeyNode* sub = node->FindSubKey(part);
        if (sub == nullptr) {
            node->subKeys.push_back(RegistryKeyNode{part, {}, {}});
            sub = &node->subKeys.back();
        }
        node = sub;
    }
    return *node;
}

bool RegistryDocument::DeleteKeyTree(RegistryRoot root, const std::vector<std::string>& path)
{
    if (path.empty()) {
        return false;
    }
    std::vector<std::string> parentPath(path.begin(), path.end() - 1);
    RegistryKeyNode* parent = FindKey(root, parentPath);
    if (parent == nullptr) {
        return false;
    }
    for (auto it = parent->subKeys.begin(); it != parent->subKeys.end(); ++it) {
        if (NamesEqual(it->name, path.back())) {
            parent->subKeys.erase(it);
            return true;
        }
    }
    return false;
}

bool RegistryDocument::Parse(std::string_view text, std::string& error)
{
    ORIN_TRACE("RegistryDocument::Parse");
    *this = RegistryDocument();
    error.clear();

    // Editors on other systems may add a byte-order mark; it carries no meaning here.
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }

    bool headerSeen = false;
    RegistryKeyNode* current = nullptr;
    int lineNo = 0;
    std::string why;
    size_t pos = 0;
    while (pos < text.size() && why.empty()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = TrimRight(text.substr(pos, end - pos));
        pos = end + 1;
        ++lineNo;

        size_t first = 0;
        while (first < line.size() && IsBlank(line[first])) {
            ++first;
        }
        line.remove_prefix(first);
        if (line.empty() || line.front() == ';') {
            continue;
        }
        if (!headerSeen) {
            if (line != kHeader) {
                why = "the first line is not \"REGEDIT4\"";
                break;
            }
            headerSeen = true;
            continue;
        }

        if (line.front() == '[') {
            if (line.back() != ']' || line.size() < 2) {
                why = "key line without closing \"]\"";
                break;
            }
            std::string_view inner = line.substr(1, line.size() - 2);
            if (!inner.empty() && inner.front() == '-') {
                why = "key removal entries are not supported";
                break;
            }
            size_t slash = inner.find('\\');
            std::string_view rootName = inner.substr(0, slash);
            RegistryRoot root;
            if (NamesEqual(rootName, kLocalMachine)) {
                root = RegistryRoot::LocalMachine;
            } else if (NamesEqual(rootName, kCurrentUser)) {
                root = RegistryRoot::CurrentUser;
            } else {
                why = "unknown root \"" + std::string(rootName) + "\"";
                break;
            }
            std::vector<std::string> components;
            if (slash != std::string_view::npos) {
                SplitKeyPath(std::string(inner.substr(slash + 1)), components);
            }
            current = &CreateKey(root, components);
            continue;
        }

        if (line.front() != '"' && line.front() != '@') {
            why = "unexpected text";
            break;
        }
        if (current == nullptr) {
            why = "value before any key";
            break;
        }
        RegistryValue value;
        size_t p = 1;
        if (line.front() == '"' && !ParseQuoted(line, p, value.name, why)) {
            break;
        }
        if (p >= line.size() || line[p] != '=') {
            why = "missing \"=\" after the value name";
            break;
        }
        ++p;
        std::string_view data = line.substr(p);
        if (!data.empty() && data.front() == '"') {
            size_t q = p + 1;
            if (!ParseQuoted(line, q, value.text, why)) {
                break;
            }
            if (q != line.size()) {
                why = "text after the closing quote";
                break;
            }
            value.type = RegistryType::String;
        } else if (data.substr(0, kDwordPrefix.size()) == kDwordPrefix) {
            if (!ParseDword(data.substr(kDwordPrefix.size()), value.dword)) {
                why = "invalid dword";
                break;
            }
            value.type = RegistryType::Dword;
        } else {
            why = "unsupported value type";
            break;
        }
        SetValue(*current, std::move(value));
    }

    if (why.empty() && !headerSeen && lineNo > 0) {
        // Blank or comment-only text: nothing stored yet.
        return true;
    }
    if (!why.empty()) {
        error = "line " + std::to_string(lineNo) + ": " + why;
        *this = RegistryDocument();
        return false;
    }
    return true;
}

std::string RegistryDocument::Serialize() const
{
    ORIN_TRACE("RegistryDocument::Serialize");
    std::string out(kHeader);
    out += "\n\n";
    SerializeKey(m_localMachine, m_localMachine.name, true, out);
    SerializeKey(m_currentUser, m_currentUser.name, true, out);
    return out;
}

}  // namespace platform
