// Turns the HTML parser's output into the module's own node array.
#include <gumbo.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <mutex>
#include <utility>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#else
#define ASAN_POISON_MEMORY_REGION(address, size) ((void)(address), (void)(size))
#define ASAN_UNPOISON_MEMORY_REGION(address, size) ((void)(address), (void)(size))
#endif

#include "platform/com/Utf.h"
#include "platform/dom/src/DocumentTree.h"

namespace wys::dom {
namespace {

// The parser's memory. Its output is released with the heap at once: the
// parser's own release function walks the tree recursively and overflows the
// stack on deeply nested pages.
//
// Small blocks, nearly all of them, are cut one after another from chunks
// and never released singly (the parser frees mostly what it has just
// grown, so little is lost); the chunks go back to a pool that the next
// parse takes them from, already in memory. Large blocks (long texts, big
// lists) are allocated one by one and released when the parser releases
// them, so that growing one to megabytes does not leave every smaller copy
// behind.
class CParserHeap {
public:
    CParserHeap() { m_large.prev = m_large.next = &m_large; }
    ~CParserHeap()
    {
        for (Block* block = m_large.next; block != &m_large;) {
            Block* next = block->next;
            std::free(block);
            block = next;
        }
        ChunkPool& pool = Pool();
        std::lock_guard lock(pool.mutex);
        for (char* chunk : m_chunks) {
            if (pool.chunks.size() < kKeptChunks) {
                // What is read of a pooled chunk is read of a released block.
                ASAN_POISON_MEMORY_REGION(chunk, kChunkBytes);
                pool.chunks.push_back(chunk);
            } else {
                std::free(chunk);
            }
        }
    }
    CParserHeap(const CParserHeap&) = delete;
    CParserHeap& operator=(const CParserHeap&) = delete;

    static void* Allocate(void* userdata, std::size_t size)
    {
        auto* heap = static_cast<CParserHeap*>(userdata);
        void* block = size <= kLargestSmall ? heap->Cut(size) : heap->AllocateLarge(size);
        if (!block) {
            // The parser does not check its allocations; going on would
            // crash at a random place instead of here.
            std::fputs("wayscribe: out of memory while parsing HTML\n", stderr);
            std::abort();
        }
        return block;
    }
    static void Deallocate(void*, void* pointer)
    {
        if (!pointer)
            return;
        Block* block = static_cast<Block*>(pointer) - 1;
        if (!block->prev)
            return;  // cut from a chunk: it goes with the chunk
        block->prev->next = block->next;
        block->next->prev = block->prev;
        std::free(block);
    }

private:
    struct alignas(std::max_align_t) Block {
        Block* prev;  // null for a block cut from a chunk
        Block* next;
    };
    struct ChunkPool {
        std::mutex mutex;
        std::vector<char*> chunks;
    };

    static constexpr std::size_t kChunkBytes = 256 * 1024;
    static constexpr std::size_t kLargestSmall = 4096;
    // What the pool keeps between parses: enough for a page of a megabyte.
    static constexpr std::size_t kKeptChunks = 64;

    static ChunkPool& Pool()
    {
        static ChunkPool* pool = new ChunkPool;  // never destroyed: parses may run while statics end
        return *pool;
    }

    void* Cut(std::size_t size)
    {
        const std::size_t bytes =
            sizeof(Block) + (size + alignof(Block) - 1) / alignof(Block) * alignof(Block);
        if (bytes > m_left) {
            char* chunk = nullptr;
            {
                ChunkPool& pool = Pool();
                std::lock_guard lock(pool.mutex);
                if (!pool.chunks.empty()) {
                    chunk = pool.chunks.back();
                    pool.chunks.pop_back();
                }
            }
            if (chunk)
                ASAN_UNPOISON_MEMORY_REGION(chunk, kChunkBytes);
            else
                chunk = static_cast<char*>(std::malloc(kChunkBytes));
            if (!chunk)
                return nullptr;
            m_chunks.push_back(chunk);
            m_next = chunk;
            m_left = kChunkBytes;
        }
        auto* block = reinterpret_cast<Block*>(m_next);
        block->prev = block->next = nullptr;
        m_next += bytes;
        m_left -= bytes;
        return block + 1;
    }

