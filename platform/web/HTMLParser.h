#pragma once
// HTML text parsed into a small tree of elements and texts (gumbo underneath). Any input
// parses: text that is not HTML becomes text nodes. Pure functions; any thread.

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace platform::web {

struct HTMLNode {
    enum class Kind { Element, Text, Comment };
    Kind kind = Kind::Element;
    std::string name;  // lower-case tag name of an element
    std::string text;  // a text's or comment's content
    std::vector<std::pair<std::string, std::string>> attributes;
    std::vector<std::unique_ptr<HTMLNode>> children;
};

// A whole document: the <html> element with its <head> and <body>.
std::unique_ptr<HTMLNode> parseHTMLDocument(const std::string& html);
// What innerHTML sets: the nodes as children of a <div>.
std::vector<std::unique_ptr<HTMLNode>> parseHTMLFragment(const std::string& html);

}  // namespace platform::web
