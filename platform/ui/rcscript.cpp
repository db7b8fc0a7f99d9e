// The subset of the resource-script language the module's script uses: #define,
// #include, DIALOG/DIALOGEX with the usual control statements, BITMAP, REGISTRY,
// TYPELIB and VERSIONINFO.
#include <cctype>
#include <charconv>
#include <mutex>
#include <stdexcept>

#include "ui/resources.h"

namespace ui {
namespace {

const std::map<std::string, long>& StyleNames() {
  static const std::map<std::string, long> names = {
      {"WS_OVERLAPPED", WS_OVERLAPPED}, {"WS_POPUP", static_cast<long>(WS_POPUP)},
      {"WS_CHILD", WS_CHILD}, {"WS_MINIMIZE", WS_MINIMIZE}, {"WS_VISIBLE", WS_VISIBLE},
      {"WS_DISABLED", WS_DISABLED}, {"WS_CLIPSIBLINGS", WS_CLIPSIBLINGS},
      {"WS_CLIPCHILDREN", WS_CLIPCHILDREN}, {"WS_MAXIMIZE", WS_MAXIMIZE}, {"WS_CAPTION", WS_CAPTION},
      {"WS_BORDER", WS_BORDER}, {"WS_DLGFRAME", WS_DLGFRAME}, {"WS_VSCROLL", WS_VSCROLL},
      {"WS_HSCROLL", WS_HSCROLL}, {"WS_SYSMENU", WS_SYSMENU}, {"WS_THICKFRAME", WS_THICKFRAME},
      {"WS_GROUP", WS_GROUP}, {"WS_TABSTOP", WS_TABSTOP}, {"WS_MINIMIZEBOX", WS_MINIMIZEBOX},
      {"WS_MAXIMIZEBOX", WS_MAXIMIZEBOX}, {"DS_ABSALIGN", DS_ABSALIGN}, {"DS_SYSMODAL", DS_SYSMODAL},
      {"DS_3DLOOK", DS_3DLOOK}, {"DS_SETFONT", DS_SETFONT}, {"DS_MODALFRAME", DS_MODALFRAME},
      {"DS_SETFOREGROUND", DS_SETFOREGROUND}, {"DS_CENTER", DS_CENTER},
      {"BS_PUSHBUTTON", BS_PUSHBUTTON}, {"BS_DEFPUSHBUTTON", BS_DEFPUSHBUTTON},
      {"BS_CHECKBOX", BS_CHECKBOX}, {"BS_AUTOCHECKBOX", BS_AUTOCHECKBOX},
      {"BS_RADIOBUTTON", BS_RADIOBUTTON}, {"BS_GROUPBOX", BS_GROUPBOX},
      {"BS_AUTORADIOBUTTON", BS_AUTORADIOBUTTON}, {"BS_ICON", BS_ICON}, {"BS_BITMAP", BS_BITMAP},
      {"ES_LEFT", ES_LEFT}, {"ES_CENTER", ES_CENTER}, {"ES_RIGHT", ES_RIGHT},
      {"ES_MULTILINE", ES_MULTILINE}, {"ES_UPPERCASE", ES_UPPERCASE}, {"ES_LOWERCASE", ES_LOWERCASE},
      {"ES_PASSWORD", ES_PASSWORD}, {"ES_AUTOVSCROLL", ES_AUTOVSCROLL},
      {"ES_AUTOHSCROLL", ES_AUTOHSCROLL}, {"ES_NOHIDESEL", ES_NOHIDESEL},
      {"ES_READONLY", ES_READONLY}, {"ES_WANTRETURN", ES_WANTRETURN}, {"ES_NUMBER", ES_NUMBER},
      {"CBS_SIMPLE", CBS_SIMPLE}, {"CBS_DROPDOWN", CBS_DROPDOWN},
      {"CBS_DROPDOWNLIST", CBS_DROPDOWNLIST}, {"CBS_AUTOHSCROLL", CBS_AUTOHSCROLL},
      {"CBS_SORT", CBS_SORT}, {"CBS_HASSTRINGS", CBS_HASSTRINGS}, {"SS_LEFT", SS_LEFT},
      {"SS_CENTER", SS_CENTER}, {"SS_RIGHT", SS_RIGHT}, {"SS_LEFTNOWORDWRAP", SS_LEFTNOWORDWRAP},
      {"SS_BITMAP", SS_BITMAP}, {"SS_SUNKEN", SS_SUNKEN}, {"IDOK", IDOK}, {"IDCANCEL", IDCANCEL},
      {"IDC_STATIC", IDC_STATIC}, {"VOS__WINDOWS32", 4}, {"VOS_NT_WINDOWS32", 0x40004},
      {"VS_VERSION_INFO", 1}, {"VFT_DLL", 2}, {"VFT_APP", 1}, {"VS_FF_DEBUG", 1}, {"VS_FFI_FILEFLAGSMASK", 0x3F},
  };
  return names;
}

struct Token {
  enum Kind { Word, Number, String, Punct, End } kind = End;
  std::string text;
  long number = 0;
  int line = 0;
};

class Lexer {
 public:
  Lexer(std::string_view text) : s_(text) {}

