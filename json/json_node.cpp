#include "json/json_node.h"

#include <atomic>
#include <utility>

namespace lumbo {

namespace {

std::atomic<long> g_liveNodes{0};

}  // namespace

bool JsonNameLess::operator()(const std::wstring& left, const std::wstring& right) const {
    const std::size_t common = left.size() < right.size() ? left.size() : right.size();
    for (std::size_t i = 0; i < common; ++i) {
        const auto l = static_cast<char16_t>(left[i]);
        const auto r = static_cast<char16_t>(right[i]);
        if (l != r) return l < r;
    }
    return left.size() < right.size();
}

JsonNode::JsonNode() { ++g_liveNodes; }

JsonNode::JsonNode(std::wstring text) : m_kind(JsonKind::String), m_text(std::move(text)) { ++g_liveNodes; }

JsonNode::JsonNode(bool flag) : m_kind(JsonKind::Bool), m_flag(flag) { ++g_liveNodes; }

JsonNode::JsonNode(double number) : m_kind(JsonKind::Number), m_number(number) { ++g_liveNodes; }

JsonNode::JsonNode(JsonElements elements) : m_kind(JsonKind::Array), m_elements(std::move(elements)) {
    ++g_liveNodes;
}

JsonNode::JsonNode(JsonMembers members) : m_kind(JsonKind::Object), m_members(std::move(members)) {
    ++g_liveNodes;
}

// The members are destroyed in reverse order of declaration: the owned
// members and elements, each with its subtree, before the node's own text.
JsonNode::~JsonNode() { --g_liveNodes; }

long JsonNode::LiveCount() { return g_liveNodes.load(); }

}  // namespace lumbo
