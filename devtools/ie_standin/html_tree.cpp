#include "html_tree.h"

#include <algorithm>
#include <cctype>
#include <cwctype>

namespace {

bool IsVoid(const std::wstring& tag) {
    static const wchar_t* const kVoid[] = {L"area", L"base", L"br",   L"col",   L"embed", L"hr",    L"img",
                                           L"input", L"link", L"meta", L"param", L"source", L"track", L"wbr"};
    return std::any_of(std::begin(kVoid), std::end(kVoid), [&](const wchar_t* v) { return tag == v; });
}

bool IsRawText(const std::wstring& tag) {
    return tag == L"script" || tag == L"style" || tag == L"title" || tag == L"textarea";
}

// Elements a new one of the same kind closes (p, li, option...).
bool ClosesItself(const std::wstring& tag) { return tag == L"p" || tag == L"li" || tag == L"option" || tag == L"tr" || tag == L"td"; }

std::wstring Lower(std::wstring s) {
    for (wchar_t& c : s) c = static_cast<wchar_t>(std::towlower(c));
    return s;
}

class CParser {
public:
    explicit CParser(const std::wstring& s) : m_s(s) {}

    void Run(CHtmlNode& root) {
        CHtmlNode* current = &root;
        while (m_i < m_s.size()) {
            if (m_s[m_i] != L'<') {
                const std::size_t next = m_s.find(L'<', m_i);
                AddText(*current, m_s.substr(m_i, next == std::wstring::npos ? std::wstring::npos : next - m_i));
                m_i = next == std::wstring::npos ? m_s.size() : next;
                continue;
            }
            if (m_s.compare(m_i, 4, L"<!--") == 0) {
                const std::size_t end = m_s.find(L"-->", m_i + 4);
                m_i = end == std::wstring::npos ? m_s.size() : end + 3;
                continue;
            }
            if (m_s.compare(m_i, 2, L"<!") == 0 || m_s.compare(m_i, 2, L"<?") == 0) {
                const std::size_t end = m_s.find(L'>', m_i);
                m_i = end == std::wstring::npos ? m_s.size() : end + 1;
                continue;
            }
            if (m_s.compare(m_i, 2, L"</") == 0) {
                const std::size_t end = m_s.find(L'>', m_i);
                const std::wstring name = Lower(Trim(m_s.substr(m_i + 2, end == std::wstring::npos ? std::wstring::npos : end - m_i - 2)));
                m_i = end == std::wstring::npos ? m_s.size() : end + 1;
                for (CHtmlNode* n = current; n && n != &root; n = n->parent)
                    if (n->tag == name) {
                        current = n->parent;
                        break;
                    }
                continue;
            }
            if (m_i + 1 < m_s.size() && !std::iswalpha(m_s[m_i + 1])) {  // a lone '<'
                AddText(*current, L"<");
                ++m_i;
                continue;
            }
            auto node = std::make_unique<CHtmlNode>();
            const bool selfClosed = ReadTag(*node);
            if (ClosesItself(node->tag))
                for (CHtmlNode* n = current; n && n != &root; n = n->parent)
                    if (n->tag == node->tag) {
                        current = n->parent;
                        break;
                    }
            node->parent = current;
            CHtmlNode* added = node.get();
            current->children.push_back(std::move(node));
            if (IsRawText(added->tag)) {
                const std::wstring close = L"</" + added->tag;
                std::size_t end = Lower(m_s).find(close, m_i);
                if (end == std::wstring::npos) end = m_s.size();
                added->text = m_s.substr(m_i, end - m_i);
                if (added->tag == L"title" || added->tag == L"textarea") added->text = DecodeEntities(added->text);
                const std::size_t gt = m_s.find(L'>', end);
                m_i = gt == std::wstring::npos ? m_s.size() : gt + 1;
            } else if (!selfClosed && !IsVoid(added->tag)) {
                current = added;
            }
        }
    }

private:
    static std::wstring Trim(const std::wstring& s) {
        std::size_t a = 0, b = s.size();
        while (a < b && std::iswspace(s[a])) ++a;
        while (b > a && std::iswspace(s[b - 1])) --b;
        return s.substr(a, b - a);
    }