  Token Next() {
    SkipSpace();
    Token t;
    t.line = line_;
    if (i_ >= s_.size()) return t;
    const char c = s_[i_];
    if (c == '"') {
      t.kind = Token::String;
      ++i_;
      while (true) {
        if (i_ >= s_.size() || s_[i_] == '\n') Fail("unterminated string");
        if (s_[i_] == '"') {
          if (i_ + 1 < s_.size() && s_[i_ + 1] == '"') {  // "" is one quote
            t.text += '"';
            i_ += 2;
            continue;
          }
          ++i_;
          break;
        }
        if (s_[i_] == '\\' && i_ + 1 < s_.size()) {
          const char e = s_[i_ + 1];
          t.text += e == 'n' ? '\n' : e == 't' ? '\t' : e == '0' ? '\0' : e;
          i_ += 2;
          continue;
        }
        t.text += s_[i_++];
      }
      return t;
    }
    if (std::isdigit(static_cast<unsigned char>(c)) || (c == '-' && i_ + 1 < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_ + 1])))) {
      t.kind = Token::Number;
      const bool negative = c == '-';
      if (negative) ++i_;
      int base = 10;
      if (s_.substr(i_, 2) == "0x" || s_.substr(i_, 2) == "0X") {
        base = 16;
        i_ += 2;
      }
      unsigned long v = 0;
      const auto [p, ec] = std::from_chars(s_.data() + i_, s_.data() + s_.size(), v, base);
      if (ec != std::errc()) Fail("bad number");
      i_ = static_cast<std::size_t>(p - s_.data());
      while (i_ < s_.size() && (s_[i_] == 'L' || s_[i_] == 'l' || s_[i_] == 'U' || s_[i_] == 'u')) ++i_;
      t.number = negative ? -static_cast<long>(v) : static_cast<long>(static_cast<std::uint32_t>(v));
      if (!negative && v > 0x7FFFFFFFul) t.number = static_cast<long>(static_cast<std::int32_t>(v));
      return t;
    }
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '#') {
      t.kind = Token::Word;
      t.text += s_[i_++];
      while (i_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[i_])) || s_[i_] == '_')) t.text += s_[i_++];
      return t;
    }
    t.kind = Token::Punct;
    t.text = std::string(1, c);
    ++i_;
    return t;
  }

  // The rest of the current line (for #define values).
  std::string RestOfLine() {
    std::string out;
    while (i_ < s_.size() && s_[i_] != '\n') out += s_[i_++];
    return out;
  }

  [[noreturn]] void Fail(const std::string& what) const {
    throw std::runtime_error("line " + std::to_string(line_) + ": " + what);
  }

 private:
  void SkipSpace() {
    while (i_ < s_.size()) {
      const char c = s_[i_];
      if (c == '\n') {
        ++line_;
        ++i_;
      } else if (std::isspace(static_cast<unsigned char>(c))) {
        ++i_;
      } else if (s_.substr(i_, 2) == "//") {
        while (i_ < s_.size() && s_[i_] != '\n') ++i_;
      } else if (s_.substr(i_, 2) == "/*") {
        const auto end = s_.find("*/", i_ + 2);
        for (std::size_t k = i_; k < std::min(end, s_.size()); ++k)
          if (s_[k] == '\n') ++line_;
        i_ = end == std::string_view::npos ? s_.size() : end + 2;
      } else {
        break;
      }
    }
  }

  std::string_view s_;
  std::size_t i_ = 0;
  int line_ = 1;
};

