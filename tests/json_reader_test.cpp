// The JSON reader: which texts it accepts, the trees it builds, its depth
// limit and that nothing stays allocated after a rejected or interrupted read.
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "json/json_reader.h"

// Counts the live allocations of this program's operator new, and can make
// the n-th next allocation fail, so a test sees what a read leaves behind.
namespace {

thread_local long t_liveAllocations = 0;
thread_local long t_allocationsUntilFailure = -1;  // -1: never fail

void* CountedAllocate(std::size_t size) {
    if (t_allocationsUntilFailure == 0) throw std::bad_alloc();
    if (t_allocationsUntilFailure > 0) --t_allocationsUntilFailure;
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) throw std::bad_alloc();
    ++t_liveAllocations;
    return block;
}

void CountedFree(void* block) {
    if (block == nullptr) return;
    --t_liveAllocations;
    std::free(block);
}

}  // namespace

void* operator new(std::size_t size) { return CountedAllocate(size); }
void* operator new[](std::size_t size) { return CountedAllocate(size); }
void operator delete(void* block) noexcept { CountedFree(block); }
void operator delete[](void* block) noexcept { CountedFree(block); }
void operator delete(void* block, std::size_t) noexcept { CountedFree(block); }
void operator delete[](void* block, std::size_t) noexcept { CountedFree(block); }

