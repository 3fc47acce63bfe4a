// The resource-script reader behind the simulated dialogs and icons, and the program's one script;
// see dialog_templates.h.
#include "platform/sim/dialog_templates.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/sim/sim.h"
#include "platform/sim/ui.h"

namespace sim {
namespace {

// Style names the installer's scripts may use, with their Windows SDK values.
const std::map<std::string, DWORD>& StyleNames() {
  static const auto* names = new std::map<std::string, DWORD>{
      {"WS_OVERLAPPED", 0x00000000},
      {"WS_POPUP", 0x80000000},
      {"WS_CHILD", 0x40000000},
      {"WS_MINIMIZE", 0x20000000},
      {"WS_VISIBLE", 0x10000000},
      {"WS_DISABLED", 0x08000000},
      {"WS_CLIPSIBLINGS", 0x04000000},
      {"WS_CLIPCHILDREN", 0x02000000},
      {"WS_MAXIMIZE", 0x01000000},
      {"WS_CAPTION", 0x00C00000},
      {"WS_BORDER", 0x00800000},
      {"WS_DLGFRAME", 0x00400000},
      {"WS_VSCROLL", 0x00200000},
      {"WS_HSCROLL", 0x00100000},
      {"WS_SYSMENU", 0x00080000},
      {"WS_THICKFRAME", 0x00040000},
      {"WS_GROUP", 0x00020000},
      {"WS_TABSTOP", 0x00010000},
      {"WS_MINIMIZEBOX", 0x00020000},
      {"WS_MAXIMIZEBOX", 0x00010000},
      {"WS_OVERLAPPEDWINDOW", 0x00CF0000},
      {"WS_POPUPWINDOW", 0x80880000},
      {"DS_ABSALIGN", 0x01},
      {"DS_SYSMODAL", 0x02},
      {"DS_3DLOOK", 0x04},
      {"DS_FIXEDSYS", 0x08},
      {"DS_NOFAILCREATE", 0x10},
      {"DS_LOCALEDIT", 0x20},
      {"DS_SETFONT", 0x40},
      {"DS_MODALFRAME", 0x80},
      {"DS_NOIDLEMSG", 0x100},
      {"DS_SETFOREGROUND", 0x200},
      {"DS_CONTROL", 0x400},
      {"DS_CENTER", 0x800},
      {"DS_CENTERMOUSE", 0x1000},
      {"DS_CONTEXTHELP", 0x2000},
      {"DS_SHELLFONT", 0x48},
      {"SS_LEFT", 0x0},
      {"SS_CENTER", 0x1},
      {"SS_RIGHT", 0x2},
      {"SS_ICON", 0x3},
      {"SS_NOPREFIX", 0x80},
      {"SS_SUNKEN", 0x1000},
      {"SS_LEFTNOWORDWRAP", 0xC},
      {"ES_LEFT", 0x0},
      {"ES_CENTER", 0x1},
      {"ES_RIGHT", 0x2},
      {"ES_MULTILINE", 0x4},
      {"ES_UPPERCASE", 0x8},
      {"ES_LOWERCASE", 0x10},
      {"ES_PASSWORD", 0x20},
      {"ES_AUTOVSCROLL", 0x40},
      {"ES_AUTOHSCROLL", 0x80},
      {"ES_NOHIDESEL", 0x100},
      {"ES_READONLY", 0x800},
      {"ES_WANTRETURN", 0x1000},
      {"ES_NUMBER", 0x2000},
      {"BS_PUSHBUTTON", 0x0},
      {"BS_DEFPUSHBUTTON", 0x1},
      {"BS_CHECKBOX", 0x2},
      {"BS_AUTOCHECKBOX", 0x3},
      {"BS_RADIOBUTTON", 0x4},
      {"BS_GROUPBOX", 0x7},
      {"BS_AUTORADIOBUTTON", 0x9},
      {"WS_EX_DLGMODALFRAME", 0x1},
      {"WS_EX_NOPARENTNOTIFY", 0x4},
      {"WS_EX_TOPMOST", 0x8},
      {"WS_EX_TRANSPARENT", 0x20},
      {"WS_EX_TOOLWINDOW", 0x80},
      {"WS_EX_WINDOWEDGE", 0x100},
      {"WS_EX_CLIENTEDGE", 0x200},
      {"WS_EX_CONTEXTHELP", 0x400},
      {"WS_EX_STATICEDGE", 0x20000},
      {"WS_EX_APPWINDOW", 0x40000},
      {"WS_EX_CONTROLPARENT", 0x10000},
      {"IDOK", 1},
      {"IDCANCEL", 2},
      {"IDC_STATIC", static_cast<DWORD>(-1)},
  };
  return *names;
}

enum class Kind { kName, kNumber, kString, kPunct, kEnd };
struct Token {
  Kind kind = Kind::kEnd;
  std::string text;  // names, punctuation; strings without quotes, escapes resolved
  int64_t number = 0;
  int line = 0;
};

class Reader {
 public:
  Reader(const IncludeOpener& open, ResourceScript* out) : open_(open), out_(out) {}