    void* AllocateLarge(std::size_t size)
    {
        void* raw = size <= std::numeric_limits<std::size_t>::max() - sizeof(Block)
                        ? std::malloc(sizeof(Block) + size)
                        : nullptr;
        if (!raw)
            return nullptr;
        auto* block = static_cast<Block*>(raw);
        block->prev = &m_large;
        block->next = m_large.next;
        m_large.next->prev = block;
        m_large.next = block;
        return block + 1;
    }

    Block m_large;
    std::vector<char*> m_chunks;
    char* m_next = nullptr;
    std::size_t m_left = 0;
};

bool IsTagNameEnd(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == '/' || c == '>';
}

// The tag name of an element the parser does not know, from its start tag
// as written ("<My-Widget a=1>" gives "my-widget"). NUL and invalid UTF-8
// become U+FFFD, as the tokenizer makes them.
std::string UnknownTagName(const GumboStringPiece& original)
{
    std::string_view text(original.data ? original.data : "", original.data ? original.length : 0);
    if (!text.empty() && text.front() == '<')
        text.remove_prefix(1);
    if (!text.empty() && text.front() == '/')
        text.remove_prefix(1);
    std::size_t length = 0;
    while (length < text.size() && !IsTagNameEnd(text[length]))
        ++length;
    std::string name;
    for (char c : text.substr(0, length)) {
        if (c == '\0')
            name += "\xEF\xBF\xBD";
        else
            name += c;
    }
    name = Utf16ToUtf8(Utf8ToUtf16(AsciiLower(name)));
    // NOTE: The parser only makes unknown elements from start tags it has
    // read, so the name is never empty; the fallback keeps serialisation
    // well-formed should that ever change.
    return name.empty() ? std::string("unknown") : name;
}

std::string ElementName(const GumboElement& element)
{
    std::string name = element.tag == GUMBO_TAG_UNKNOWN ? UnknownTagName(element.original_tag)
                                                        : gumbo_normalized_tagname(element.tag);
    if (element.tag_namespace == GUMBO_NAMESPACE_SVG) {
        GumboStringPiece piece{name.data(), name.size()};
        if (const char* adjusted = gumbo_normalize_svg_tagname(&piece))
            name = adjusted;
    }
    return name;
}

std::string AttributeName(const GumboAttribute& attribute)
{
    std::string_view name = attribute.name;
    // The parser loses a NUL that starts an attribute name, where the HTML
    // tokenizer reads U+FFFD; an empty name would serialise as `=""`, which
    // reads back as an attribute named `=""`.
    if (name.empty())
        return "\xEF\xBF\xBD";
    switch (attribute.attr_namespace) {
        case GUMBO_ATTR_NAMESPACE_XLINK:
            return "xlink:" + std::string(name);
        case GUMBO_ATTR_NAMESPACE_XML:
            return "xml:" + std::string(name);
        case GUMBO_ATTR_NAMESPACE_XMLNS:
            return name == "xmlns" ? std::string(name) : "xmlns:" + std::string(name);
        case GUMBO_ATTR_NAMESPACE_NONE:
            break;
    }
    return std::string(name);
}

ElementNamespace NamespaceOf(GumboNamespaceEnum ns)
{
    switch (ns) {
        case GUMBO_NAMESPACE_SVG:
            return ElementNamespace::Svg;
        case GUMBO_NAMESPACE_MATHML:
            return ElementNamespace::MathMl;
        case GUMBO_NAMESPACE_HTML:
            break;
    }
    return ElementNamespace::Html;
}

const GumboVector& ChildrenOf(const GumboNode& node)
{
    return node.type == GUMBO_NODE_DOCUMENT ? node.v.document.children : node.v.element.children;
}

}  // namespace

class CDocumentTreeBuilder {
public:
    explicit CDocumentTreeBuilder(CDocumentTree& tree) : m_tree(tree) {}

    void Convert(const GumboOutput& output)
    {
        std::vector<DomNode>& nodes = m_tree.m_nodes;
        DomNode document;
        document.kind = NodeKind::Document;
        nodes.push_back(std::move(document));
        PushChildren(*output.document, 0, false);
        while (!m_pending.empty()) {
            Pending next = m_pending.back();
            m_pending.pop_back();
            Add(*next.node, next.parent, next.inert, output.root);
        }
        // Children follow their parents, so a backwards pass sees every
        // subtree's end before its parent's.
        for (std::uint32_t i = 0; i < nodes.size(); ++i)
            nodes[i].end = i + 1;
        for (std::uint32_t i = static_cast<std::uint32_t>(nodes.size()); i-- > 1;) {
            DomNode& parent = nodes[nodes[i].parent];
            parent.end = std::max(parent.end, nodes[i].end);
        }
    }

private:
    struct Pending {
        const GumboNode* node;
        std::uint32_t parent;
        bool inert;
    };