// Files that include each other would otherwise be read until the stack runs out.
constexpr int kMaxIncludeDepth = 16;

class Parser {
 public:
  Parser(ResourceScript& out, const std::function<std::string(std::string_view)>& include, int depth = 0)
      : out_(out), include_(include), depth_(depth) {}

  void Run(std::string_view text) {
    Lexer lex(text);
    lex_ = &lex;
    Advance();
    while (tok_.kind != Token::End) Statement();
  }

 private:
  void Advance() { tok_ = lex_->Next(); }
  [[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error("line " + std::to_string(tok_.line) + ": " + what);
  }
  bool IsWord(const char* w) const { return tok_.kind == Token::Word && tok_.text == w; }
  bool IsPunct(char c) const { return tok_.kind == Token::Punct && tok_.text[0] == c; }
  void Expect(char c) {
    if (!IsPunct(c)) Fail(std::string("expected '") + c + "'");
    Advance();
  }
  void SkipComma() {
    if (IsPunct(',')) Advance();
  }
  bool IsBegin() const { return IsWord("BEGIN") || IsPunct('{'); }
  bool IsEnd() const { return IsWord("END") || IsPunct('}'); }

  std::string String() {
    if (tok_.kind != Token::String) Fail("expected a string");
    std::string s = tok_.text;
    Advance();
    return s;
  }

  long Primary() {
    if (tok_.kind == Token::Number) {
      const long v = tok_.number;
      Advance();
      return v;
    }
    if (tok_.kind == Token::Word) {
      const std::string name = tok_.text;
      Advance();
      if (auto it = out_.symbols.find(name); it != out_.symbols.end()) return it->second;
      if (auto it = StyleNames().find(name); it != StyleNames().end()) return it->second;
      Fail("unknown name " + name);
    }
    if (IsPunct('(')) {
      Advance();
      const long v = Expression();
      Expect(')');
      return v;
    }
    Fail("expected a number or a name");
  }

  // Style expressions: a | b | NOT c (NOT clears bits from what is or'ed so far).
  long Expression() {
    long v = 0;
    bool first = true;
    while (true) {
      if (IsWord("NOT")) {
        Advance();
        v &= ~Primary();
      } else {
        const long p = Primary();
        v = first ? p : (v | p);
        if (IsPunct('+')) {
          Advance();
          v += Primary();
        }
      }
      first = false;
      if (!IsPunct('|')) break;
      Advance();
    }
    return v;
  }

  int Int() { return static_cast<int>(Expression()); }

  void Statement() {
    if (IsWord("#include")) {
      const long line = tok_.line;
      Advance();
      if (tok_.kind != Token::String) Fail("expected a file name");
      const std::string name = tok_.text;
      if (depth_ >= kMaxIncludeDepth)
        Fail("#include \"" + name + "\" nested more than " + std::to_string(kMaxIncludeDepth) + " files deep");
      Advance();
      const std::string text = include_(name);
      try {
        Parser(out_, include_, depth_ + 1).Run(text);
      } catch (const std::runtime_error& e) {
        throw std::runtime_error(name + " (included at line " + std::to_string(line) + "): " + e.what());
      }
      return;
    }
    if (IsWord("#define")) {
      Advance();
      if (tok_.kind != Token::Word) Fail("expected a name after #define");
      const std::string name = tok_.text;
      const int line = tok_.line;
      std::string value = lex_->RestOfLine();
      Advance();
      if (value.find_first_not_of(" \t\r") == std::string::npos) {
        out_.symbols[name] = 1;
        return;
      }
      ResourceScript scratch;
      scratch.symbols = out_.symbols;
      Lexer sub(value);
      Token t = sub.Next();
      if (t.kind == Token::Number) {
        out_.symbols[name] = t.number;
      } else if (t.kind == Token::Word && out_.symbols.count(t.text)) {
        out_.symbols[name] = out_.symbols[t.text];
      } else if (t.kind != Token::Punct) {
        throw std::runtime_error("line " + std::to_string(line) + ": #define " + name + " needs a number");
      }
      return;
    }
    if (IsWord("#pragma")) {
      lex_->RestOfLine();
      Advance();
      return;
    }
    if (tok_.kind == Token::Word && tok_.text[0] == '#') {  // #ifdef and the like: not used
      Fail("unsupported directive " + tok_.text);
    }
    const int id = Int();
    if (tok_.kind != Token::Word) Fail("expected a resource type");
    const std::string type = tok_.text;
    Advance();
    if (type == "DIALOG" || type == "DIALOGEX") {
      Dialog(id, type == "DIALOGEX");
    } else if (type == "BITMAP") {
      out_.bitmaps[id] = String();
    } else if (type == "REGISTRY") {
      out_.registryScripts[id] = String();
    } else if (type == "TYPELIB") {
      out_.typeLibraries[id] = String();
    } else if (type == "VERSIONINFO") {
      Version();
    } else {
      Fail("unsupported resource type " + type);
    }
  }

  void Dialog(int id, bool ex) {
    DialogTemplate d;
    d.id = id;
    SkipOptions();
    d.x = Int(); SkipComma(); d.y = Int(); SkipComma(); d.cx = Int(); SkipComma(); d.cy = Int();
    if (ex && IsPunct(',')) {  // help id
      Advance();
      Int();
    }
    d.style = WS_POPUP | WS_BORDER | WS_SYSMENU;
    bool styled = false;
    while (!IsBegin()) {
      if (IsWord("STYLE")) {
        Advance();
        d.style = static_cast<DWORD>(Expression());
        styled = true;
      } else if (IsWord("EXSTYLE")) {
        Advance();
        d.exStyle = static_cast<DWORD>(Expression());
      } else if (IsWord("CAPTION")) {
        Advance();
        d.caption = String();
        if (!styled) d.style |= WS_CAPTION;
      } else if (IsWord("FONT")) {
        Advance();
        d.fontSize = Int();
        SkipComma();
        d.fontFace = String();
        while (IsPunct(',')) {  // weight, italic, charset
          Advance();
          Int();
        }
        d.style |= DS_SETFONT;
      } else if (IsWord("LANGUAGE")) {
        Advance();
        Int();
        SkipComma();
        Int();
      } else {
        Fail("unexpected " + tok_.text + " in dialog header");
      }
    }
    Advance();
    while (!IsEnd()) {
      if (tok_.kind == Token::End) Fail("dialog without END");
      d.controls.push_back(Control());
    }
    Advance();
    out_.dialogs[id] = std::move(d);
  }

  void SkipOptions() {
    while (IsWord("DISCARDABLE") || IsWord("MOVEABLE") || IsWord("PURE") || IsWord("PRELOAD") ||
           IsWord("LOADONCALL") || IsWord("IMPURE") || IsWord("FIXED"))
      Advance();
  }

  ControlTemplate Control() {
    struct Kind {
      const char* keyword;
      const char* cls;
      DWORD style;
      bool hasText;
    };
    static const Kind kinds[] = {
        {"LTEXT", "Static", SS_LEFT | WS_GROUP, true},
        {"RTEXT", "Static", SS_RIGHT | WS_GROUP, true},
        {"CTEXT", "Static", SS_CENTER | WS_GROUP, true},
        {"PUSHBUTTON", "Button", BS_PUSHBUTTON | WS_TABSTOP, true},
        {"DEFPUSHBUTTON", "Button", BS_DEFPUSHBUTTON | WS_TABSTOP, true},
        {"CHECKBOX", "Button", BS_CHECKBOX | WS_TABSTOP, true},
        {"AUTOCHECKBOX", "Button", BS_AUTOCHECKBOX | WS_TABSTOP, true},
        {"RADIOBUTTON", "Button", BS_RADIOBUTTON, true},
        {"AUTORADIOBUTTON", "Button", BS_AUTORADIOBUTTON, true},
        {"GROUPBOX", "Button", BS_GROUPBOX, true},
        {"EDITTEXT", "Edit", ES_LEFT | WS_BORDER | WS_TABSTOP, false},
        {"COMBOBOX", "ComboBox", CBS_SIMPLE | WS_TABSTOP, false},
    };
    ControlTemplate c;
    if (tok_.kind != Token::Word) Fail("expected a control statement");
    const std::string keyword = tok_.text;
    Advance();
    if (keyword == "CONTROL") {
      c.text = String();
      SkipComma();
      c.id = Int();
      SkipComma();
      if (tok_.kind == Token::String) {
        c.cls = String();
      } else if (tok_.kind == Token::Word) {
        c.cls = tok_.text;
        Advance();
      } else {
        Fail("expected a control class");
      }
      c.cls = CanonicalClass(c.cls);
      SkipComma();
      c.style = WS_CHILD | WS_VISIBLE | static_cast<DWORD>(Expression());
      SkipComma();
      Rect(c);
      if (IsPunct(',')) {
        Advance();
        c.exStyle = static_cast<DWORD>(Expression());
      }
      return c;
    }
    for (const Kind& k : kinds) {
      if (keyword != k.keyword) continue;
      c.cls = k.cls;
      if (k.hasText) {
        c.text = String();
        SkipComma();
      }
      c.id = Int();
      SkipComma();
      Rect(c);
      c.style = WS_CHILD | WS_VISIBLE | k.style;
      if (IsPunct(',')) {
        Advance();
        c.style = StyleOver(c.style, c.cls == "ComboBox" ? CBS_TYPEMASK : c.cls == "Button" ? BS_TYPEMASK : 0);
        if (IsPunct(',')) {
          Advance();
          c.exStyle = static_cast<DWORD>(Expression());
        }
      }
      return c;
    }
    Fail("unsupported control statement " + keyword);
  }

  // A control's given style is or'ed with its statement's defaults, NOT clears bits, and
  // a given kind (the bits under typeMask, e.g. CBS_DROPDOWN) replaces the default kind.
  DWORD StyleOver(DWORD defaults, DWORD typeMask) {
    long set = 0;
    long cleared = 0;
    while (true) {
      if (IsWord("NOT")) {
        Advance();
        cleared |= Primary();
      } else {
        set |= Primary();
      }
      if (!IsPunct('|')) break;
      Advance();
    }
    long v = defaults;
    if (set & typeMask) v &= ~static_cast<long>(typeMask);
    return static_cast<DWORD>((v | set) & ~cleared);
  }

  void Rect(ControlTemplate& c) {
    c.x = Int(); SkipComma(); c.y = Int(); SkipComma(); c.cx = Int(); SkipComma(); c.cy = Int();
  }

  static std::string CanonicalClass(std::string cls) {
    std::string upper;
    for (char ch : cls) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    if (upper == "BUTTON") return "Button";
    if (upper == "EDIT") return "Edit";
    if (upper == "STATIC") return "Static";
    if (upper == "COMBOBOX") return "ComboBox";
    return cls;
  }

  void Version() {
    auto v = std::make_unique<VersionInfo>();
    while (!IsBegin()) {
      if (tok_.kind != Token::Word) Fail("unexpected token in VERSIONINFO");
      const std::string key = tok_.text;
      Advance();
      if (key == "FILEVERSION" || key == "PRODUCTVERSION") {
        WORD* parts = key == "FILEVERSION" ? v->fileVersion : v->productVersion;
        for (int i = 0; i < 4; ++i) {
          parts[i] = static_cast<WORD>(Int());
          if (i < 3) SkipComma();
        }
      } else if (key == "FILEOS") {
        v->fileOs = static_cast<DWORD>(Expression());
      } else if (key == "FILETYPE") {
        v->fileType = static_cast<DWORD>(Expression());
      } else {
        Expression();
      }
    }
    Block(*v);
    out_.version = std::move(v);
  }

  // BEGIN BLOCK "..." BEGIN VALUE "Key", "Text" ... END END
  void Block(VersionInfo& v) {
    Advance();  // BEGIN
    while (!IsEnd()) {
      if (IsWord("BLOCK")) {
        Advance();
        String();
        if (!IsBegin()) Fail("expected BEGIN after BLOCK");
        Block(v);
      } else if (IsWord("VALUE")) {
        Advance();
        const std::string key = String();
        SkipComma();
        if (tok_.kind == Token::String) {
          std::string text = String();
          while (!text.empty() && text.back() == '\0') text.pop_back();
          v.strings[key] = text;
        } else {
          Int();
          while (IsPunct(',')) {
            Advance();
            Int();
          }
        }
      } else {
        Fail("unexpected " + tok_.text + " in version block");
      }
    }
    Advance();  // END
  }

  ResourceScript& out_;
  const std::function<std::string(std::string_view)>& include_;
  int depth_;
  Lexer* lex_ = nullptr;
  Token tok_;
};

}  // namespace

