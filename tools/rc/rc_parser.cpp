#include "tools/rc/rc_parser.h"

#include <algorithm>
#include <cctype>
#include <deque>
#include <utility>

#include "tools/rc/rc_constants.h"
#include "tools/rc/rc_preprocessor.h"
#include "tools/rc/rc_text.h"

namespace qb::rc {
namespace {

constexpr int kMaxMenuDepth = 16;
constexpr int kMaxExpressionDepth = 64;

// A style expression: bits set, and bits cleared with NOT.
struct Style {
    uint32_t set = 0;
    uint32_t clear = 0;
};

bool keywordIs(const Token& t, std::string_view keyword) {
    if (t.kind != TokenKind::Identifier || t.text.size() != keyword.size()) return false;
    for (size_t i = 0; i < keyword.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(t.text[i])) != keyword[i]) return false;
    return true;
}

bool keywordIn(const Token& t, std::initializer_list<std::string_view> keywords) {
    return std::any_of(keywords.begin(), keywords.end(),
                       [&](std::string_view k) { return keywordIs(t, k); });
}

bool punctIs(const Token& t, char c) {
    return t.kind == TokenKind::Punct && t.text.size() == 1 && t.text[0] == c;
}

std::string describe(const Token& t) {
    switch (t.kind) {
    case TokenKind::End:
        return "end of file";
    case TokenKind::String:
        return "string \"" + t.text + "\"";
    default:
        return "'" + t.text + "'";
    }
}

const std::initializer_list<std::string_view> kMemoryFlags = {
    "DISCARDABLE", "MOVEABLE", "FIXED", "PURE", "IMPURE", "PRELOAD", "LOADONCALL"};
const std::initializer_list<std::string_view> kUnsupportedTypes = {
    "DIALOG", "MENUEX",      "STRINGTABLE",  "ACCELERATORS", "CURSOR",  "FONT",
    "RCDATA", "VERSIONINFO", "MESSAGETABLE", "HTML",         "TOOLBAR", "DLGINIT"};
const std::initializer_list<std::string_view> kUnsupportedControls = {
    "LISTBOX", "CHECKBOX",   "RADIOBUTTON", "AUTORADIOBUTTON",
    "STATE3",  "AUTO3STATE", "SCROLLBAR",   "PUSHBOX"};

class Parser {
public:
    Parser(const std::string& path, std::string_view text, const FileLoader& loader,
           ResourceScript* script, Diagnostic* error)
        : pp_(loader), script_(script), error_(error) {
        pp_.open(path, std::string(text));
    }

    bool run() {
        while (true) {
            const Token* t;
            if (!peek(0, &t)) return false;
            if (t->kind == TokenKind::End) return true;
            if (!statement()) return false;
        }
    }

private:
    // ---- tokens ---------------------------------------------------------------------
    bool peek(size_t ahead, const Token** token) {
        while (lookahead_.size() <= ahead) {
            Token t;
            if (!pp_.next(&t, error_)) return false;
            if (t.kind == TokenKind::End) {
                t.file = lastFile_;
                t.line = lastLine_;
            } else {
                lastFile_ = t.file;
                lastLine_ = t.line;
            }
            lookahead_.push_back(std::move(t));
        }
        *token = &lookahead_[ahead];
        return true;
    }

    bool take(Token* token) {
        const Token* t;
        if (!peek(0, &t)) return false;
        *token = std::move(lookahead_.front());
        lookahead_.pop_front();
        return true;
    }

    bool fail(const Token& at, std::string message) {
        error_->file = pp_.fileName(at.file);
        error_->line = at.line;
        error_->message = std::move(message);
        return false;
    }

    // Consumes the next token if it is the punctuation c.
    bool acceptPunct(char c, bool* accepted) {
        const Token* t;
        if (!peek(0, &t)) return false;
        *accepted = punctIs(*t, c);
        if (*accepted) lookahead_.pop_front();
        return true;
    }

    bool expectPunct(char c, const char* context) {
        Token t;
        if (!take(&t)) return false;
        if (!punctIs(t, c))
            return fail(t,
                        std::string("expected '") + c + "' " + context + ", found " + describe(t));
        return true;
    }

    bool expectComma(const char* context) { return expectPunct(',', context); }