namespace lumbo {
namespace {

// What the process holds right now, to compare before and after a read.
struct Holdings {
    long allocations = t_liveAllocations;
    long nodes = JsonNode::LiveCount();
};

// `after` is taken by the caller before it builds the description, which
// may allocate itself.
void ExpectNothingLeft(const Holdings& before, const Holdings& after, const std::string& what) {
    EXPECT_EQ(after.allocations, before.allocations) << "allocations left behind by " << what;
    EXPECT_EQ(after.nodes, before.nodes) << "nodes left behind by " << what;
}

std::string Describe(const JsonNode* node);

// Printable ASCII as it is, every other unit as \uXXXX.
std::string DescribeUnits(const std::wstring& text) {
    std::string out = "\"";
    for (const wchar_t unit : text) {
        if (unit >= 0x20 && unit < 0x7F && unit != L'"' && unit != L'\\') {
            out += static_cast<char>(unit);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(unit));
            out += escape;
        }
    }
    return out + "\"";
}

// A compact picture of a tree: members in map order, numbers in %.17g.
std::string Describe(const JsonNode* node) {
    if (node == nullptr) return "<absent>";
    switch (node->Kind()) {
    case JsonKind::Null: return "null";
    case JsonKind::Bool: return node->Flag() ? "true" : "false";
    case JsonKind::String: return DescribeUnits(node->Text());
    case JsonKind::Number: {
        char number[32];
        std::snprintf(number, sizeof number, "%.17g", node->Number());
        return number;
    }
    case JsonKind::Array: {
        std::string out = "[";
        for (const auto& element : node->Elements()) out += (out.size() > 1 ? "," : "") + Describe(element.get());
        return out + "]";
    }
    case JsonKind::Object: {
        std::string out = "{";
        for (const auto& [name, value] : node->Members())
            out += (out.size() > 1 ? "," : "") + DescribeUnits(name) + ":" + Describe(value.get());
        return out + "}";
    }
    }
    return "<bad kind>";
}

// "" expects a rejection.
struct TextCase {
    std::string text;
    std::string expected;
};

TEST(JsonReader, AcceptsAndRejectsTexts) {
    const TextCase cases[] = {
        // Nothing to read.
        {"", ""},
        {" \t\r\n ", ""},
        {"\f1", ""},
        // Arrays and objects, with and without blanks.
        {" [\"a\", \"b\"] ", "[\"a\",\"b\"]"},
        {"[]", "[]"},
        {"[ ]", "[]"},
        {"{}", "{}"},
        {"{ }", "{}"},
        {"\t[ 1 ,\r\n2 ]", "[1,2]"},
        {"{ \"a\" : 1 , \"b\" :[ ] }", "{\"a\":1,\"b\":[]}"},
        {"[[],{},[[\"x\"]]]", "[[],{},[[\"x\"]]]"},
        // Commas where a value is due, and unfinished containers.
        {"[1,]", ""},
        {"[,1]", ""},
        {"[,]", ""},
        {"[1 2]", ""},
        {"[", ""},
        {"[ ", ""},
        {"[1", ""},
        {"[1,", ""},
        {"{", ""},
        {"{\"a\"", ""},
        {"{\"a\":", ""},
        {"{\"a\":1", ""},
        {"{\"a\" 1}", ""},
        {"{\"a\":1,}", ""},
        {"{,\"a\":1}", ""},
        {"{\"a\":1 \"b\":2}", ""},
        {"{a:1}", ""},
        {"{\"a:1}", ""},
        {"{1:1}", ""},
        {"[}", ""},
        {"{]", ""},
        // Literal words: any case, no delimiter needed at the top level.
        {"TRUE", "true"},
        {"False", "false"},
        {"NULL", "null"},
        {"nUlL", "null"},
        {"truex", "true"},
        {"falsetto", "false"},
        {"[truex]", ""},
        {"[TRUE,false , Null]", "[true,false,null]"},
        {"tru", ""},
        {"fals", ""},
        {"nul", ""},
        {"t", ""},
        {"\xD4rue", ""},
        // Numbers.
        {"0123", "0"},
        {"[0123]", ""},
        {"01.5", "0"},
        {"-", ""},
        {"-a", ""},
        {"--1", ""},
        {"+1", ""},
        {".5", ""},
        {"1.", ""},
        {"1.e1", ""},
        {"1e", ""},
        {"1e+", ""},
        {"1E-", ""},
        {"[-0.5e1, 12]", "[-5,12]"},
        // Strings.
        {"\"abc", ""},
        {"\"", ""},
        {"\"a\\", ""},
        {"\"a\\x\"", ""},
        {"\"docs\\old\"", ""},
        {"[\"docs\\\\old\", \"tmp\"]", "[\"docs\\u005Cold\",\"tmp\"]"},
        {"\"a\nb\"", ""},
        {"\"a\rb\"", ""},
        {"\"a\x01" "b\"", ""},
        {"'a'", ""},
        // Duplicate members: the last wins; members ordered by name.
        {"{\"k\":1,\"k\":2}", "{\"k\":2}"},
        {"{\"k\":[1,2],\"k\":{\"x\":[3]},\"k\":null}", "{\"k\":null}"},
        {"{\"b\":[1,{\"c\":null}],\"a\":\"x\",\"\":0}", "{\"\":0,\"a\":\"x\",\"b\":[1,{\"c\":null}]}"},
        {"{\"\\uFFFF\":1,\"\\u00E9\":2,\"a\":3}", "{\"a\":3,\"\\u00E9\":2,\"\\uFFFF\":1}"},
        {"{\"a\":1,\"A\":2}", "{\"A\":2,\"a\":1}"},
        // Text after a complete value is not examined.
        {"[\"a\"] and other words", "[\"a\"]"},
        {"\"a\" junk", "\"a\""},
        {"1 2", "1"},
        {"{} ]", "{}"},
        {"null,", "null"},
        // Nothing that starts a value.
        {"x", ""},
        {"]", ""},
        {"}", ""},
        {",", ""},
        {":", ""},
    };
    for (const TextCase& c : cases) {
        const Holdings before;
        {
            const std::unique_ptr<JsonNode> root = ParseJsonText(c.text.c_str());
            EXPECT_EQ(root ? Describe(root.get()) : "", c.expected) << "text: " << c.text;
        }
        const Holdings after;
        ExpectNothingLeft(before, after, c.text);
    }
}

TEST(JsonReader, ReadsStringEscapesUnitByUnit) {
    struct Case {
        std::string text;
        std::wstring expected;
    };
    const Case cases[] = {
        {"\"a\\u0041b\"", L"aAb"},
        {"\"\\u00e9\\u00E9\"", L"\u00E9\u00E9"},
        {"\"\\\"\\'\\/\\\\\\b\\f\\n\\r\\t\"", L"\"'/\\\b\f\n\r\t"},
        {"\"\\'\"", L"'"},
        {"\"a\tb\"", L"a\tb"},
        {"\"docs\\\\old\"", L"docs\\old"},
        {"\"\\uD83D\\uDE00\"", std::wstring{wchar_t(0xD83D), wchar_t(0xDE00)}},
        {"\"\\uD800x\"", std::wstring{wchar_t(0xD800), L'x'}},
        {"\"\\u0000x\"", std::wstring(L"\0x", 2)},
        {"\"\"", L""},
        {"\"\x7F\"", L"\x7F"},
        {"\"caf\xC3\xA9\"", L"caf\u00C3\u00A9"},
    };
    for (const Case& c : cases) {
        const std::unique_ptr<JsonNode> root = ParseJsonText(c.text.c_str());
        ASSERT_TRUE(root) << c.text;
        EXPECT_EQ(root->Kind(), JsonKind::String) << c.text;
        EXPECT_EQ(root->Text(), c.expected) << c.text;
    }
    for (const char* rejected : {"\"\\u\"", "\"\\u12\"", "\"\\u123\"", "\"\\u12G4\"", "\"\\u-123\"", "\"\\u",
                                 "\"\\u00", "\"\\U0041\"", "\"\\a\"", "\"\\0\"", "\"\\"})
        EXPECT_FALSE(ParseJsonText(rejected)) << rejected;
}

TEST(JsonReader, WidensEveryByteToTheUnitOfTheSameValue) {
    std::string text = "\"";
    std::wstring expected;
    for (int byte = 0x20; byte <= 0xFF; ++byte) {
        if (byte == '"' || byte == '\\') continue;
        text += static_cast<char>(byte);
        expected += static_cast<wchar_t>(byte);
    }
    text += '"';
    const std::unique_ptr<JsonNode> root = ParseJsonText(text.c_str());
    ASSERT_TRUE(root);
    ASSERT_EQ(root->Text().size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(static_cast<unsigned>(root->Text()[i]), static_cast<unsigned>(expected[i]));
}

// What the settings store: UTF-8, whose letters arrive as the units they
// stand for, raw or escaped alike.
TEST(JsonReader, ReadsUtf8TextAsTheUnitsItStandsFor) {
    struct Case {
        std::string text;
        std::wstring expected;
    };
    const Case cases[] = {
        {"\"caf\xC3\xA9\"", L"caf\u00E9"},
        {"\"caf\\u00e9\"", L"caf\u00E9"},
        {"\"\\u00C3\\u00A9\"", L"\u00C3\u00A9"},
        {"\"\xE9\x95\xB7\\u6DFA\"", L"\u9577\u6DFA"},
        {"\"\xF0\x9F\x98\x80\\uD83D\\uDE03\"", L"\U0001F600\U0001F603"},
        {"\"\\uDE00\"", std::wstring{wchar_t(0xDE00)}},
        // Bytes that are no UTF-8: one U+FFFD for each broken sequence.
        {"\"a\xFF\xE9\x95z\xC0\xAF\"", L"a\uFFFD\uFFFDz\uFFFD\uFFFD"},
        {"\"\xED\xA0\x80\"", L"\uFFFD\uFFFD\uFFFD"},
    };
    for (const Case& c : cases) {
        const Holdings before;
        {
            const std::unique_ptr<JsonNode> root = ParseJsonUtf8(c.text.c_str());
            ASSERT_TRUE(root) << c.text;
            EXPECT_EQ(root->Kind(), JsonKind::String) << c.text;
            EXPECT_EQ(DescribeUnits(root->Text()), DescribeUnits(c.expected)) << c.text;
        }
        const Holdings after;
        ExpectNothingLeft(before, after, c.text);
    }
    // The grammar is the same: structure stays ASCII, and a non-ASCII letter
    // outside a string is no value.
    const std::unique_ptr<JsonNode> array = ParseJsonUtf8(" [\"\xE5\x90\x8C\", 5, \"x\"] ");
    ASSERT_TRUE(array);
    ASSERT_EQ(array->Elements().size(), 3u);
    EXPECT_EQ(array->Elements()[0]->Text(), L"\u540C");
    for (const char* rejected : {"", "\xE5\x90\x8C", "[\xE5\x90\x8C]", "[\"a\",]", "\"\\x\""})
        EXPECT_FALSE(ParseJsonUtf8(rejected)) << rejected;
    EXPECT_FALSE(ParseJsonUtf8(nullptr));
}

// A host that sets a locale of its own for the whole process must not change
// how the settings read.
TEST(JsonReader, TheProcessLocaleChangesNothing) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, ".936"), nullptr) << "the runtime has no code page 936 locale";
    // The runtime itself now reads the two bytes of \u00E9 as one character.
    wchar_t widened[4] = {};
    const std::size_t units = std::mbstowcs(widened, "\xC3\xA9", 4);
    const std::unique_ptr<JsonNode> bytes = ParseJsonText("[\"caf\xC3\xA9\"]");
    const std::unique_ptr<JsonNode> utf8 = ParseJsonUtf8("[\"caf\xC3\xA9\"]");
    std::setlocale(LC_ALL, saved.c_str());

    EXPECT_EQ(units, 1u) << "the locale under test widens differently from the \"C\" locale";
    ASSERT_TRUE(bytes);
    ASSERT_EQ(bytes->Elements().size(), 1u);
    EXPECT_EQ(bytes->Elements()[0]->Text(), L"caf\u00C3\u00A9");
    ASSERT_TRUE(utf8);
    ASSERT_EQ(utf8->Elements().size(), 1u);
    EXPECT_EQ(utf8->Elements()[0]->Text(), L"caf\u00E9");
}