    void PushChildren(const GumboNode& node, std::uint32_t index, bool inert)
    {
        const GumboVector& children = ChildrenOf(node);
        for (unsigned i = children.length; i-- > 0;)
            m_pending.push_back({static_cast<const GumboNode*>(children.data[i]), index, inert});
    }

    void Add(const GumboNode& node, std::uint32_t parent, bool inert, const GumboNode* root)
    {
        std::vector<DomNode>& nodes = m_tree.m_nodes;
        switch (node.type) {
            case GUMBO_NODE_ELEMENT:
            case GUMBO_NODE_TEMPLATE: {
                DomNode element;
                element.ns = NamespaceOf(node.v.element.tag_namespace);
                element.inert = inert;
                element.parent = parent;
                element.text = ElementName(node.v.element);
                const GumboVector& attributes = node.v.element.attributes;
                element.attributes.reserve(attributes.length);
                for (unsigned i = 0; i < attributes.length; ++i) {
                    const auto* attribute = static_cast<const GumboAttribute*>(attributes.data[i]);
                    element.attributes.push_back({AttributeName(*attribute), attribute->value});
                }
                auto index = static_cast<std::uint32_t>(nodes.size());
                if (&node == root)
                    m_tree.m_root = index;
                nodes.push_back(std::move(element));
                PushChildren(node, index, inert || node.type == GUMBO_NODE_TEMPLATE);
                return;
            }
            case GUMBO_NODE_TEXT:
            case GUMBO_NODE_WHITESPACE:
            case GUMBO_NODE_CDATA: {
                // A text node directly after a text sibling joins it, as a
                // browser's tree never holds two adjacent text nodes after parsing.
                DomNode& last = nodes.back();
                if (last.kind == NodeKind::Text && last.parent == parent) {
                    last.text += node.v.text.text;
                    return;
                }
                AddCharacterData(NodeKind::Text, node, parent, inert);
                return;
            }
            case GUMBO_NODE_COMMENT:
                AddCharacterData(NodeKind::Comment, node, parent, inert);
                return;
            case GUMBO_NODE_DOCUMENT:
                return;
        }
    }

    void AddCharacterData(NodeKind kind, const GumboNode& node, std::uint32_t parent, bool inert)
    {
        DomNode data;
        data.kind = kind;
        data.inert = inert;
        data.parent = parent;
        data.text = node.v.text.text;
        m_tree.m_nodes.push_back(std::move(data));
    }

    CDocumentTree& m_tree;
    std::vector<Pending> m_pending;
};

CDocumentTree CDocumentTree::Parse(std::string_view html)
{
    CParserHeap heap;
    GumboOptions options = kGumboDefaultOptions;
    options.allocator = &CParserHeap::Allocate;
    options.deallocator = &CParserHeap::Deallocate;
    options.userdata = &heap;
    // Parse errors are not needed, and a hostile page would otherwise make
    // the parser keep one record per error.
    options.max_errors = 0;
    // The parser reads `length` bytes and never a terminating NUL.
    const char* text = html.empty() ? "" : html.data();
    const GumboOutput* output = gumbo_parse_with_options(&options, text, html.size());
    CDocumentTree tree;
    CDocumentTreeBuilder(tree).Convert(*output);
    const GumboDocument& document = output->document->v.document;
    if (document.has_doctype) {
        // As browsers serialise a doctype node: the identifiers that were
        // given, each quoted, so that the same layout mode reads back.
        std::string& doctype = tree.m_doctype;
        doctype = "<!DOCTYPE ";
        if (document.name)
            doctype += document.name;
        const bool hasPublic = document.public_identifier && *document.public_identifier;
        const bool hasSystem = document.system_identifier && *document.system_identifier;
        if (hasPublic)
            doctype += std::string(" PUBLIC \"") + document.public_identifier + "\"";
        else if (hasSystem)
            doctype += " SYSTEM";
        if (hasSystem)
            doctype += std::string(" \"") + document.system_identifier + "\"";
        doctype += '>';
    }
    // The heap's destructor releases the output; see CParserHeap.
    return tree;
}

}  // namespace wys::dom