    bool expectBegin(const char* context) {
        Token t;
        if (!take(&t)) return false;
        if (!keywordIs(t, "BEGIN") && !punctIs(t, '{'))
            return fail(t, std::string("expected BEGIN ") + context + ", found " + describe(t));
        return true;
    }

    bool atEnd(bool* end) {
        const Token* t;
        if (!peek(0, &t)) return false;
        *end = keywordIs(*t, "END") || punctIs(*t, '}');
        if (*end) lookahead_.pop_front();
        return true;
    }

    bool text(const char* context, std::u16string* out, Token* where = nullptr) {
        Token t;
        if (!take(&t)) return false;
        if (t.kind != TokenKind::String)
            return fail(t, std::string("expected a string ") + context + ", found " + describe(t));
        if (!utf8ToUtf16(t.text, out)) return fail(t, "malformed UTF-8 in string");
        if (where) *where = t;
        return true;
    }

    // ---- expressions ----------------------------------------------------------------
    bool primary(int64_t* value, int depth) {
        if (depth > kMaxExpressionDepth) {
            const Token* t;
            if (!peek(0, &t)) return false;
            return fail(*t, "expression nested too deeply");
        }
        Token t;
        if (!take(&t)) return false;
        if (t.kind == TokenKind::Number) {
            *value = t.number;
            return true;
        }
        if (punctIs(t, '-') || punctIs(t, '~')) {
            int64_t operand;
            if (!primary(&operand, depth + 1)) return false;
            *value = punctIs(t, '-') ? -operand : ~operand;
            return true;
        }
        if (punctIs(t, '(')) {
            if (!orExpression(value, depth + 1)) return false;
            return expectPunct(')', "to close the expression");
        }
        if (t.kind == TokenKind::Identifier) {
            uint32_t constant;
            if (lookupConstant(t.text, &constant)) {
                *value = constant;
                return true;
            }
            if (keywordIs(t, "NOT")) return fail(t, "NOT is only allowed in a style");
            return fail(t, "'" + t.text + "' is not defined");
        }
        return fail(t, "expected a number, found " + describe(t));
    }

    bool binary(int64_t* value, int depth, char op, bool (Parser::*operand)(int64_t*, int)) {
        if (!(this->*operand)(value, depth)) return false;
        while (true) {
            bool more;
            if (!acceptPunct(op, &more)) return false;
            if (!more) return true;
            int64_t rhs;
            if (!(this->*operand)(&rhs, depth)) return false;
            *value = op == '|' ? (*value | rhs) : (*value & rhs);
        }
    }

    bool additive(int64_t* value, int depth) {
        if (!primary(value, depth)) return false;
        while (true) {
            const Token* t;
            if (!peek(0, &t)) return false;
            if (!punctIs(*t, '+') && !punctIs(*t, '-')) return true;
            bool plus = punctIs(*t, '+');
            lookahead_.pop_front();
            int64_t rhs;
            if (!primary(&rhs, depth)) return false;
            // Kept within 32 bits so that long chains cannot overflow.
            *value = static_cast<int64_t>(
                static_cast<int32_t>(static_cast<uint32_t>(plus ? *value + rhs : *value - rhs)));
        }
    }

    bool andExpression(int64_t* value, int depth) {
        return binary(value, depth, '&', &Parser::additive);
    }
    bool orExpression(int64_t* value, int depth) {
        return binary(value, depth, '|', &Parser::andExpression);
    }

    bool number(const char* what, int64_t low, int64_t high, int64_t* value) {
        const Token* t;
        if (!peek(0, &t)) return false;
        Token start = *t;
        if (!orExpression(value, 0)) return false;
        if (*value < low || *value > high)
            return fail(start, std::string(what) + " " + std::to_string(*value) +
                                   " is out of range (" + std::to_string(low) + " to " +
                                   std::to_string(high) + ")");
        return true;
    }

    bool coordinate(const char* what, int16_t* out) {
        int64_t v;
        if (!number(what, -32768, 32767, &v)) return false;
        *out = static_cast<int16_t>(v);
        return true;
    }

    // A 32-bit value (ids, help ids); -1 stands for 0xFFFFFFFF as in C.
    bool dword(const char* what, uint32_t* out) {
        int64_t v;
        if (!number(what, INT32_MIN, UINT32_MAX, &v)) return false;
        *out = static_cast<uint32_t>(v);
        return true;
    }