TEST(JsonReader, LongStringsComeThroughWhole) {
    // Several growth steps of the string buffer, with escapes across them.
    std::string text = "\"";
    std::wstring expected;
    for (int i = 0; i < 3000; ++i) {
        text += (i % 7 == 0) ? "\\u0041" : std::string(1, static_cast<char>('a' + i % 26));
        expected += (i % 7 == 0) ? L'A' : static_cast<wchar_t>(L'a' + i % 26);
    }
    text += '"';
    const std::unique_ptr<JsonNode> root = ParseJsonText(text.c_str());
    ASSERT_TRUE(root);
    EXPECT_EQ(root->Text(), expected);
}

TEST(JsonReader, ReadsNumbersInDoublePrecision) {
    const double infinity = std::numeric_limits<double>::infinity();
    struct Case {
        std::string text;
        double expected;
    };
    const Case exact[] = {
        {"0", 0},
        {"7", 7},
        {"-12", -12},
        {"1.5e2", 150},
        {"1.5E+2", 150},
        {"-0.05", -0.05},
        {"0.5", 0.5},
        {"12.25", 12.25},
        {"2E-2", 2.0 / 10 / 10},
        {"5e-1", 0.5},
        {"1e0", 1},
        {"1e22", 1e22},
        {"2147483647", 2147483647.0},
        {"2147483648", 2147483648.0},
        {"-2147483649", -2147483649.0},
        {"99999999999", 99999999999.0},
        {"9007199254740993", 9007199254740992.0},
        {"1e400", infinity},
        {"-1e400", -infinity},
        {"1e-400", 0},
        {"1e2147483648", infinity},
        {"1e99999999999999999999", infinity},
        {"1e-99999999999999999999", 0},
        {"0e99999999999999999999", 0},
        {"0.1e-99999999999999999999", 0},
        {"0." + std::string(500, '0') + "5", 0},
        {"0." + std::string(100000, '9'), 1},
    };
    for (const Case& c : exact) {
        const std::unique_ptr<JsonNode> root = ParseJsonText(c.text.c_str());
        ASSERT_TRUE(root) << c.text.substr(0, 40);
        EXPECT_EQ(root->Kind(), JsonKind::Number);
        EXPECT_EQ(root->Number(), c.expected) << c.text.substr(0, 40);
    }
    // Exponents are applied one step at a time, not looked up.
    double stepwise = 3;
    for (int i = 0; i < 300; ++i) stepwise /= 10;
    EXPECT_EQ(ParseJsonText("3e-300")->Number(), stepwise);
    EXPECT_TRUE(std::signbit(ParseJsonText("-0")->Number()));

    const Case close[] = {
        {"0.1234567890123456789012345", 0.1234567890123456789012345},
        {"3.14159265358979323846", 3.14159265358979323846},
        {"0.0000000000000000000000000000001", 1e-31},
        {"-123456.789e3", -123456789.0},
    };
    for (const Case& c : close) {
        const std::unique_ptr<JsonNode> root = ParseJsonText(c.text.c_str());
        ASSERT_TRUE(root) << c.text;
        EXPECT_DOUBLE_EQ(root->Number(), c.expected) << c.text;
    }
}