  // Splits the text into tokens, running preprocessor lines as they come.
  void Tokenize(const std::string& text, int depth) {
    size_t i = 0;
    int line = 1;
    bool lineStart = true;
    while (i < text.size()) {
      char c = text[i];
      if (c == '\n') {
        ++line, ++i, lineStart = true;
        continue;
      }
      if (std::isspace(static_cast<unsigned char>(c))) {
        ++i;
        continue;
      }
      if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
        while (i < text.size() && text[i] != '\n') ++i;
        continue;
      }
      if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
        size_t end = text.find("*/", i + 2);
        end = end == std::string::npos ? text.size() : end + 2;
        for (size_t k = i; k < end; ++k) line += text[k] == '\n';
        i = end;
        continue;
      }
      if (c == '#' && lineStart) {
        size_t end = text.find('\n', i);
        if (end == std::string::npos) end = text.size();
        Directive(text.substr(i + 1, end - i - 1), line, depth);
        i = end;
        continue;
      }
      lineStart = false;
      Token t;
      t.line = line;
      if (c == '"') {
        t.kind = Kind::kString;
        ++i;
        while (i < text.size()) {
          char d = text[i++];
          if (d == '"') {
            if (i < text.size() && text[i] == '"') {  // "" stands for one quote
              t.text += '"', ++i;
              continue;
            }
            break;
          }
          if (d == '\\' && i < text.size()) {
            char e = text[i++];
            t.text += e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e;
            continue;
          }
          if (d == '\n') ++line;
          t.text += d;
        }
      } else if (std::isdigit(static_cast<unsigned char>(c))) {
        t.kind = Kind::kNumber;
        char* end = nullptr;
        t.number = std::strtoll(text.c_str() + i, &end, 0);
        i = static_cast<size_t>(end - text.c_str());
        while (i < text.size() &&
               (text[i] == 'L' || text[i] == 'l' || text[i] == 'U' || text[i] == 'u'))
          ++i;
      } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
        t.kind = Kind::kName;
        while (i < text.size() &&
               (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '_'))
          t.text += text[i++];
      } else {
        t.kind = Kind::kPunct;
        t.text = std::string(1, c);
        ++i;
      }
      tokens_.push_back(t);
    }
  }

  void Parse() {
    while (!AtEnd()) {
      const Token& t = Peek();
      if (IsBlockStart(t)) {
        SkipBlock();
        continue;
      }
      if ((t.kind == Kind::kName || t.kind == Kind::kNumber) && Peek(1).kind == Kind::kName) {
        const std::string& type = Peek(1).text;
        if (type == "DIALOGEX" || type == "DIALOG") {
          ParseDialog();
          continue;
        }
        if (type == "ICON") {
          int64_t id = 0;
          if (Value(t, &id)) out_->icons.push_back(static_cast<int>(id));
          pos_ += 2;
          continue;
        }
      }
      ++pos_;
    }
  }

 private:
  void Directive(const std::string& body, int line, int depth) {
    Reader words(open_, out_);
    size_t i = body.find_first_not_of(" \t");
    if (i == std::string::npos) return;
    size_t j = body.find_first_of(" \t", i);
    std::string word = body.substr(i, j == std::string::npos ? std::string::npos : j - i);
    std::string rest = j == std::string::npos ? "" : body.substr(j);
    if (word == "define") {
      words.Tokenize(rest, depth);
      if (words.tokens_.empty() || words.tokens_[0].kind != Kind::kName) return;
      std::string name = words.tokens_[0].text;
      words.tokens_.erase(words.tokens_.begin());
      words.defines_ = defines_;
      if (words.tokens_.empty()) {
        defines_[name] = 0;
        return;
      }
      int64_t value = 0;
      // Definitions that are not numbers (strings, macros with arguments) play no part here.
      if (words.Expression(&value) && words.AtEnd()) defines_[name] = value;
    } else if (word == "include") {
      size_t open = rest.find('"');
      if (open == std::string::npos) return;  // <system header>: style names are built in
      size_t close = rest.find('"', open + 1);
      std::string name = rest.substr(open + 1, close - open - 1);
      std::optional<std::string> content = open_ ? open_(name) : std::nullopt;
      if (!content) {
        Error(line, "cannot open include file \"" + name + "\"");
      } else if (depth > 8) {
        Error(line, "includes nested too deeply");
      } else {
        Tokenize(*content, depth + 1);
      }
    }
  }

  void Error(int line, const std::string& text) {
    out_->errors.push_back("line " + std::to_string(line) + ": " + text);
  }

  bool AtEnd() const { return pos_ >= tokens_.size(); }
  const Token& Peek(size_t ahead = 0) const {
    static const Token end;
    return pos_ + ahead < tokens_.size() ? tokens_[pos_ + ahead] : end;
  }
  const Token& Next() {
    const Token& t = Peek();
    if (!AtEnd()) ++pos_;
    return t;
  }
  bool IsName(const Token& t, const char* name) const {
    return t.kind == Kind::kName && t.text == name;
  }
  bool IsPunct(const Token& t, char c) const {
    return t.kind == Kind::kPunct && t.text.size() == 1 && t.text[0] == c;
  }
  bool IsBlockStart(const Token& t) const { return IsName(t, "BEGIN") || IsPunct(t, '{'); }
  bool IsBlockEnd(const Token& t) const { return IsName(t, "END") || IsPunct(t, '}'); }
  void SkipBlock() {
    int depth = 0;
    do {
      const Token& t = Next();
      if (IsBlockStart(t)) ++depth;
      if (IsBlockEnd(t)) --depth;
    } while (depth > 0 && !AtEnd());
  }
  bool Comma() {
    if (!IsPunct(Peek(), ',')) return false;
    ++pos_;
    return true;
  }

  bool Value(const Token& t, int64_t* value) const {
    if (t.kind == Kind::kNumber) {
      *value = t.number;
      return true;
    }
    if (t.kind != Kind::kName) return false;
    auto d = defines_.find(t.text);
    if (d != defines_.end()) {
      *value = d->second;
      return true;
    }
    auto s = StyleNames().find(t.text);
    if (s == StyleNames().end()) return false;
    *value = static_cast<int32_t>(s->second);
    return true;
  }

  // term ('|' term)* where term is [NOT] ('-' | '~')? (number | name | '(' expression ')').
  // NOT clears its bits from what stands before it, the seed (a control's default style)
  // included, as the resource compiler does.
  bool Expression(int64_t* value, std::optional<int64_t> seed = std::nullopt) {
    int64_t result = seed.value_or(0);
    bool first = !seed;
    for (;;) {
      bool negate = false;
      if (IsName(Peek(), "NOT")) negate = true, ++pos_;
      int64_t term = 0;
      if (!Term(&term)) return false;
      if (negate) {
        result &= ~term;
      } else {
        result = first ? term : (result | term);
      }
      first = false;
      if (!IsPunct(Peek(), '|')) break;
      ++pos_;
    }
    *value = result;
    return true;
  }
  bool Term(int64_t* value) {
    const Token& t = Peek();
    if (IsPunct(t, '-') || IsPunct(t, '~')) {
      bool minus = IsPunct(t, '-');
      ++pos_;
      int64_t inner = 0;
      if (!Term(&inner)) return false;
      *value = minus ? -inner : ~inner;
      return true;
    }
    if (IsPunct(t, '(')) {
      ++pos_;
      if (!Expression(value) || !IsPunct(Peek(), ')')) return false;
      ++pos_;
      return true;
    }
    if (!Value(t, value)) return false;
    ++pos_;
    return true;
  }
  bool Int(int* value) {
    int64_t v = 0;
    if (!Expression(&v)) return false;
    *value = static_cast<int>(v);
    return true;
  }
  bool Style(DWORD* value) {
    int64_t v = 0;
    if (!Expression(&v)) return false;
    *value = static_cast<DWORD>(v);
    return true;
  }

  void ParseDialog() {
    DialogTemplate d;
    const Token& name = Next();
    int line = name.line;
    int64_t id = 0;
    if (Value(name, &id)) {
      d.id = static_cast<int>(id);
    } else {
      d.name = Utf16(name.text);
    }
    d.extended = Next().text == "DIALOGEX";
    if (!Int(&d.x) || !Comma() || !Int(&d.y) || !Comma() || !Int(&d.cx) || !Comma() ||
        !Int(&d.cy)) {
      Error(line, "dialog box expected after " + name.text);
      return Recover();
    }
    int helpId = 0;
    if (Comma()) Int(&helpId);
    // What the resource compiler gives a dialog whose script has no STYLE statement.
    d.style = WS_POPUP | WS_BORDER | WS_SYSMENU;
    bool hasCaption = false;
    while (!AtEnd() && !IsBlockStart(Peek())) {
      const Token& word = Next();
      bool ok = true;
      if (IsName(word, "STYLE")) {
        ok = Style(&d.style);
      } else if (IsName(word, "EXSTYLE")) {
        ok = Style(&d.exStyle);
      } else if (IsName(word, "CAPTION")) {
        ok = Peek().kind == Kind::kString;
        if (ok) d.caption = Utf16(Next().text), hasCaption = true;
      } else if (IsName(word, "FONT")) {
        ok = Int(&d.fontSize) && Comma() && Peek().kind == Kind::kString;
        if (ok) d.fontFace = Utf16(Next().text);
        int italic = 0;
        if (ok && Comma()) ok = Int(&d.fontWeight);
        if (ok && Comma()) ok = Int(&italic);
        if (ok && Comma()) ok = Int(&d.fontCharset);
        d.fontItalic = italic != 0;
      } else if (IsName(word, "LANGUAGE")) {
        int a = 0, b = 0;
        ok = Int(&a) && Comma() && Int(&b);
      } else if (IsName(word, "MENU") || IsName(word, "CLASS") || IsName(word, "CHARACTERISTICS") ||
                 IsName(word, "VERSION")) {
        Next();
      } else {
        ok = false;
      }
      if (!ok) {
        Error(word.line, "unexpected '" + word.text + "' in dialog " + name.text);
        return Recover();
      }
    }
    if (hasCaption) d.style |= WS_CAPTION;
    if (!d.fontFace.empty()) d.style |= DS_SETFONT;
    if (AtEnd()) {
      Error(line, "dialog " + name.text + " has no BEGIN");
      return;
    }
    Next();  // BEGIN
    while (!AtEnd() && !IsBlockEnd(Peek())) {
      const Token& word = Next();
      DialogItemTemplate item;
      if (!ParseItem(word, &item)) {
        Error(word.line, "cannot read control '" + word.text + "' in dialog " + name.text);
        return SkipRestOfBlock();
      }
      d.items.push_back(std::move(item));
    }
    Next();  // END
    out_->dialogs.push_back(std::move(d));
  }

  // After an error inside a dialog's BEGIN ... END: pass over what is left of it.
  void SkipRestOfBlock() {
    int depth = 1;
    while (!AtEnd() && depth > 0) {
      const Token& t = Next();
      if (IsBlockStart(t)) ++depth;
      if (IsBlockEnd(t)) --depth;
    }
  }

  // After an error before the dialog's items: pass over the rest of it, its block included.
  void Recover() {
    while (!AtEnd() && !IsBlockStart(Peek())) ++pos_;
    SkipBlock();
  }

  bool Text(std::u16string* text) {
    if (Peek().kind == Kind::kString) {
      *text = Utf16(Next().text);
      return true;
    }
    int64_t ordinal = 0;  // an ordinal (ICON controls)
    if (!Expression(&ordinal)) return false;
    *text = Utf16("#" + std::to_string(ordinal));
    return true;
  }
  bool Box(DialogItemTemplate* item) {
    return Int(&item->x) && Comma() && Int(&item->y) && Comma() && Int(&item->cx) && Comma() &&
           Int(&item->cy);
  }
  // Optional ", style [, exstyle]" after a control's box; the style adds to the defaults.
  bool Tail(DialogItemTemplate* item) {
    if (!Comma()) return true;
    int64_t style = 0;
    if (!Expression(&style, item->style)) return false;
    item->style = static_cast<DWORD>(style);
    if (Comma()) return Style(&item->exStyle);
    return true;
  }

  bool ParseItem(const Token& word, DialogItemTemplate* item) {
    const DWORD base = WS_CHILD | WS_VISIBLE;
    const std::string& w = word.text;
    if (w == "CONTROL") {
      if (!Text(&item->text) || !Comma() || !Int(&item->id) || !Comma()) return false;
      const Token& cls = Next();
      if (cls.kind == Kind::kString) {
        item->className = Utf16(cls.text);
      } else if (cls.kind == Kind::kName) {
        std::string c = cls.text;  // STATIC, EDIT, BUTTON written as names
        for (size_t k = 1; k < c.size(); ++k) c[k] = static_cast<char>(std::tolower(c[k]));
        item->className = Utf16(c);
      } else {
        return false;
      }
      int64_t style = 0;
      if (!Comma() || !Expression(&style, base) || !Comma() || !Box(item)) return false;
      item->style = static_cast<DWORD>(style);
      if (Comma() && !Style(&item->exStyle)) return false;
      return true;
    }
    struct ItemKind {
      const char* name;
      const char16_t* className;
      DWORD style;
      bool hasText;
    };
    static const ItemKind kinds[] = {
        {"LTEXT", u"Static", SS_LEFT | WS_GROUP, true},
        {"RTEXT", u"Static", 0x2 | WS_GROUP, true},
        {"CTEXT", u"Static", 0x1 | WS_GROUP, true},
        {"PUSHBUTTON", u"Button", WS_TABSTOP, true},
        {"DEFPUSHBUTTON", u"Button", 0x1 | WS_TABSTOP, true},
        {"GROUPBOX", u"Button", 0x7, true},
        {"AUTOCHECKBOX", u"Button", 0x3 | WS_TABSTOP, true},
        {"EDITTEXT", u"Edit", WS_BORDER | WS_TABSTOP, false},
    };
    for (const auto& k : kinds) {
      if (w != k.name) continue;
      item->className = k.className;
      item->style = base | k.style;
      if (k.hasText && (!Text(&item->text) || !Comma())) return false;
      if (!Int(&item->id) || !Comma() || !Box(item)) return false;
      return Tail(item);
    }
    return false;
  }

  const IncludeOpener& open_;
  ResourceScript* out_;
  std::vector<Token> tokens_;
  size_t pos_ = 0;
  std::map<std::string, int64_t> defines_;
};

}  // namespace