    bool style(Style* out) {
        *out = Style{};
        while (true) {
            const Token* t;
            if (!peek(0, &t)) return false;
            bool negate = keywordIs(*t, "NOT");
            if (negate) lookahead_.pop_front();
            int64_t v;
            if (!(negate ? primary(&v, 0) : andExpression(&v, 0))) return false;
            (negate ? out->clear : out->set) |= static_cast<uint32_t>(v);
            bool more;
            if (!acceptPunct('|', &more)) return false;
            if (!more) return true;
        }
    }

    // ---- statements -----------------------------------------------------------------
    bool statement() {
        const Token* t;
        if (!peek(0, &t)) return false;
        if (keywordIs(*t, "LANGUAGE")) {
            lookahead_.pop_front();
            return language(&language_);
        }
        if (t->kind == TokenKind::Identifier) {
            uint32_t constant;
            const Token* after;
            Token name = *t;
            if (!lookupConstant(name.text, &constant)) {
                if (!peek(1, &after)) return false;
                if (after->kind == TokenKind::Identifier &&
                    (keywordIn(*after, {"DIALOGEX", "MENU", "ICON", "BITMAP"}) ||
                     keywordIn(*after, kUnsupportedTypes)))
                    return fail(name, "resource name '" + name.text +
                                          "' is not a defined number; use a numeric id");
                if (keywordIn(name, kUnsupportedTypes))
                    return fail(name, "'" + name.text + "' is not supported");
                return fail(name, "unknown statement '" + name.text + "'");
            }
        }
        ResourceStatement res;
        res.language = language_;
        const Token* idToken;
        if (!peek(0, &idToken)) return false;
        res.where = {pp_.fileName(idToken->file), idToken->line};
        int64_t id;
        if (!number("resource id", 1, 0xFFFF, &id)) return false;
        res.id = static_cast<uint16_t>(id);
        Token type;
        if (!take(&type)) return false;
        if (type.kind != TokenKind::Identifier)
            return fail(type, "expected a resource type after the id, found " + describe(type));
        if (keywordIn(type, kUnsupportedTypes))
            return fail(type, "resource type '" + type.text + "' is not supported");
        if (!skipMemoryFlags()) return false;
        bool ok;
        if (keywordIs(type, "DIALOGEX")) {
            res.type = kTypeDialog;
            ok = dialog(&res);
        } else if (keywordIs(type, "MENU")) {
            res.type = kTypeMenu;
            ok = menu(&res);
        } else if (keywordIs(type, "ICON") || keywordIs(type, "BITMAP")) {
            res.type = keywordIs(type, "ICON") ? kTypeIcon : kTypeBitmap;
            ok = fileResource(&res);
        } else {
            return fail(type, "unknown resource type '" + type.text + "'");
        }
        if (!ok) return false;
        script_->resources.push_back(std::move(res));
        return true;
    }

    bool skipMemoryFlags() {
        while (true) {
            const Token* t;
            if (!peek(0, &t)) return false;
            if (!keywordIn(*t, kMemoryFlags)) return true;
            lookahead_.pop_front();
        }
    }

    bool language(uint16_t* out) {
        int64_t primaryId, sub;
        if (!number("primary language", 0, 0x3FF, &primaryId) ||
            !expectComma("between the languages") || !number("sublanguage", 0, 0x3F, &sub))
            return false;
        *out = static_cast<uint16_t>((sub << 10) | primaryId);
        return true;
    }

    bool fileResource(ResourceStatement* res) {
        Token t;
        if (!take(&t)) return false;
        if (t.kind != TokenKind::String)
            return fail(t, "expected a file name in quotes, found " + describe(t));
        std::string name = t.text;
        std::replace(name.begin(), name.end(), '\\', '/');
        if (name.empty()) return fail(t, "empty file name");
        res->body = FileResource{name};
        return true;
    }

