#include "common/contentindex/HtmlText.h"

#include <gumbo.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <new>

namespace wys::content {
namespace {

// Keeps every block the parser allocates on one list, so that its whole
// output is released with one loop: the parser's own release function walks
// the tree recursively and overflows the stack on deeply nested pages.
class CParserHeap {
public:
    CParserHeap() { m_head.prev = m_head.next = &m_head; }
    ~CParserHeap()
    {
        for (Block* block = m_head.next; block != &m_head;) {
            Block* next = block->next;
            std::free(block);
            block = next;
        }
    }
    CParserHeap(const CParserHeap&) = delete;
    CParserHeap& operator=(const CParserHeap&) = delete;

    static void* Allocate(void* userdata, std::size_t size)
    {
        auto* heap = static_cast<CParserHeap*>(userdata);
        void* raw = size <= std::numeric_limits<std::size_t>::max() - sizeof(Block)
                        ? std::malloc(sizeof(Block) + size)
                        : nullptr;
        if (!raw) {
            // The parser does not check its allocations; going on would
            // crash at a random place instead of here.
            std::fputs("wayscribe: out of memory while reading a saved page\n", stderr);
            std::abort();
        }
        auto* block = static_cast<Block*>(raw);
        block->prev = &heap->m_head;
        block->next = heap->m_head.next;
        heap->m_head.next->prev = block;
        heap->m_head.next = block;
        return block + 1;
    }
    static void Deallocate(void*, void* pointer)
    {
        if (!pointer)
            return;
        Block* block = static_cast<Block*>(pointer) - 1;
        block->prev->next = block->next;
        block->next->prev = block->prev;
        std::free(block);
    }

private:
    struct alignas(std::max_align_t) Block {
        Block* prev;
        Block* next;
    };
    Block m_head;
};

// Elements whose content a reader never sees.
bool IsHidden(GumboTag tag)
{
    switch (tag) {
        case GUMBO_TAG_HEAD:
        case GUMBO_TAG_SCRIPT:
        case GUMBO_TAG_STYLE:
        case GUMBO_TAG_NOSCRIPT:
        case GUMBO_TAG_TEMPLATE:
        case GUMBO_TAG_IFRAME:
        case GUMBO_TAG_NOFRAMES:
        case GUMBO_TAG_OBJECT:
        case GUMBO_TAG_TITLE:
            return true;
        default:
            return false;
    }
}

// Elements that stand on lines of their own.
bool IsBlock(GumboTag tag)
{
    switch (tag) {
        case GUMBO_TAG_ADDRESS:
        case GUMBO_TAG_ARTICLE:
        case GUMBO_TAG_ASIDE:
        case GUMBO_TAG_BLOCKQUOTE:
        case GUMBO_TAG_BODY:
        case GUMBO_TAG_BR:
        case GUMBO_TAG_CAPTION:
        case GUMBO_TAG_DD:
        case GUMBO_TAG_DETAILS:
        case GUMBO_TAG_DIV:
        case GUMBO_TAG_DL:
        case GUMBO_TAG_DT:
        case GUMBO_TAG_FIELDSET:
        case GUMBO_TAG_FIGCAPTION:
        case GUMBO_TAG_FIGURE:
        case GUMBO_TAG_FOOTER:
        case GUMBO_TAG_FORM:
        case GUMBO_TAG_H1:
        case GUMBO_TAG_H2:
        case GUMBO_TAG_H3:
        case GUMBO_TAG_H4:
        case GUMBO_TAG_H5:
        case GUMBO_TAG_H6:
        case GUMBO_TAG_HEADER:
        case GUMBO_TAG_HR:
        case GUMBO_TAG_LI:
        case GUMBO_TAG_MAIN:
        case GUMBO_TAG_NAV:
        case GUMBO_TAG_OL:
        case GUMBO_TAG_P:
        case GUMBO_TAG_PRE:
        case GUMBO_TAG_SECTION:
        case GUMBO_TAG_SUMMARY:
        case GUMBO_TAG_TABLE:
        case GUMBO_TAG_TR:
        case GUMBO_TAG_UL:
            return true;
        default:
            return false;
    }
}

bool IsCell(GumboTag tag)
{
    return tag == GUMBO_TAG_TD || tag == GUMBO_TAG_TH;
}

bool IsWhitespace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// Builds the text: collapsed whitespace, one line per block.
class CTextBuilder {
public:
    explicit CTextBuilder(std::string& out) : m_out(out) {}