    void AddText(CHtmlNode& parent, const std::wstring& raw) {
        if (raw.empty()) return;
        if (!parent.children.empty() && parent.children.back()->IsText()) {
            parent.children.back()->text += DecodeEntities(raw);
            return;
        }
        auto text = std::make_unique<CHtmlNode>();
        text->text = DecodeEntities(raw);
        text->parent = &parent;
        parent.children.push_back(std::move(text));
    }

    // Reads "<name attr=value ...>" from m_i; true when it ends in "/>".
    bool ReadTag(CHtmlNode& node) {
        ++m_i;
        const std::size_t start = m_i;
        while (m_i < m_s.size() && !std::iswspace(m_s[m_i]) && m_s[m_i] != L'>' && m_s[m_i] != L'/') ++m_i;
        node.tag = Lower(m_s.substr(start, m_i - start));
        bool selfClosed = false;
        while (m_i < m_s.size()) {
            while (m_i < m_s.size() && std::iswspace(m_s[m_i])) ++m_i;
            if (m_i >= m_s.size()) break;
            if (m_s[m_i] == L'>') {
                ++m_i;
                break;
            }
            if (m_s[m_i] == L'/') {
                selfClosed = true;
                ++m_i;
                continue;
            }
            const std::size_t nameStart = m_i;
            while (m_i < m_s.size() && !std::iswspace(m_s[m_i]) && m_s[m_i] != L'=' && m_s[m_i] != L'>' &&
                   !(m_s[m_i] == L'/' && m_i + 1 < m_s.size() && m_s[m_i + 1] == L'>'))
                ++m_i;
            const std::wstring name = Lower(m_s.substr(nameStart, m_i - nameStart));
            std::wstring value;
            while (m_i < m_s.size() && std::iswspace(m_s[m_i])) ++m_i;
            if (m_i < m_s.size() && m_s[m_i] == L'=') {
                ++m_i;
                while (m_i < m_s.size() && std::iswspace(m_s[m_i])) ++m_i;
                if (m_i < m_s.size() && (m_s[m_i] == L'"' || m_s[m_i] == L'\'')) {
                    const wchar_t quote = m_s[m_i++];
                    const std::size_t end = m_s.find(quote, m_i);
                    value = m_s.substr(m_i, end == std::wstring::npos ? std::wstring::npos : end - m_i);
                    m_i = end == std::wstring::npos ? m_s.size() : end + 1;
                } else {
                    const std::size_t vs = m_i;
                    while (m_i < m_s.size() && !std::iswspace(m_s[m_i]) && m_s[m_i] != L'>') ++m_i;
                    value = m_s.substr(vs, m_i - vs);
                }
            }
            if (!name.empty() && !node.Attr(name)) node.attrs.emplace_back(name, DecodeEntities(value));
        }
        return selfClosed;
    }

    const std::wstring& m_s;
    std::size_t m_i = 0;
};

void Collect(CHtmlNode& node, const std::wstring& tag, std::vector<CHtmlNode*>& out) {
    for (auto& child : node.children) {
        if (child->tag == tag) out.push_back(child.get());
        Collect(*child, tag, out);
    }
}

std::wstring Escape(const std::wstring& s, bool attribute) {
    std::wstring out;
    for (wchar_t c : s) {
        if (c == L'&') out += L"&amp;";
        else if (c == L'<') out += L"&lt;";
        else if (c == L'>') out += L"&gt;";
        else if (attribute && c == L'"') out += L"&quot;";
        else out += c;
    }
    return out;
}

void Serialize(const CHtmlNode& node, std::wstring& out) {
    if (node.IsText()) {
        out += Escape(node.text, false);
        return;
    }
    out += L"<" + node.tag;
    for (const auto& [name, value] : node.attrs) out += L" " + name + L"=\"" + Escape(value, true) + L"\"";
    out += L">";
    if (IsVoid(node.tag)) return;
    out += IsRawText(node.tag) ? node.text : InnerHtml(node);
    out += L"</" + node.tag + L">";
}

}  // namespace