    // ---- dialogs --------------------------------------------------------------------
    bool dialog(ResourceStatement* res) {
        Dialog d;
        if (!coordinate("x", &d.x) || !expectComma("after x") || !coordinate("y", &d.y) ||
            !expectComma("after y") || !coordinate("width", &d.cx) ||
            !expectComma("after the width") || !coordinate("height", &d.cy))
            return false;
        bool more;
        if (!acceptPunct(',', &more)) return false;
        if (more && !dword("help id", &d.helpId)) return false;

        Style st, ex;
        bool gotStyle = false, gotExStyle = false, gotCaption = false, gotLanguage = false;
        while (true) {
            Token t;
            if (!take(&t)) return false;
            if (keywordIs(t, "BEGIN") || punctIs(t, '{')) break;
            if (keywordIs(t, "STYLE") || keywordIs(t, "EXSTYLE")) {
                bool& got = keywordIs(t, "STYLE") ? gotStyle : gotExStyle;
                if (got) return fail(t, t.text + " given twice");
                got = true;
                if (!style(keywordIs(t, "STYLE") ? &st : &ex)) return false;
            } else if (keywordIs(t, "CAPTION")) {
                if (gotCaption) return fail(t, "CAPTION given twice");
                gotCaption = true;
                if (!text("after CAPTION", &d.caption)) return false;
            } else if (keywordIs(t, "FONT")) {
                if (d.hasFont) return fail(t, "FONT given twice");
                if (!font(&d)) return false;
            } else if (keywordIs(t, "LANGUAGE")) {
                if (gotLanguage) return fail(t, "LANGUAGE given twice");
                gotLanguage = true;
                if (!language(&res->language)) return false;
            } else if (keywordIs(t, "CHARACTERISTICS") || keywordIs(t, "VERSION")) {
                uint32_t ignored; // not part of the template
                if (!dword(t.text.c_str(), &ignored)) return false;
            } else if (keywordIs(t, "MENU") || keywordIs(t, "CLASS")) {
                return fail(t, "dialog " + t.text + " is not supported");
            } else {
                return fail(t, "expected a dialog attribute or BEGIN, found " + describe(t));
            }
        }
        // As the Windows resource compiler: a pop-up with border and system menu unless
        // STYLE says otherwise; CAPTION brings the title bar and FONT sets DS_SETFONT.
        d.style = gotStyle ? st.set : (kWsPopup | kWsBorder | kWsSysMenu);
        if (gotCaption) d.style |= kWsCaption;
        if (d.hasFont) d.style |= kDsSetFont;
        d.style &= ~st.clear;
        d.exStyle = ex.set & ~ex.clear;

        while (true) {
            bool end;
            if (!atEnd(&end)) return false;
            if (end) break;
            if (d.controls.size() >= 0xFFFF) {
                const Token* t;
                if (!peek(0, &t)) return false;
                return fail(*t, "too many controls");
            }
            if (!control(&d)) return false;
        }
        res->body = std::move(d);
        return true;
    }

    bool font(Dialog* d) {
        int64_t size;
        if (!number("font size", 0, 0xFFFF, &size) || !expectComma("after the font size") ||
            !text("as the font name", &d->typeface))
            return false;
        d->hasFont = true;
        d->pointSize = static_cast<uint16_t>(size);
        bool more;
        int64_t v;
        if (!acceptPunct(',', &more)) return false;
        if (!more) return true;
        if (!number("font weight", 0, 0xFFFF, &v)) return false;
        d->weight = static_cast<uint16_t>(v);
        if (!acceptPunct(',', &more)) return false;
        if (!more) return true;
        if (!number("italic flag", 0, 0xFF, &v)) return false;
        d->italic = static_cast<uint8_t>(v);
        if (!acceptPunct(',', &more)) return false;
        if (!more) return true;
        if (!number("character set", 0, 0xFF, &v)) return false;
        d->charset = static_cast<uint8_t>(v);
        return true;
    }

    bool rectangle(DialogControl* c) {
        return coordinate("x", &c->x) && expectComma("after x") && coordinate("y", &c->y) &&
               expectComma("after y") && coordinate("width", &c->cx) &&
               expectComma("after the width") && coordinate("height", &c->cy);
    }

    // [, style [, exstyle [, helpid]]]
    bool trailingStyles(DialogControl* c, Style* st, Style* ex, bool withStyle) {
        bool more;
        if (withStyle) {
            if (!acceptPunct(',', &more)) return false;
            if (!more) return true;
            if (!style(st)) return false;
        }
        if (!acceptPunct(',', &more)) return false;
        if (!more) return true;
        if (!style(ex)) return false;
        if (!acceptPunct(',', &more)) return false;
        if (!more) return true;
        return dword("help id", &c->helpId);
    }