TEST(JsonReader, OnlyTheFieldOfTheNodesKindCarriesAValue) {
    const std::unique_ptr<JsonNode> root = ParseJsonText("[null, \"s\", true, 4.5, [1], {\"m\": 1}]");
    ASSERT_TRUE(root);
    ASSERT_EQ(root->Elements().size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) {
        const JsonNode& node = *root->Elements()[i];
        EXPECT_EQ(static_cast<int>(node.Kind()), static_cast<int>(i)) << "kinds have fixed values";
        EXPECT_EQ(node.Text().empty(), node.Kind() != JsonKind::String) << i;
        EXPECT_EQ(node.Flag(), node.Kind() == JsonKind::Bool) << i;
        EXPECT_EQ(node.Number() != 0, node.Kind() == JsonKind::Number) << i;
        EXPECT_EQ(node.Elements().empty(), node.Kind() != JsonKind::Array) << i;
        EXPECT_EQ(node.Members().empty(), node.Kind() != JsonKind::Object) << i;
    }
    EXPECT_EQ(root->Elements()[1]->Text(), L"s");
    EXPECT_EQ(root->Elements()[3]->Number(), 4.5);
    EXPECT_EQ(root->Elements()[5]->Members().count(L"m"), 1u);
}

TEST(JsonReader, NodesOwnTheirSubtrees) {
    const long before = JsonNode::LiveCount();
    {
        JsonElements inner;
        inner.push_back(std::make_unique<JsonNode>(std::wstring(L"x")));
        inner.push_back(nullptr);
        JsonMembers members;
        members[L"list"] = std::make_unique<JsonNode>(std::move(inner));
        members[L"absent"] = nullptr;
        members[L"flag"] = std::make_unique<JsonNode>(true);
        JsonElements outer;
        outer.push_back(std::make_unique<JsonNode>(std::move(members)));
        outer.push_back(std::make_unique<JsonNode>(2.0));
        outer.push_back(std::make_unique<JsonNode>());
        const JsonNode root(std::move(outer));
        EXPECT_EQ(JsonNode::LiveCount() - before, 7);
        EXPECT_EQ(Describe(&root), "[{\"absent\":<absent>,\"flag\":true,\"list\":[\"x\",<absent>]},2,null]");
    }
    EXPECT_EQ(JsonNode::LiveCount(), before);
}

