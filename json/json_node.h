#pragma once

// One value of a JSON setting, with the subtree it owns. Trees come from
// ParseJsonText and are read-only afterwards.

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace lumbo {

enum class JsonKind : int { Null = 0, String = 1, Bool = 2, Number = 3, Array = 4, Object = 5 };

class JsonNode;

// Member names order unit by unit as unsigned 16-bit numbers.
struct JsonNameLess {
    bool operator()(const std::wstring& left, const std::wstring& right) const;
};

// An element or member value may be null; the node owns every one it holds.
using JsonElements = std::vector<std::unique_ptr<JsonNode>>;
using JsonMembers = std::map<std::wstring, std::unique_ptr<JsonNode>, JsonNameLess>;

class JsonNode {
public:
    JsonNode();
    explicit JsonNode(std::wstring text);
    explicit JsonNode(bool flag);
    explicit JsonNode(double number);
    explicit JsonNode(JsonElements elements);
    explicit JsonNode(JsonMembers members);
    // A character pointer would silently pick the Bool constructor.
    JsonNode(const wchar_t*) = delete;
    JsonNode(const char*) = delete;

    ~JsonNode();
    JsonNode(const JsonNode&) = delete;
    JsonNode& operator=(const JsonNode&) = delete;

    JsonKind Kind() const { return m_kind; }
    // Each accessor answers for any kind; a field not of the node's kind keeps
    // its initial state (empty, false, 0).
    const std::wstring& Text() const { return m_text; }
    bool Flag() const { return m_flag; }
    double Number() const { return m_number; }
    const JsonElements& Elements() const { return m_elements; }
    const JsonMembers& Members() const { return m_members; }

    // Nodes alive in the process right now: lets a test see that a rejected
    // text leaves none behind.
    static long LiveCount();

private:
    JsonKind m_kind = JsonKind::Null;
    std::wstring m_text;
    bool m_flag = false;
    double m_number = 0;
    JsonElements m_elements;
    JsonMembers m_members;
};

}  // namespace lumbo