const DialogTemplate* ResourceScript::FindDialog(const WCHAR* name) const {
  for (const auto& d : dialogs) {
    if (IS_INTRESOURCE(name) ? d.id == static_cast<int>(reinterpret_cast<uintptr_t>(name))
                             : (name && d.id < 0 && EqualNoCase(d.name, name)))
      return &d;
  }
  return nullptr;
}

ResourceScript ParseResourceScript(const std::string& text, const IncludeOpener& open) {
  ResourceScript script;
  Reader reader(open, &script);
  reader.Tokenize(text, 0);
  reader.Parse();
  return script;
}

namespace {

// The script text a test gave in place of the shipped one (UseResourceScript).
std::optional<std::string>& ScriptOverride() {
  static auto* text = new std::optional<std::string>;
  return *text;
}

const bool registered = (RegisterResetHook("resources", [] { ScriptOverride().reset(); }), true);

std::optional<std::string> ReadHostFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

void UseResourceScript(const std::string& text) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  ScriptOverride() = text;
}

ResourceScript ProgramResources() {
  std::optional<std::string> text;
  {
    std::lock_guard<sim::MachineMutex> lock(Lock());
    text = ScriptOverride();
  }
  const std::string dir = ZQ_RESOURCE_DIR;
  if (!text) text = ReadHostFile(dir + "/installer.rc");
  if (!text) return ResourceScript{};
  return ParseResourceScript(
      *text, [&](const std::string& file) { return ReadHostFile(dir + "/" + file); });
}

std::string ResourceName(const WCHAR* name) {
  return IS_INTRESOURCE(name) ? "#" + std::to_string(reinterpret_cast<uintptr_t>(name))
                              : Utf8(name);
}

int DialogUnitsToPixelsX(int units) {
  return units >= 0 ? (units * 6 + 2) / 4 : -((-units * 6 + 2) / 4);
}
int DialogUnitsToPixelsY(int units) {
  return units >= 0 ? (units * 13 + 4) / 8 : -((-units * 13 + 4) / 8);
}

}  // namespace sim
