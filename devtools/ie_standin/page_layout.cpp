#include "page_layout.h"

#include <algorithm>
#include <cwctype>

namespace {

std::wstring Trim(const std::wstring& s) {
    std::size_t a = 0, b = s.size();
    while (a < b && std::iswspace(s[a])) ++a;
    while (b > a && std::iswspace(s[b - 1])) --b;
    return s.substr(a, b - a);
}

std::wstring Lower(std::wstring s) {
    for (wchar_t& c : s) c = static_cast<wchar_t>(std::towlower(c));
    return s;
}

std::vector<std::wstring> Split(const std::wstring& s, wchar_t sep) {
    std::vector<std::wstring> parts;
    std::size_t at = 0;
    for (;;) {
        const std::size_t next = s.find(sep, at);
        parts.push_back(s.substr(at, next == std::wstring::npos ? std::wstring::npos : next - at));
        if (next == std::wstring::npos) return parts;
        at = next + 1;
    }
}

std::vector<std::wstring> Words(const std::wstring& s) {
    std::vector<std::wstring> words;
    std::wstring word;
    for (wchar_t c : s) {
        if (std::iswspace(c)) {
            if (!word.empty()) words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) words.push_back(word);
    return words;
}

void ParseDeclarations(const std::wstring& text, std::map<std::wstring, std::wstring>& props) {
    for (const std::wstring& decl : Split(text, L';')) {
        const std::size_t colon = decl.find(L':');
        if (colon == std::wstring::npos) continue;
        std::wstring value = Trim(decl.substr(colon + 1));
        if (const std::size_t bang = value.find(L"!important"); bang != std::wstring::npos)
            value = Trim(value.substr(0, bang));
        props[Lower(Trim(decl.substr(0, colon)))] = value;
    }
}

// One compound selector ("input.wide", "#panel", "a") against one element.
bool Matches(const std::wstring& simple, const CHtmlNode& node) {
    if (node.IsText()) return false;
    std::size_t at = 0;
    while (at < simple.size()) {
        const wchar_t kind = simple[at] == L'#' || simple[at] == L'.' ? simple[at] : L't';
        if (kind != L't') ++at;
        std::size_t end = at;
        while (end < simple.size() && simple[end] != L'#' && simple[end] != L'.') ++end;
        const std::wstring name = simple.substr(at, end - at);
        if (kind == L'#') {
            const std::wstring* id = node.Attr(L"id");
            if (!id || *id != name) return false;
        } else if (kind == L'.') {
            const std::wstring* cls = node.Attr(L"class");
            if (!cls) return false;
            const std::vector<std::wstring> names = Words(*cls);
            if (std::find(names.begin(), names.end(), name) == names.end()) return false;
        } else if (name != L"*" && Lower(name) != node.tag) {
            return false;
        }
        at = end;
    }
    return true;
}

bool RuleMatches(const CStyleRule& rule, const CHtmlNode& node) {
    if (rule.selector.empty() || !Matches(rule.selector.back(), node)) return false;
    const CHtmlNode* up = node.parent;
    for (std::size_t i = rule.selector.size() - 1; i-- > 0;) {
        while (up && !Matches(rule.selector[i], *up)) up = up->parent;
        if (!up) return false;
        up = up->parent;
    }
    return true;
}

// A length in pixels ("740px", "0"), or a share of `whole` ("50%"); -1 when
// the value gives none (auto, missing).
int Length(const std::map<std::wstring, std::wstring>& style, const wchar_t* name, int whole = -1) {
    const auto it = style.find(name);
    if (it == style.end()) return -1;
    const std::wstring& v = it->second;
    if (v.empty() || !(std::iswdigit(v[0]) || v[0] == L'-')) return -1;
    const int n = static_cast<int>(std::wcstol(v.c_str(), nullptr, 10));
    if (v.find(L'%') != std::wstring::npos) return whole < 0 ? -1 : whole * n / 100;
    return n;
}

struct Margins {
    int top = 0, right = 0, bottom = 0, left = 0;
};

Margins MarginsOf(const std::map<std::wstring, std::wstring>& style, int fallback) {
    Margins m{fallback, fallback, fallback, fallback};
    const auto it = style.find(L"margin");
    if (it == style.end()) return m;
    std::vector<int> v;
    for (const std::wstring& w : Words(it->second)) v.push_back(std::iswdigit(w[0]) ? std::stoi(w) : 0);
    if (v.empty()) return m;
    m.top = v[0];
    m.right = v.size() > 1 ? v[1] : v[0];
    m.bottom = v.size() > 2 ? v[2] : v[0];
    m.left = v.size() > 3 ? v[3] : m.right;
    return m;
}

long BackgroundOf(const std::map<std::wstring, std::wstring>& style) {
    for (const wchar_t* name : {L"background-color", L"background"}) {
        const auto it = style.find(name);
        if (it == style.end()) continue;
        for (const std::wstring& w : Words(it->second))
            if (const long c = ParseColour(w); c >= 0) return c;
    }
    return -1;
}

bool IsBlock(const std::wstring& tag) {
    static const wchar_t* const kBlocks[] = {L"div", L"form", L"p", L"h1", L"h2", L"h3", L"h4", L"ul", L"ol",
                                             L"li", L"table", L"tr", L"center", L"section", L"header", L"footer",
                                             L"fieldset", L"body", L"html"};
    return std::find_if(std::begin(kBlocks), std::end(kBlocks), [&](const wchar_t* t) { return tag == t; }) !=
           std::end(kBlocks);
}

bool IsHidden(const CHtmlNode& node, const std::map<std::wstring, std::wstring>& style) {
    static const wchar_t* const kUnseen[] = {L"head", L"script", L"style", L"title", L"meta", L"link", L"option"};
    if (std::find_if(std::begin(kUnseen), std::end(kUnseen), [&](const wchar_t* t) { return node.tag == t; }) !=
        std::end(kUnseen))
        return true;
    const auto display = style.find(L"display");
    if (display != style.end() && Trim(display->second) == L"none") return true;
    const std::wstring* type = node.Attr(L"type");
    return node.tag == L"input" && type && Lower(*type) == L"hidden";
}

constexpr int kTextHeight = 18;

class CLayouter {
public:
    CLayouter(CPageLayout& out, std::vector<CStyleRule> rules, const std::function<int(const std::wstring&)>& measure)
        : m_out(out), m_rules(std::move(rules)), m_measure(measure) {}

    struct Line {
        int left, right, x, y, height;
    };

    // Lays out a box's children; returns the height they take.
    int Flow(CHtmlNode& parent, const CLayoutRect& box, long colour, bool link) {
        Line line{box.x, box.x + box.w, box.x, box.y, 0};
        FlowInto(parent, box, line, colour, link);
        return line.y + line.height - box.y;
    }

private:
    void Break(Line& line) {
        if (line.x == line.left && line.height == 0) return;
        line.y += line.height;
        line.x = line.left;
        line.height = 0;
    }

    CLayoutRect Place(Line& line, int w, int h) {
        if (line.x > line.left && line.x + w > line.right) Break(line);
        CLayoutRect r{line.x, line.y, w, h};
        line.x += w;
        line.height = std::max(line.height, h);
        return r;
    }

    void FlowInto(CHtmlNode& parent, const CLayoutRect& box, Line& line, long colour, bool link) {
        for (auto& owned : parent.children) {
            CHtmlNode& child = *owned;
            if (child.IsText()) {
                for (const std::wstring& word : Words(child.text)) {
                    CLayoutItem item;
                    item.kind = CLayoutItem::Text;
                    item.node = &parent;
                    item.text = word;
                    item.colour = colour;
                    item.link = link;
                    item.rect = Place(line, m_measure(word) + m_measure(L" "), kTextHeight);
                    m_out.items.push_back(item);
                }
                continue;
            }
            const auto style = StyleOf(child, m_rules);
            if (IsHidden(child, style)) continue;
            const long own = ParseColour(style.count(L"color") ? style.at(L"color") : L"");
            const long textColour = own >= 0 ? own : colour;
            const bool inLink = link || child.tag == L"a";
            if (child.tag == L"br") {
                line.height = std::max(line.height, kTextHeight);
                Break(line);
                continue;
            }
            if (Control(child, style, line)) continue;
            const auto position = style.find(L"position");
            if (position != style.end() && Trim(position->second) == L"absolute") {
                const int left = std::max(0, Length(style, L"left", box.w));
                const int top = std::max(0, Length(style, L"top", box.h));
                CLayoutRect r{box.x + left, box.y + top, Length(style, L"width", box.w), Length(style, L"height", box.h)};
                if (r.w < 0) r.w = std::max(0, box.w - left);
                Boxed(child, style, r, textColour, inLink);
                continue;
            }
            const auto display = style.find(L"display");
            const std::wstring shown = display == style.end() ? L"" : Trim(display->second);
            if (shown == L"inline-block" || (shown.empty() && !IsBlock(child.tag) && Length(style, L"width") > 0)) {
                const Margins m = MarginsOf(style, 0);
                const int w = std::max(0, Length(style, L"width", box.w)), h = Length(style, L"height");
                CLayoutRect r = Place(line, m.left + w + m.right, std::max(0, h));
                r = Boxed(child, style, {r.x + m.left, r.y, w, h}, textColour, inLink);
                line.height = std::max(line.height, r.h);
                continue;
            }
            if (shown == L"block" || (shown.empty() && IsBlock(child.tag))) {
                Break(line);
                const int fallback = child.tag == L"h1" || child.tag == L"p" ? 8 : 0;
                const Margins m = MarginsOf(style, fallback);
                CLayoutRect r{box.x + m.left, line.y + m.top, Length(style, L"width", box.w),
                              Length(style, L"height", box.h)};
                if (r.w < 0) r.w = std::max(0, box.w - m.left - m.right);
                r = Boxed(child, style, r, textColour, inLink);
                line.y = r.y + r.h + m.bottom;
                line.x = line.left;
                line.height = 0;
                continue;
            }
            // Inline: its content joins the line.
            FlowInto(child, box, line, textColour, inLink);
        }
    }

    // A box: its background first, then its content; an unset height (-1) is
    // the content's. Returns where the box went.
    CLayoutRect Boxed(CHtmlNode& node, const std::map<std::wstring, std::wstring>& style, CLayoutRect r, long colour,
                      bool link) {
        const std::size_t index = m_out.items.size();
        CLayoutItem item;
        item.kind = CLayoutItem::Box;
        item.node = &node;
        item.background = BackgroundOf(style);
        m_out.items.push_back(item);
        CLayoutRect inner = r;
        if (inner.h < 0) inner.h = 0;
        const int used = Flow(node, inner, colour, link);
        if (r.h < 0) r.h = used;
        m_out.items[index].rect = r;
        return r;
    }

    bool Control(CHtmlNode& node, const std::map<std::wstring, std::wstring>& style, Line& line) {
        CLayoutItem item;
        item.node = &node;
        const std::wstring* typeAttr = node.Attr(L"type");
        const std::wstring type = typeAttr ? Lower(*typeAttr) : L"";
        int w = 150, h = 24;
        if (node.tag == L"select") {
            item.kind = CLayoutItem::Select;
        } else if (node.tag == L"textarea") {
            item.kind = CLayoutItem::Field;
            h = 48;
        } else if (node.tag == L"button" || (node.tag == L"input" && (type == L"submit" || type == L"button"))) {
            item.kind = CLayoutItem::Button;
            const std::wstring* value = node.Attr(L"value");
            item.text = node.tag == L"button" ? TextOf(node) : value ? *value : L"Submit";
            w = m_measure(item.text) + 24;
            h = 26;
        } else if (node.tag == L"input" && (type == L"checkbox" || type == L"radio")) {
            item.kind = CLayoutItem::Checkbox;
            w = h = 16;
        } else if (node.tag == L"input") {
            item.kind = type == L"password" ? CLayoutItem::Password : CLayoutItem::Field;
        } else {
            return false;
        }
        if (item.kind != CLayoutItem::Checkbox) {
            if (const int cw = Length(style, L"width"); cw > 0) w = cw;
            if (const int ch = Length(style, L"height"); ch > 0) h = ch;
        }
        const Margins m = MarginsOf(style, 0);
        const CLayoutRect slot = Place(line, m.left + w + m.right + 4, m.top + h + m.bottom);
        item.rect = {slot.x + m.left, slot.y + m.top, w, h};
        m_out.items.push_back(item);
        return true;
    }

    CPageLayout& m_out;
    std::vector<CStyleRule> m_rules;
    const std::function<int(const std::wstring&)>& m_measure;
};

void CollectSheets(const CHtmlNode& node, std::wstring& css) {
    if (node.tag == L"style") css += node.text + L"\n";
    for (const auto& child : node.children) CollectSheets(*child, css);
}

}  // namespace

std::vector<CStyleRule> ParseStyleSheet(const std::wstring& source) {
    std::wstring css;
    for (std::size_t at = 0; at < source.size();) {  // comments out
        const std::size_t open = source.find(L"/*", at);
        if (open == std::wstring::npos) {
            css += source.substr(at);
            break;
        }
        css += source.substr(at, open - at);
        const std::size_t close = source.find(L"*/", open + 2);
        at = close == std::wstring::npos ? source.size() : close + 2;
    }
    std::vector<CStyleRule> rules;
    for (std::size_t at = 0; at < css.size();) {
        const std::size_t open = css.find(L'{', at);
        if (open == std::wstring::npos) break;
        const std::size_t close = css.find(L'}', open);
        std::map<std::wstring, std::wstring> props;
        ParseDeclarations(css.substr(open + 1, (close == std::wstring::npos ? css.size() : close) - open - 1), props);
        for (const std::wstring& selector : Split(css.substr(at, open - at), L',')) {
            CStyleRule rule;
            for (const std::wstring& part : Words(selector)) {
                if (part == L">" || part == L"+" || part == L"~") continue;
                rule.selector.push_back(part);
                for (wchar_t c : part) rule.specificity += c == L'#' ? 100 : c == L'.' ? 10 : 0;
                if (std::iswalpha(part[0])) rule.specificity += 1;
            }
            if (rule.selector.empty() || rule.selector.back().find(L':') != std::wstring::npos) continue;
            rule.props = props;
            rules.push_back(rule);
        }
        if (close == std::wstring::npos) break;
        at = close + 1;
    }
    return rules;
}

std::map<std::wstring, std::wstring> StyleOf(const CHtmlNode& node, const std::vector<CStyleRule>& rules) {
    std::vector<const CStyleRule*> hits;
    for (const CStyleRule& rule : rules)
        if (RuleMatches(rule, node)) hits.push_back(&rule);
    std::stable_sort(hits.begin(), hits.end(),
                     [](const CStyleRule* a, const CStyleRule* b) { return a->specificity < b->specificity; });
    std::map<std::wstring, std::wstring> props;
    for (const CStyleRule* rule : hits)
        for (const auto& [name, value] : rule->props) props[name] = value;
    if (const std::wstring* own = node.Attr(L"style")) ParseDeclarations(*own, props);
    return props;
}

long ParseColour(const std::wstring& text) {
    const std::wstring v = Lower(Trim(text));
    static const std::pair<const wchar_t*, long> kNames[] = {
        {L"white", 0xFFFFFF}, {L"black", 0}, {L"red", 0x0000FF}, {L"magenta", 0xFF00FF}, {L"fuchsia", 0xFF00FF},
        {L"gray", 0x808080},  {L"grey", 0x808080}};
    for (const auto& [name, colour] : kNames)
        if (v == name) return colour;
    if (v.size() != 4 && v.size() != 7) return -1;
    if (v[0] != L'#' || !std::all_of(v.begin() + 1, v.end(), [](wchar_t c) { return std::iswxdigit(c); }))
        return -1;
    const auto hex = [&](std::size_t at, std::size_t n) {
        return static_cast<long>(std::wcstol(v.substr(at, n).c_str(), nullptr, 16));
    };
    long r, g, b;
    if (v.size() == 7) {
        r = hex(1, 2);
        g = hex(3, 2);
        b = hex(5, 2);
    } else {
        r = hex(1, 1) * 17;
        g = hex(2, 1) * 17;
        b = hex(3, 1) * 17;
    }
    return r | (g << 8) | (b << 16);
}

CHtmlNode* CPageLayout::ElementAt(int x, int y) const {
    for (auto it = items.rbegin(); it != items.rend(); ++it)
        if (it->node && it->rect.Contains(x, y)) return it->node;
    return body;
}

bool CPageLayout::Find(const CHtmlNode* node, CLayoutRect& where) const {
    for (const CLayoutItem& item : items)
        if (item.node == node) {
            where = item.rect;
            return true;
        }
    return false;
}

CPageLayout LayoutPage(CHtmlNode& root, int width, int height, const std::function<int(const std::wstring&)>& measure) {
    CPageLayout out;
    std::wstring css;
    CollectSheets(root, css);
    std::vector<CStyleRule> rules = ParseStyleSheet(css);
    CHtmlNode* html = FindFirst(root, L"html");
    out.body = FindFirst(root, L"body");
    if (!out.body) return out;
    const auto bodyStyle = StyleOf(*out.body, rules);
    long background = BackgroundOf(bodyStyle);
    if (background < 0 && html) background = BackgroundOf(StyleOf(*html, rules));
    if (background >= 0) out.background = background;
    const Margins m = MarginsOf(bodyStyle, 8);
    const long colour = ParseColour(bodyStyle.count(L"color") ? bodyStyle.at(L"color") : L"");
    CLayouter layouter(out, std::move(rules), measure);
    layouter.Flow(*out.body, {m.left, m.top, std::max(0, width - m.left - m.right), std::max(0, height - m.top - m.bottom)},
                  colour >= 0 ? colour : 0, false);
    return out;
}