    // A control's title: a string, or a number standing for a resource ordinal.
    bool titleOrOrdinal(NameOrOrdinal* out) {
        const Token* t;
        if (!peek(0, &t)) return false;
        if (t->kind == TokenKind::String) return text("", &out->text);
        int64_t v;
        if (!number("resource ordinal", 0, 0xFFFF, &v)) return false;
        out->isOrdinal = true;
        out->ordinal = static_cast<uint16_t>(v);
        return true;
    }

    bool control(Dialog* d) {
        Token kw;
        if (!take(&kw)) return false;
        if (kw.kind == TokenKind::End) return fail(kw, "unexpected end of file: END missing");
        DialogControl c;
        Style st, ex;
        uint32_t defaults = kWsChild | kWsVisible;
        uint16_t atom = 0;
        if (keywordIn(kw, {"LTEXT", "RTEXT", "CTEXT", "PUSHBUTTON", "DEFPUSHBUTTON", "GROUPBOX",
                           "AUTOCHECKBOX"})) {
            if (!text("as the control text", &c.title.text) || !expectComma("after the text") ||
                !dword("control id", &c.id) || !expectComma("after the id") || !rectangle(&c) ||
                !trailingStyles(&c, &st, &ex, true))
                return false;
            if (keywordIs(kw, "LTEXT")) defaults |= kSsLeft | kWsGroup;
            if (keywordIs(kw, "RTEXT")) defaults |= kSsRight | kWsGroup;
            if (keywordIs(kw, "CTEXT")) defaults |= kSsCenter | kWsGroup;
            if (keywordIs(kw, "PUSHBUTTON")) defaults |= kBsPushButton | kWsTabStop;
            if (keywordIs(kw, "DEFPUSHBUTTON")) defaults |= kBsDefPushButton | kWsTabStop;
            if (keywordIs(kw, "GROUPBOX")) defaults |= kBsGroupBox;
            if (keywordIs(kw, "AUTOCHECKBOX")) defaults |= kBsAutoCheckBox | kWsTabStop;
            atom = keywordIn(kw, {"LTEXT", "RTEXT", "CTEXT"}) ? kAtomStatic : kAtomButton;
        } else if (keywordIn(kw, {"EDITTEXT", "COMBOBOX"})) {
            if (!dword("control id", &c.id) || !expectComma("after the id") || !rectangle(&c) ||
                !trailingStyles(&c, &st, &ex, true))
                return false;
            if (keywordIs(kw, "EDITTEXT")) {
                atom = kAtomEdit;
                defaults |= kWsBorder | kWsTabStop;
            } else {
                atom = kAtomComboBox;
                defaults |= kWsTabStop;
                if ((st.set & kCbsTypeMask) == 0) defaults |= kCbsSimple;
            }
        } else if (keywordIs(kw, "ICON")) {
            if (!titleOrOrdinal(&c.title) || !expectComma("after the icon") ||
                !dword("control id", &c.id) || !expectComma("after the id") ||
                !coordinate("x", &c.x) || !expectComma("after x") || !coordinate("y", &c.y))
                return false;
            bool more;
            if (!acceptPunct(',', &more)) return false;
            if (more) {
                if (!coordinate("width", &c.cx) || !expectComma("after the width") ||
                    !coordinate("height", &c.cy) || !trailingStyles(&c, &st, &ex, true))
                    return false;
            }
            atom = kAtomStatic;
            defaults |= kSsIcon;
        } else if (keywordIs(kw, "CONTROL")) {
            if (!titleOrOrdinal(&c.title) || !expectComma("after the text") ||
                !dword("control id", &c.id) || !expectComma("after the id"))
                return false;
            Token cls;
            if (!take(&cls)) return false;
            if (cls.kind != TokenKind::String)
                return fail(cls, "expected a class name in quotes, found " + describe(cls));
            atom = classAtom(cls.text);
            if (atom == 0 && !utf8ToUtf16(cls.text, &c.windowClass.text))
                return fail(cls, "malformed UTF-8 in string");
            if (atom == 0 && c.windowClass.text.empty()) return fail(cls, "empty class name");
            if (!expectComma("after the class") || !style(&st) || !expectComma("after the style") ||
                !rectangle(&c) || !trailingStyles(&c, &st, &ex, false))
                return false;
        } else if (keywordIn(kw, kUnsupportedControls)) {
            return fail(kw, "control '" + kw.text + "' is not supported");
        } else {
            return fail(kw, "unknown control statement " + describe(kw));
        }
        if (atom != 0) {
            c.windowClass.isOrdinal = true;
            c.windowClass.ordinal = atom;
        }
        c.style = (st.set | defaults) & ~st.clear;
        c.exStyle = ex.set & ~ex.clear;
        d->controls.push_back(std::move(c));
        return true;
    }

