// The stand-in browser's page model: an HTML source parsed into a tree of
// elements and text, tolerant as browsers are (unclosed elements, bare
// attributes, raw-text elements), with what its document model needs:
// lookups by id and tag, text content and markup of a subtree. No Windows
// dependency: it builds natively too.
#pragma once
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct CHtmlNode {
    std::wstring tag;  // lower case; empty for a text node
    std::vector<std::pair<std::wstring, std::wstring>> attrs;  // names lower case, values decoded
    std::wstring text;  // a text node's text, or a raw-text element's content (script, style...)
    std::vector<std::unique_ptr<CHtmlNode>> children;
    CHtmlNode* parent = nullptr;

    bool IsText() const { return tag.empty(); }
    const std::wstring* Attr(const std::wstring& name) const;
    void SetAttr(const std::wstring& name, const std::wstring& value);
    void RemoveAttr(const std::wstring& name);
};

// The whole document: a root holding <html> and whatever sits beside it.
std::unique_ptr<CHtmlNode> ParseHtml(const std::wstring& source);
// Nodes parsed from a fragment, for innerHTML.
std::vector<std::unique_ptr<CHtmlNode>> ParseFragment(const std::wstring& source);
void ReplaceChildren(CHtmlNode& node, std::vector<std::unique_ptr<CHtmlNode>> children);

CHtmlNode* FindById(CHtmlNode& root, const std::wstring& id);
CHtmlNode* FindFirst(CHtmlNode& root, const std::wstring& tag);
std::vector<CHtmlNode*> FindAll(CHtmlNode& root, const std::wstring& tag);
// The text a subtree shows (raw-text elements other than <textarea> not included).
std::wstring TextOf(const CHtmlNode& node);
std::wstring InnerHtml(const CHtmlNode& node);
std::wstring DecodeEntities(const std::wstring& s);

// An address a page gives (href, action, location), made whole against the
// page's own.
std::wstring ResolveUrl(const std::wstring& base, const std::wstring& ref);
// A form's fields as "name=value&..." (UTF-8, percent-encoded), as a
// browser submits them.
std::string FormQuery(CHtmlNode& form);
