// Dialog templates written as text (the files in rc/), one statement a line:
//
//   # a comment, to the end of the line
//   DIALOG <id> <x> <y> <cx> <cy> <styles> ["caption"]
//     FONT "face" <points>
//     CONTROL <class> <id> <x> <y> <cx> <cy> <styles> ["text"]
//   END
//
// Styles are window-style names and numbers joined by '|' without spaces ("0" for none);
// WS_EX_ names go to the extended style. Texts are in double quotes with \" and \\ escapes.

#include <cctype>
#include <charconv>
#include <cstdint>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/win/dialog.h"

namespace qv::win {
namespace {

struct StyleName {
    const char* name;
    DWORD value;
    bool extended;
};

const StyleName kStyles[] = {
    {"WS_OVERLAPPED", WS_OVERLAPPED, false},
    {"WS_POPUP", WS_POPUP, false},
    {"WS_CHILD", WS_CHILD, false},
    {"WS_MINIMIZE", WS_MINIMIZE, false},
    {"WS_VISIBLE", WS_VISIBLE, false},
    {"WS_DISABLED", WS_DISABLED, false},
    {"WS_CLIPSIBLINGS", WS_CLIPSIBLINGS, false},
    {"WS_CLIPCHILDREN", WS_CLIPCHILDREN, false},
    {"WS_MAXIMIZE", WS_MAXIMIZE, false},
    {"WS_CAPTION", WS_CAPTION, false},
    {"WS_BORDER", WS_BORDER, false},
    {"WS_DLGFRAME", WS_DLGFRAME, false},
    {"WS_VSCROLL", WS_VSCROLL, false},
    {"WS_HSCROLL", WS_HSCROLL, false},
    {"WS_SYSMENU", WS_SYSMENU, false},
    {"WS_THICKFRAME", WS_THICKFRAME, false},
    {"WS_GROUP", WS_GROUP, false},
    {"WS_TABSTOP", WS_TABSTOP, false},
    {"WS_MINIMIZEBOX", WS_MINIMIZEBOX, false},
    {"WS_MAXIMIZEBOX", WS_MAXIMIZEBOX, false},
    {"WS_OVERLAPPEDWINDOW", WS_OVERLAPPEDWINDOW, false},
    {"DS_MODALFRAME", DS_MODALFRAME, false},
    {"DS_SETFONT", DS_SETFONT, false},
    {"SS_NOTIFY", SS_NOTIFY, false},
    {"WS_EX_DLGMODALFRAME", WS_EX_DLGMODALFRAME, true},
    {"WS_EX_TOPMOST", WS_EX_TOPMOST, true},
    {"WS_EX_TRANSPARENT", WS_EX_TRANSPARENT, true},
    {"WS_EX_TOOLWINDOW", WS_EX_TOOLWINDOW, true},
    {"WS_EX_WINDOWEDGE", WS_EX_WINDOWEDGE, true},
    {"WS_EX_CLIENTEDGE", WS_EX_CLIENTEDGE, true},
    {"WS_EX_CONTROLPARENT", WS_EX_CONTROLPARENT, true},
    {"WS_EX_STATICEDGE", WS_EX_STATICEDGE, true},
    {"WS_EX_APPWINDOW", WS_EX_APPWINDOW, true},
};

struct Token {
    std::string text;
    bool quoted = false;
};

// Splits a line into words and quoted texts; a '#' outside quotes ends it.
bool Tokenize(std::string_view line, std::vector<Token>* out, std::string* error)
{
    size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (c == '#') {
            break;
        } else if (c == '"') {
            Token t{"", true};
            for (++i;; ++i) {
                if (i >= line.size())
                    return (*error = "unterminated text", false);
                if (line[i] == '"')
                    break;
                if (line[i] == '\\') {
                    if (i + 1 >= line.size() || (line[i + 1] != '"' && line[i + 1] != '\\'))
                        return (*error = "unknown escape in text", false);
                    ++i;
                }
                t.text += line[i];
            }
            ++i;
            out->push_back(std::move(t));
        } else {
            const size_t start = i;
            while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i])) && line[i] != '"' && line[i] != '#')
                ++i;
            out->push_back({std::string(line.substr(start, i - start)), false});
        }
    }
    return true;
}

bool Number(const Token& t, long long min, long long max, long long* out)
{
    if (t.quoted || t.text.empty())
        return false;
    std::string_view s = t.text;
    const bool negative = s[0] == '-';
    if (negative)
        s.remove_prefix(1);
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        s.remove_prefix(2);
        base = 16;
    }
    unsigned long long v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, base);
    if (ec != std::errc() || end != s.data() + s.size() || s.empty() || v > (1ULL << 40))
        return false;
    const long long value = negative ? -static_cast<long long>(v) : static_cast<long long>(v);
    if (value < min || value > max)
        return false;
    *out = value;
    return true;
}