std::string Nested(int levels, const std::string& open, const std::string& inner, const std::string& close) {
    std::string text;
    for (int i = 0; i < levels; ++i) text += open;
    text += inner;
    for (int i = 0; i < levels; ++i) text += close;
    return text;
}

int DepthOf(const JsonNode* node) {
    int depth = 0;
    while (node != nullptr && (node->Kind() == JsonKind::Array || node->Kind() == JsonKind::Object)) {
        ++depth;
        if (node->Kind() == JsonKind::Array)
            node = node->Elements().empty() ? nullptr : node->Elements().front().get();
        else
            node = node->Members().empty() ? nullptr : node->Members().begin()->second.get();
    }
    return depth;
}

TEST(JsonReader, BoundsTheNestingDepth) {
    struct Case {
        std::string open, inner, close;
    };
    const Case shapes[] = {
        {"[", "", "]"},
        {"[", "1", "]"},
        {"{\"a\":", "{}", "}"},
        {"[{\"a\":", "0", "}]"},
    };
    for (const Case& shape : shapes) {
        // The shape's own levels per repetition and those of its innermost value.
        const int perStep = shape.open == "[{\"a\":" ? 2 : 1;
        const int innerLevels = shape.inner == "{}" ? 1 : 0;
        const int steps = (kJsonMaxDepth - innerLevels) / perStep;
        const Holdings before;
        {
            const std::string deepest = Nested(steps, shape.open, shape.inner, shape.close);
            const std::unique_ptr<JsonNode> root = ParseJsonText(deepest.c_str());
            ASSERT_TRUE(root) << "at the limit: " << shape.open;
            EXPECT_EQ(DepthOf(root.get()), kJsonMaxDepth) << shape.open;

            const std::string tooDeep = Nested(steps + 1, shape.open, shape.inner, shape.close);
            EXPECT_FALSE(ParseJsonText(tooDeep.c_str())) << "past the limit: " << shape.open;
        }
        const Holdings after;
        ExpectNothingLeft(before, after, "nesting " + shape.open);
    }
    // Far past it, as a corrupt or hostile setting might be: no stack overflow.
    for (const std::string& hostile : {std::string(100000, '['), Nested(100000, "[", "", "]"),
                                       Nested(50000, "{\"a\":", "1", "}")}) {
        const Holdings before;
        EXPECT_FALSE(ParseJsonText(hostile.c_str()));
        const Holdings after;
        ExpectNothingLeft(before, after, "hostile nesting");
    }
}

