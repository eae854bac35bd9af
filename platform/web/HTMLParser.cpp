#include "platform/web/HTMLParser.h"

#include <gumbo.h>

namespace platform::web {
namespace {

constexpr int kMaxDepth = 400;  // deeper nesting is dropped rather than recursed into

std::unique_ptr<HTMLNode> convert(const GumboNode* node, int depth) {
    auto out = std::make_unique<HTMLNode>();
    switch (node->type) {
        case GUMBO_NODE_TEXT:
        case GUMBO_NODE_CDATA:
        case GUMBO_NODE_WHITESPACE:
            out->kind = HTMLNode::Kind::Text;
            out->text = node->v.text.text;
            return out;
        case GUMBO_NODE_COMMENT:
            out->kind = HTMLNode::Kind::Comment;
            out->text = node->v.text.text;
            return out;
        case GUMBO_NODE_ELEMENT:
        case GUMBO_NODE_TEMPLATE:
            break;
        default:
            return nullptr;
    }
    const GumboElement& element = node->v.element;
    if (element.tag == GUMBO_TAG_UNKNOWN) {
        GumboStringPiece piece = element.original_tag;
        gumbo_tag_from_original_text(&piece);
        out->name.assign(piece.data, piece.length);
        for (char& c : out->name)
            c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    } else {
        out->name = gumbo_normalized_tagname(element.tag);
    }
    for (unsigned i = 0; i < element.attributes.length; ++i) {
        auto* attr = static_cast<const GumboAttribute*>(element.attributes.data[i]);
        out->attributes.emplace_back(attr->name, attr->value);
    }
    if (depth >= kMaxDepth) return out;
    for (unsigned i = 0; i < element.children.length; ++i) {
        auto child = convert(static_cast<const GumboNode*>(element.children.data[i]), depth + 1);
        if (child) out->children.push_back(std::move(child));
    }
    return out;
}

GumboOutput* parse(const std::string& html, GumboTag context) {
    GumboOptions options = kGumboDefaultOptions;
    options.fragment_context = context;
    options.fragment_namespace = GUMBO_NAMESPACE_HTML;
    return gumbo_parse_with_options(&options, html.data(), html.size());
}

}  // namespace

std::unique_ptr<HTMLNode> parseHTMLDocument(const std::string& html) {
    GumboOutput* output = parse(html, GUMBO_TAG_LAST);
    auto root = convert(output->root, 0);
    gumbo_destroy_output(&kGumboDefaultOptions, output);
    return root;
}

std::vector<std::unique_ptr<HTMLNode>> parseHTMLFragment(const std::string& html) {
    GumboOutput* output = parse(html, GUMBO_TAG_DIV);
    std::vector<std::unique_ptr<HTMLNode>> nodes;
    // A fragment parses under a synthetic <html> root.
    auto root = convert(output->root, 0);
    gumbo_destroy_output(&kGumboDefaultOptions, output);
    if (root) nodes = std::move(root->children);
    return nodes;
}

}  // namespace platform::web