const std::wstring* CHtmlNode::Attr(const std::wstring& name) const {
    for (const auto& a : attrs)
        if (a.first == name) return &a.second;
    return nullptr;
}

void CHtmlNode::SetAttr(const std::wstring& name, const std::wstring& value) {
    for (auto& a : attrs)
        if (a.first == name) {
            a.second = value;
            return;
        }
    attrs.emplace_back(name, value);
}

void CHtmlNode::RemoveAttr(const std::wstring& name) {
    attrs.erase(std::remove_if(attrs.begin(), attrs.end(), [&](const auto& a) { return a.first == name; }), attrs.end());
}

std::unique_ptr<CHtmlNode> ParseHtml(const std::wstring& source) {
    auto root = std::make_unique<CHtmlNode>();
    root->tag = L"#document";
    CParser(source).Run(*root);
    return root;
}

std::vector<std::unique_ptr<CHtmlNode>> ParseFragment(const std::wstring& source) {
    CHtmlNode holder;
    holder.tag = L"#fragment";
    CParser(source).Run(holder);
    return std::move(holder.children);
}

void ReplaceChildren(CHtmlNode& node, std::vector<std::unique_ptr<CHtmlNode>> children) {
    node.children = std::move(children);
    for (auto& c : node.children) c->parent = &node;
}

CHtmlNode* FindById(CHtmlNode& root, const std::wstring& id) {
    for (auto& child : root.children) {
        const std::wstring* v = child->Attr(L"id");
        if (v && *v == id) return child.get();
        if (CHtmlNode* hit = FindById(*child, id)) return hit;
    }
    return nullptr;
}

CHtmlNode* FindFirst(CHtmlNode& root, const std::wstring& tag) {
    std::vector<CHtmlNode*> all;
    Collect(root, tag, all);
    return all.empty() ? nullptr : all.front();
}

std::vector<CHtmlNode*> FindAll(CHtmlNode& root, const std::wstring& tag) {
    std::vector<CHtmlNode*> all;
    Collect(root, tag, all);
    return all;
}

std::wstring TextOf(const CHtmlNode& node) {
    if (node.IsText()) return node.text;
    if (node.tag == L"textarea") return node.text;
    if (IsRawText(node.tag)) return {};
    std::wstring out;
    for (const auto& child : node.children) out += TextOf(*child);
    return out;
}

std::wstring InnerHtml(const CHtmlNode& node) {
    std::wstring out;
    for (const auto& child : node.children) Serialize(*child, out);
    return out;
}

std::wstring DecodeEntities(const std::wstring& s) {
    static const struct {
        const wchar_t* name;
        wchar_t ch;
    } kNamed[] = {{L"amp", L'&'}, {L"lt", L'<'}, {L"gt", L'>'}, {L"quot", L'"'}, {L"apos", L'\''}, {L"nbsp", 0xA0},
                  {L"times", 0xD7}, {L"copy", 0xA9}};
    std::wstring out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const std::size_t semi = s[i] == L'&' ? s.find(L';', i) : std::wstring::npos;
        if (semi == std::wstring::npos || semi - i > 10) {
            out += s[i];
            continue;
        }
        const std::wstring name = s.substr(i + 1, semi - i - 1);
        wchar_t ch = 0;
        if (!name.empty() && name[0] == L'#') {
            const bool hex = name.size() > 1 && (name[1] == L'x' || name[1] == L'X');
            const unsigned long v = std::wcstoul(name.c_str() + (hex ? 2 : 1), nullptr, hex ? 16 : 10);
            if (v > 0 && v < 0xFFFF) ch = static_cast<wchar_t>(v);
        } else {
            for (const auto& e : kNamed)
                if (name == e.name) ch = e.ch;
        }
        if (!ch) {
            out += s[i];
            continue;
        }
        out += ch;
        i = semi;
    }
    return out;
}