TEST(JsonReader, RunningOutOfMemoryLeavesNothingAllocated) {
    const char text[] =
        "{\"dirs\":[\"docs\\\\old\",\"tmp\",\"" "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\"],"
        "\"n\":[1.5,true,null,{\"x\":{}}],\"n\":[[[]]]}";
    int failures = 0;
    for (long budget = 0;; ++budget) {
        const Holdings before;
        t_allocationsUntilFailure = budget;
        bool completed = false;
        try {
            const std::unique_ptr<JsonNode> root = ParseJsonText(text);
            t_allocationsUntilFailure = -1;
            ASSERT_TRUE(root);
            EXPECT_EQ(Describe(root.get()),
                      "{\"dirs\":[\"docs\\u005Cold\",\"tmp\",\"" + std::string(66, 'a') + "\"],\"n\":[[[]]]}");
            completed = true;
        } catch (const std::bad_alloc&) {
            t_allocationsUntilFailure = -1;
            ++failures;
        }
        const Holdings after;
        ExpectNothingLeft(before, after, "allocation failure " + std::to_string(budget));
        if (completed) break;
        ASSERT_LT(budget, 1000) << "the read never completed";
    }
    EXPECT_GT(failures, 10) << "the read should need many allocations";
}

TEST(JsonReader, RejectsANullText) {
    EXPECT_FALSE(ParseJsonText(nullptr));
}

}  // namespace
}  // namespace lumbo