    void Text(std::string_view text, bool preformatted)
    {
        for (std::size_t i = 0; i < text.size(); ++i) {
            char c = text[i];
            // A no-break space reads as a space.
            if (c == '\xC2' && i + 1 < text.size() && text[i + 1] == '\xA0') {
                ++i;
                c = ' ';
            }
            if (preformatted && c == '\n') {
                LineBreak();
                continue;
            }
            if (IsWhitespace(c)) {
                m_space = true;
                continue;
            }
            if (m_space && !m_out.empty() && m_out.back() != '\n')
                m_out += ' ';
            m_space = false;
            m_out += c;
        }
    }

    void Separate() { m_space = true; }

    void LineBreak()
    {
        m_space = false;
        if (!m_out.empty() && m_out.back() != '\n')
            m_out += '\n';
    }

    void Finish()
    {
        while (!m_out.empty() && (m_out.back() == '\n' || m_out.back() == ' '))
            m_out.pop_back();
    }

private:
    std::string& m_out;
    bool m_space = false;
};

std::string_view TextOf(const GumboNode& node)
{
    return node.v.text.text ? std::string_view(node.v.text.text) : std::string_view();
}

std::string CollapsedText(const GumboElement& element)
{
    std::string text;
    CTextBuilder builder(text);
    for (unsigned i = 0; i < element.children.length; ++i) {
        const auto* child = static_cast<const GumboNode*>(element.children.data[i]);
        if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_WHITESPACE ||
            child->type == GUMBO_NODE_CDATA)
            builder.Text(TextOf(*child), false);
    }
    builder.Finish();
    return text;
}

void CollectFrame(const GumboElement& element, HtmlText& result)
{
    if (const GumboAttribute* src = gumbo_get_attribute(&element.attributes, "src");
        src && src->value && src->value[0] != '\0')
        result.FrameSources.emplace_back(src->value);
}

// Elements that never hold others, or whose end tag may be left out (a
// list of "<li>" items nests nothing), do not count towards the depth.
bool CountsTowardsNesting(std::string_view name)
{
    static constexpr std::string_view kFlat[] = {
        "area",   "base",  "br",   "col",   "colgroup", "dd",     "dt",       "embed", "hr",
        "img",    "input", "li",   "link",  "meta",     "option", "optgroup", "p",     "param",
        "source", "tbody", "td",   "tfoot", "th",       "thead",  "tr",       "track", "wbr",
        "html",   "head",  "body", "rb",    "rp",       "rt",     "caption",  "frame"};
    for (std::string_view flat : kFlat) {
        if (name == flat)
            return false;
    }
    return true;
}

// Where the document's nesting, counted roughly from its tags, first passes
// kMaxHtmlNesting; npos when it never does. Script and style contents are
// skipped, as the parser skips them.
std::size_t NestingCut(std::string_view html)
{
    std::size_t depth = 0;
    std::size_t at = 0;
    while ((at = html.find('<', at)) != std::string_view::npos) {
        const std::size_t tagStart = at;
        ++at;
        const bool closing = at < html.size() && html[at] == '/';
        if (closing)
            ++at;
        std::size_t end = at;
        while (end < html.size() &&
               ((html[end] >= 'a' && html[end] <= 'z') || (html[end] >= 'A' && html[end] <= 'Z') ||
                (html[end] >= '0' && html[end] <= '9')))
            ++end;
        if (end == at)
            continue;
        std::string name(html.substr(at, end - at));
        for (char& c : name)
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        const std::size_t close = html.find('>', end);
        if (close == std::string_view::npos)
            return std::string_view::npos;
        at = close + 1;
        if (!closing && (name == "script" || name == "style")) {
            const std::size_t after = html.find("</", at);
            at = after == std::string_view::npos ? html.size() : after;
            continue;
        }
        if (!CountsTowardsNesting(name) || (!closing && html[close - 1] == '/'))
            continue;
        if (closing) {
            depth -= depth > 0 ? 1 : 0;
        } else if (++depth > kMaxHtmlNesting) {
            return tagStart;
        }
    }
    return std::string_view::npos;
}

}  // namespace