ResourceScript ParseResourceScript(std::string_view text,
                                   const std::function<std::string(std::string_view)>& include) {
  ResourceScript out;
  Parser(out, include).Run(text);
  return out;
}

namespace {
struct ScriptCache {
  std::mutex lock;
  std::map<HINSTANCE, std::unique_ptr<ResourceScript>> parsed;
  std::string lastError;
};
ScriptCache& Cache() {
  static ScriptCache* cache = new ScriptCache;
  return *cache;
}
}  // namespace

std::span<const unsigned char> FileOf(HINSTANCE module, std::string_view name) {
  if (!module) return {};
  for (const EmbeddedFile& f : module->files)
    if (name == f.name) return {f.data, f.size};
  return {};
}

const ResourceScript* ScriptOf(HINSTANCE module) {
  if (!module) return nullptr;
  ScriptCache& c = Cache();
  std::lock_guard guard(c.lock);
  if (auto it = c.parsed.find(module); it != c.parsed.end()) return it->second.get();
  const auto bytes = FileOf(module, module->scriptName);
  if (bytes.empty()) {
    c.lastError = std::string("no resource script ") + module->scriptName;
    return nullptr;
  }
  try {
    auto script = std::make_unique<ResourceScript>(ParseResourceScript(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
        [module](std::string_view name) {
          const auto f = FileOf(module, name);
          if (f.empty()) throw std::runtime_error("cannot include " + std::string(name));
          return std::string(reinterpret_cast<const char*>(f.data()), f.size());
        }));
    return c.parsed.emplace(module, std::move(script)).first->second.get();
  } catch (const std::exception& e) {
    c.lastError = std::string(module->scriptName) + ": " + e.what();
    return nullptr;
  }
}

std::string LastResourceError() {
  ScriptCache& c = Cache();
  std::lock_guard guard(c.lock);
  return c.lastError;
}

std::string RegistryScriptOf(HINSTANCE module, int id) {
  const ResourceScript* script = ScriptOf(module);
  if (!script) return {};
  const auto it = script->registryScripts.find(id);
  if (it == script->registryScripts.end()) return {};
  const auto bytes = FileOf(module, it->second);
  return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

}  // namespace ui