    // ---- menus ----------------------------------------------------------------------
    bool menu(ResourceStatement* res) {
        const Token* t;
        if (!peek(0, &t)) return false;
        if (keywordIs(*t, "LANGUAGE")) {
            lookahead_.pop_front();
            if (!language(&res->language)) return false;
        }
        if (!peek(0, &t)) return false;
        Token start = *t;
        if (!expectBegin("to open the menu")) return false;
        Menu m;
        if (!menuItems(&m.items, 0)) return false;
        if (m.items.empty()) return fail(start, "a menu needs at least one item");
        res->body = std::move(m);
        return true;
    }

    bool menuOptions(uint16_t* flags) {
        struct Option {
            std::string_view name;
            uint16_t flag;
        };
        static constexpr Option kOptions[] = {
            {"GRAYED", kMfGrayed},       {"INACTIVE", kMfDisabled},
            {"CHECKED", kMfChecked},     {"MENUBARBREAK", kMfMenuBarBreak},
            {"MENUBREAK", kMfMenuBreak}, {"HELP", kMfHelp},
        };
        while (true) {
            const Token* t;
            if (!peek(0, &t)) return false;
            size_t at = punctIs(*t, ',') ? 1 : 0;
            if (!peek(at, &t)) return false;
            auto option = std::find_if(std::begin(kOptions), std::end(kOptions),
                                       [&](const Option& o) { return keywordIs(*t, o.name); });
            if (option == std::end(kOptions)) {
                if (at == 1) return fail(*t, "unknown menu option " + describe(*t));
                return true;
            }
            *flags |= option->flag;
            lookahead_.erase(lookahead_.begin(),
                             lookahead_.begin() + static_cast<std::ptrdiff_t>(at + 1));
        }
    }

    bool menuItems(std::vector<MenuItem>* items, int depth) {
        while (true) {
            bool end;
            if (!atEnd(&end)) return false;
            if (end) return true;
            Token kw;
            if (!take(&kw)) return false;
            if (kw.kind == TokenKind::End) return fail(kw, "unexpected end of file: END missing");
            MenuItem item;
            if (keywordIs(kw, "MENUITEM")) {
                const Token* t;
                if (!peek(0, &t)) return false;
                if (keywordIs(*t, "SEPARATOR")) {
                    lookahead_.pop_front();
                    item.isSeparator = true;
                } else {
                    int64_t id;
                    if (!text("as the item text", &item.text) || !expectComma("after the text") ||
                        !number("menu item id", 0, 0xFFFF, &id) || !menuOptions(&item.flags))
                        return false;
                    item.id = static_cast<uint16_t>(id);
                }
            } else if (keywordIs(kw, "POPUP")) {
                if (depth + 1 >= kMaxMenuDepth) return fail(kw, "menu nested too deeply");
                item.isPopup = true;
                if (!text("as the pop-up text", &item.text) || !menuOptions(&item.flags) ||
                    !expectBegin("to open the pop-up") || !menuItems(&item.children, depth + 1))
                    return false;
                if (item.children.empty()) return fail(kw, "a POPUP needs at least one item");
            } else {
                return fail(kw, "expected MENUITEM, POPUP or END, found " + describe(kw));
            }
            items->push_back(std::move(item));
        }
    }

    Preprocessor pp_;
    ResourceScript* script_;
    Diagnostic* error_;
    std::deque<Token> lookahead_;
    uint16_t language_ = kDefaultLanguage;
    int lastFile_ = 0;
    int lastLine_ = 1;
};

} // namespace

bool parseResourceScript(const std::string& path, std::string_view text, const FileLoader& loader,
                         ResourceScript* script, Diagnostic* error) {
    *script = ResourceScript{};
    *error = Diagnostic{};
    Parser parser(path, text, loader, script, error);
    return parser.run();
}

} // namespace qb::rc