HtmlText ExtractHtmlText(std::string_view utf8, const std::atomic<bool>* stop)
{
    HtmlText result;
    if (const std::size_t cut = NestingCut(utf8); cut != std::string_view::npos) {
        utf8 = utf8.substr(0, cut);
        result.Cut = true;
    }
    CParserHeap heap;
    GumboOptions options = kGumboDefaultOptions;
    options.allocator = &CParserHeap::Allocate;
    options.deallocator = &CParserHeap::Deallocate;
    options.userdata = &heap;
    // Parse errors are not needed, and a hostile page would otherwise make
    // the parser keep one record per error.
    options.max_errors = 0;
    const GumboOutput* output =
        gumbo_parse_with_options(&options, utf8.empty() ? "" : utf8.data(), utf8.size());

    CTextBuilder builder(result.Text);
    // Each entry: the node and whether its end (rather than its start) is due.
    struct Step {
        const GumboNode* node;
        bool closing;
        bool preformatted;
    };
    std::vector<Step> stack;
    stack.push_back({output->root, false, false});
    std::size_t steps = 0;
    while (!stack.empty()) {
        // A long document must not hold up a search that is being stopped.
        if ((++steps & 1023) == 0 && stop && stop->load(std::memory_order_relaxed)) {
            result.Stopped = true;
            break;
        }
        const Step step = stack.back();
        stack.pop_back();
        const GumboNode& node = *step.node;
        if (node.type == GUMBO_NODE_TEXT || node.type == GUMBO_NODE_WHITESPACE ||
            node.type == GUMBO_NODE_CDATA) {
            // Long texts go in pieces, with a look at the stop flag between them.
            std::string_view text = TextOf(node);
            constexpr std::size_t kPiece = 1 << 16;
            while (text.size() > kPiece && !(stop && stop->load(std::memory_order_relaxed))) {
                builder.Text(text.substr(0, kPiece), step.preformatted);
                text.remove_prefix(kPiece);
            }
            builder.Text(text, step.preformatted);
            continue;
        }
        if (node.type != GUMBO_NODE_ELEMENT && node.type != GUMBO_NODE_TEMPLATE)
            continue;
        const GumboElement& element = node.v.element;
        const GumboTag tag = element.tag;
        if (step.closing) {
            if (IsBlock(tag))
                builder.LineBreak();
            else if (IsCell(tag))
                builder.Separate();
            continue;
        }
        if (tag == GUMBO_TAG_TITLE && result.Title.empty() && element.tag_namespace == GUMBO_NAMESPACE_HTML)
            result.Title = CollapsedText(element);
        if (tag == GUMBO_TAG_FRAME || tag == GUMBO_TAG_IFRAME)
            CollectFrame(element, result);
        if (tag == GUMBO_TAG_HEAD) {
            // The title is all the head shows; frames never stand there.
            for (unsigned i = 0; i < element.children.length; ++i) {
                const auto* child = static_cast<const GumboNode*>(element.children.data[i]);
                if (child->type == GUMBO_NODE_ELEMENT && child->v.element.tag == GUMBO_TAG_TITLE &&
                    result.Title.empty())
                    result.Title = CollapsedText(child->v.element);
            }
            continue;
        }
        if (IsHidden(tag))
            continue;
        if (IsBlock(tag))
            builder.LineBreak();
        else if (IsCell(tag))
            builder.Separate();
        const bool preformatted = step.preformatted || tag == GUMBO_TAG_PRE || tag == GUMBO_TAG_TEXTAREA ||
                                  tag == GUMBO_TAG_LISTING || tag == GUMBO_TAG_PLAINTEXT;
        stack.push_back({step.node, true, preformatted});
        const GumboVector& children = element.children;
        for (unsigned i = children.length; i > 0; --i)
            stack.push_back({static_cast<const GumboNode*>(children.data[i - 1]), false, preformatted});
    }
    builder.Finish();
    // The heap's destructor releases the output; see CParserHeap.
    return result;
}

}  // namespace wys::content