bool Styles(const Token& t, DWORD* style, DWORD* ex_style, std::string* error)
{
    if (t.quoted)
        return (*error = "styles expected", false);
    *style = *ex_style = 0;
    std::string_view rest = t.text;
    while (true) {
        const size_t bar = rest.find('|');
        const std::string_view part = rest.substr(0, bar);
        long long value = 0;
        bool known = false;
        for (const StyleName& s : kStyles)
            if (part == s.name) {
                (s.extended ? *ex_style : *style) |= s.value;
                known = true;
            }
        if (!known) {
            if (!Number(Token{std::string(part), false}, 0, std::numeric_limits<DWORD>::max(), &value))
                return (*error = "unknown style \"" + std::string(part) + "\"", false);
            *style |= static_cast<DWORD>(value);
        }
        if (bar == std::string_view::npos)
            return true;
        rest.remove_prefix(bar + 1);
    }
}

// <id> <x> <y> <cx> <cy> <styles> ["text"] from tokens[first] on.
bool Placement(const std::vector<Token>& tokens, size_t first, int* id, int* x, int* y, int* cx, int* cy, DWORD* style,
               DWORD* ex_style, std::string* text, std::string* error)
{
    if (tokens.size() != first + 6 && !(tokens.size() == first + 7 && tokens.back().quoted))
        return (*error = "expected id, x, y, width, height, styles and an optional quoted text", false);
    long long v[5];
    const long long mins[5] = {-1, -32768, -32768, 0, 0};
    const long long maxs[5] = {0xFFFF, 32767, 32767, 32767, 32767};
    for (int k = 0; k < 5; ++k)
        if (!Number(tokens[first + static_cast<size_t>(k)], mins[k], maxs[k], &v[k]))
            return (*error = "bad number \"" + tokens[first + static_cast<size_t>(k)].text + "\"", false);
    *id = static_cast<int>(v[0]);
    *x = static_cast<int>(v[1]);
    *y = static_cast<int>(v[2]);
    *cx = static_cast<int>(v[3]);
    *cy = static_cast<int>(v[4]);
    if (!Styles(tokens[first + 5], style, ex_style, error))
        return false;
    text->clear();
    if (tokens.size() == first + 7)
        *text = tokens.back().text;
    return true;
}

}  // namespace

bool ParseDialogTemplates(std::string_view text, std::vector<std::pair<UINT, DialogTemplate>>* out, std::string* error)
{
    std::string local_error;
    std::string& err = error ? *error : local_error;
    out->clear();
    bool open = false;
    int line_no = 0;
    size_t at = 0;
    while (at <= text.size()) {
        const size_t nl = text.find('\n', at);
        const std::string_view line = text.substr(at, nl == std::string_view::npos ? std::string_view::npos : nl - at);
        at = nl == std::string_view::npos ? text.size() + 1 : nl + 1;
        ++line_no;
        std::vector<Token> tokens;
        std::string what;
        const auto fail = [&](const std::string& why) {
            err = "line " + std::to_string(line_no) + ": " + why;
            out->clear();
            return false;
        };
        if (!Tokenize(line, &tokens, &what))
            return fail(what);
        if (tokens.empty())
            continue;
        const std::string& word = tokens[0].quoted ? std::string() : tokens[0].text;
        if (word == "DIALOG") {
            if (open)
                return fail("DIALOG inside a dialog (END missing)");
            int id = 0;
            DialogTemplate t;
            if (!Placement(tokens, 1, &id, &t.x, &t.y, &t.cx, &t.cy, &t.style, &t.ex_style, &t.caption, &what))
                return fail(what);
            if (id <= 0)
                return fail("a dialog needs a positive id");
            for (const auto& [other, unused] : *out)
                if (static_cast<int>(other) == id)
                    return fail("dialog " + std::to_string(id) + " given twice");
            out->emplace_back(static_cast<UINT>(id), std::move(t));
            open = true;
        } else if (word == "FONT") {
            long long points = 0;
            if (!open)
                return fail("FONT outside a dialog");
            if (tokens.size() != 3 || !tokens[1].quoted || !Number(tokens[2], 1, 1000, &points))
                return fail("expected FONT \"face\" points");
            out->back().second.font_face = tokens[1].text;
            out->back().second.font_points = static_cast<int>(points);
        } else if (word == "CONTROL") {
            if (!open)
                return fail("CONTROL outside a dialog");
            if (tokens.size() < 2 || tokens[1].quoted)
                return fail("CONTROL needs a class name");
            DialogItemTemplate item;
            item.class_name = tokens[1].text;
            if (!Placement(tokens, 2, &item.id, &item.x, &item.y, &item.cx, &item.cy, &item.style, &item.ex_style,
                           &item.text, &what))
                return fail(what);
            out->back().second.items.push_back(std::move(item));
        } else if (word == "END") {
            if (!open || tokens.size() != 1)
                return fail("END without a dialog");
            open = false;
        } else {
            return fail("unknown statement \"" + tokens[0].text + "\"");
        }
    }
    if (open) {
        err = "line " + std::to_string(line_no) + ": END missing";
        out->clear();
        return false;
    }
    return true;
}

bool LoadDialogTemplates(const std::string& path, std::string* error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error)
            *error = path + ": cannot be read";
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    std::vector<std::pair<UINT, DialogTemplate>> templates;
    std::string why;
    if (!ParseDialogTemplates(text.str(), &templates, &why)) {
        if (error)
            *error = path + ": " + why;
        return false;
    }
    for (auto& [id, t] : templates)
        RegisterDialogTemplate(id, std::move(t));
    return true;
}

}  // namespace qv::win