std::wstring ResolveUrl(const std::wstring& base, const std::wstring& ref) {
    const std::size_t colon = ref.find(L':');
    if (colon != std::wstring::npos && colon < ref.find_first_of(L"/?#")) return ref;  // has a scheme
    const std::size_t schemeEnd = base.find(L"://");
    if (schemeEnd == std::wstring::npos) return ref;
    const std::size_t pathStart = base.find(L'/', schemeEnd + 3);
    const std::wstring origin = base.substr(0, pathStart);
    if (ref.rfind(L"//", 0) == 0) return base.substr(0, schemeEnd + 1) + ref;
    if (!ref.empty() && ref[0] == L'/') return origin + ref;
    std::wstring path = pathStart == std::wstring::npos ? L"/" : base.substr(pathStart);
    if (!ref.empty() && (ref[0] == L'?' || ref[0] == L'#'))
        return origin + path.substr(0, path.find_first_of(ref[0] == L'?' ? L"?#" : L"#")) + ref;
    path = path.substr(0, path.find_first_of(L"?#"));
    return origin + path.substr(0, path.find_last_of(L'/') + 1) + ref;
}

namespace {

void Utf8Encode(const std::wstring& s, std::string& out) {
    static const char kHex[] = "0123456789ABCDEF";
    auto put = [&](unsigned char b) {
        if (std::isalnum(b) || b == '-' || b == '_' || b == '.' || b == '*') {
            out += static_cast<char>(b);
        } else if (b == ' ') {
            out += '+';
        } else {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 15];
        }
    };
    for (std::size_t i = 0; i < s.size(); ++i) {
        unsigned long c = s[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size()) c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
        if (c < 0x80) {
            put(static_cast<unsigned char>(c));
        } else if (c < 0x800) {
            put(static_cast<unsigned char>(0xC0 | (c >> 6)));
            put(static_cast<unsigned char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            put(static_cast<unsigned char>(0xE0 | (c >> 12)));
            put(static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F)));
            put(static_cast<unsigned char>(0x80 | (c & 0x3F)));
        } else {
            put(static_cast<unsigned char>(0xF0 | (c >> 18)));
            put(static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F)));
            put(static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F)));
            put(static_cast<unsigned char>(0x80 | (c & 0x3F)));
        }
    }
}

void CollectFields(CHtmlNode& node, std::vector<std::pair<std::wstring, std::wstring>>& fields) {
    for (auto& child : node.children) {
        CHtmlNode& n = *child;
        const std::wstring* name = n.Attr(L"name");
        if (name && !n.Attr(L"disabled")) {
            const std::wstring* type = n.Attr(L"type");
            const std::wstring kind = type ? *type : L"text";
            if (n.tag == L"input" && (kind == L"checkbox" || kind == L"radio")) {
                if (n.Attr(L"checked")) fields.emplace_back(*name, n.Attr(L"value") ? *n.Attr(L"value") : L"on");
            } else if (n.tag == L"input" && kind != L"submit" && kind != L"button" && kind != L"reset") {
                fields.emplace_back(*name, n.Attr(L"value") ? *n.Attr(L"value") : L"");
            } else if (n.tag == L"textarea") {
                fields.emplace_back(*name, n.text);
            } else if (n.tag == L"select") {
                std::vector<CHtmlNode*> options = FindAll(n, L"option");
                CHtmlNode* chosen = options.empty() ? nullptr : options.front();
                for (CHtmlNode* o : options)
                    if (o->Attr(L"selected")) chosen = o;
                if (chosen) fields.emplace_back(*name, chosen->Attr(L"value") ? *chosen->Attr(L"value") : TextOf(*chosen));
            }
        }
        if (n.tag != L"select") CollectFields(n, fields);
    }
}

}  // namespace

std::string FormQuery(CHtmlNode& form) {
    std::vector<std::pair<std::wstring, std::wstring>> fields;
    CollectFields(form, fields);
    std::string out;
    for (const auto& [name, value] : fields) {
        if (!out.empty()) out += '&';
        Utf8Encode(name, out);
        out += '=';
        Utf8Encode(value, out);
    }
    return out;
}
