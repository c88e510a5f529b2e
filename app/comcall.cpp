// comcall: late-bound calls into any registered component, from the shell.
//
//   comcall [-e] CLASS CALL [+ CALL ...]
//
// The object is created once by ProgID or class identifier; each CALL is
// looked up by name in its dispatch interface and invoked with the arguments
// as variants, so the component converts them to its declared types exactly as
// any late-bound caller would have them converted.
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/component/dispatch.h"
#include "platform/component/registry.h"
#include "platform/component/runtime.h"
#include "platform/text/text.h"

namespace {

using namespace harbek;
using com::Variant;
using com::VarType;

constexpr const char* kUsage =
    "usage: comcall [-e] CLASS CALL [+ CALL ...]\n"
    "       comcall --list [CLASS]   the registered classes, or one class's operations and properties\n"
    "       comcall --help | --version\n"
    "  -e     print texts with escapes (as the esc: form takes them), so that line ends and\n"
    "         control characters in a result stay visible and on one line\n"
    "  CLASS  a ProgID such as vornet.WebUrl, or a class identifier {93230451-C2DF-4170-B76B-CF301AA382C8}\n"
    "  CALL   METHOD [ARG ...]   call an operation, or read a property by its name\n"
    "         NAME=VALUE         write a property (VALUE is one ARG)\n"
    "  \"+\"    separates successive calls on the same object\n"
    "ARG      plain text, or one of these prefixed forms:\n"
    "         i16:N  i32:N  f64:N  bool:true|bool:false  hex:D6D0 (a byte array; hex digits, any case)\n"
    "         date:YYYY-MM-DD  text:TEXT (literal text, for text that starts like a prefix)\n"
    "         esc:TEXT (text with \\r \\n \\t \\0 \\\\ \\xHH \\uHHHH escapes)\n";

struct UsageError {
  std::string message;
};

std::u16string unescape(std::string_view s) {
  std::u16string out;
  for (size_t i = 0; i < s.size();) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      size_t j = s.find('\\', i + 1);
      if (j == std::string_view::npos || s[i] == '\\') j = s.size();
      out += text::fromUtf8(s.substr(i, j - i));
      i = j;
      continue;
    }
    char e = s[i + 1];
    auto digits = [&](size_t count) -> int32_t {
      if (i + 2 + count > s.size()) throw UsageError{"bad escape in esc: argument"};
      int32_t v = 0;
      for (size_t k = 0; k < count; ++k) {
        int d = text::hexDigit(s[i + 2 + k]);
        if (d < 0) throw UsageError{"bad escape in esc: argument"};
        v = v * 16 + d;
      }
      return v;
    };
    switch (e) {
      case 'r': out.push_back(u'\r'); i += 2; break;
      case 'n': out.push_back(u'\n'); i += 2; break;
      case 't': out.push_back(u'\t'); i += 2; break;
      case '0': out.push_back(u'\0'); i += 2; break;
      case '\\': out.push_back(u'\\'); i += 2; break;
      case 'x': out.push_back(static_cast<char16_t>(digits(2))); i += 4; break;
      case 'u': out.push_back(static_cast<char16_t>(digits(4))); i += 6; break;
      default: throw UsageError{"bad escape in esc: argument"};
    }
  }
  return out;
}

// A number or a date written after its type prefix, converted as a
// late-bound call converts text to that type.
Variant typedArg(std::string_view written, VarType type) {
  Variant out;
  if (com::failed(com::convert(Variant(text::fromUtf8(written)), type, out)))
    throw UsageError{"not a valid " + std::string(com::varTypeName(type)) + " value: " + std::string(written)};
  return out;
}

Variant parseArg(std::string_view arg) {
  auto starts = [&](std::string_view p) { return arg.substr(0, p.size()) == p; };
  if (starts("i16:")) return typedArg(arg.substr(4), VarType::kI16);
  if (starts("i32:")) return typedArg(arg.substr(4), VarType::kI32);
  if (starts("f64:")) return typedArg(arg.substr(4), VarType::kF64);
  if (starts("date:")) return typedArg(arg.substr(5), VarType::kDate);
  if (starts("text:")) return text::fromUtf8(arg.substr(5));
  if (starts("esc:")) return unescape(arg.substr(4));
  if (starts("bool:")) {
    if (arg.substr(5) == "true") return com::Flag::kTrue;
    if (arg.substr(5) == "false") return com::Flag::kFalse;
    throw UsageError{"bool: takes true or false"};
  }
  if (starts("hex:")) {
    std::string_view h = arg.substr(4);
    if (h.size() % 2 != 0) throw UsageError{"hex: needs pairs of hex digits"};
    com::Bytes bytes;
    for (size_t i = 0; i < h.size(); i += 2) {
      int a = text::hexDigit(h[i]), b = text::hexDigit(h[i + 1]);
      if (a < 0 || b < 0) throw UsageError{"hex: needs pairs of hex digits"};
      bytes.push_back(static_cast<char>(a * 16 + b));
    }
    return bytes;
  }
  return text::fromUtf8(arg);
}

std::string escaped(const std::string& utf8) {
  std::string out;
  for (char ch : utf8) {
    unsigned char c = static_cast<unsigned char>(ch);
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\0': out += "\\0"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\x%02X", c);
          out += buf;
        } else {
          out.push_back(ch);
        }
    }
  }
  return out;
}

std::string format(const Variant& v, bool escape) {
  char buf[64];
  switch (v.type()) {
    case VarType::kEmpty: return "";
    case VarType::kText: {
      std::string s = text::toUtf8(*v.get<std::u16string>());
      return escape ? escaped(s) : s;
    }
    case VarType::kI16: return std::to_string(*v.get<int16_t>());
    case VarType::kI32: return std::to_string(*v.get<int32_t>());
    case VarType::kF64: std::snprintf(buf, sizeof buf, "%.15g", *v.get<double>()); return buf;
    case VarType::kFlag: return std::to_string(static_cast<int16_t>(*v.get<com::Flag>()));
    case VarType::kDate: {
      Variant t;
      com::convert(v, VarType::kText, t);
      return text::toUtf8(*t.get<std::u16string>());
    }
    case VarType::kBytes: {
      std::string out;
      for (char c : *v.get<com::Bytes>()) {
        if (!out.empty()) out.push_back(' ');
        std::snprintf(buf, sizeof buf, "%02X", static_cast<unsigned char>(c));
        out += buf;
      }
      return out;
    }
    case VarType::kAny: break;
  }
  return "";
}

struct Call {
  std::string name;
  std::optional<std::string> putValue;
  std::vector<std::string> args;
};

std::vector<Call> parseCalls(int argc, char** argv, int first) {
  std::vector<Call> calls;
  Call current;
  bool open = false;
  for (int i = first; i <= argc; ++i) {
    if (i == argc || std::strcmp(argv[i], "+") == 0) {
      if (!open) throw UsageError{"empty call"};
      calls.push_back(current);
      current = Call{};
      open = false;
      continue;
    }
    if (!open) {
      std::string token = argv[i];
      size_t eq = token.find('=');
      if (eq != std::string::npos && eq > 0) {
        current.name = token.substr(0, eq);
        current.putValue = token.substr(eq + 1);
      } else {
        current.name = token;
      }
      open = true;
    } else {
      if (current.putValue) throw UsageError{"a property write takes one value: " + current.name};
      current.args.emplace_back(argv[i]);
    }
  }
  return calls;
}

// A type as the listing shows it: by its argument prefix where that differs
// from the type's own name.
const char* kindName(VarType type) {
  if (type == VarType::kEmpty) return "nothing";
  if (type == VarType::kBytes) return "hex";
  return com::varTypeName(type);
}

// The classes of the registry, one a line: ProgID, class identifier, module.
int listClasses() {
  const std::string registry = com::defaultRegistryPath();
  std::string unreadable;
  const auto entries = com::readRegistry(registry, &unreadable);
  if (!unreadable.empty()) {
    std::fprintf(stderr, "comcall: %s\n", unreadable.c_str());
    return 1;
  }
  if (entries.empty()) {
    std::fprintf(stderr, "comcall: no classes registered in %s\n", registry.c_str());
    return 1;
  }
  for (const auto& e : entries) {
    std::printf("%-20s %s %s\n", e.progId.c_str(), e.clsid.toString().c_str(), e.modulePath.c_str());
  }
  return 0;
}

// A class's members in dispatch order, with their argument kinds as comcall's
// prefixes name them.
int listMembers(const std::string& className) {
  com::ComPtr<com::IDispatch> object;
  std::string message;
  if (com::failed(com::createByName(className, object, &message))) {
    std::fprintf(stderr, "comcall: %s\n", message.c_str());
    return 2;
  }
  for (const com::MemberInfo& m : object->typeInfo().members) {
    std::string line = (m.isProperty ? (m.canPut ? "property " : "property (read only) ") : "operation ") +
                       text::toUtf8(m.name);
    for (const auto& p : m.params) {
      line += std::string(" ") + (p.byRef ? "&" : "") + text::toUtf8(p.name) + ":" + kindName(p.type);
    }
    if (m.result != VarType::kEmpty) line += std::string(" -> ") + kindName(m.result);
    std::printf("%s\n", line.c_str());
  }
  return 0;
}

int run(int argc, char** argv) {
  if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
    std::puts("comcall " HARBEK_VERSION);
    return 0;
  }
  if (argc >= 2 && std::strcmp(argv[1], "--list") == 0) {
    if (argc > 3) throw UsageError{"--list takes at most one class"};
    return argc == 3 ? listMembers(argv[2]) : listClasses();
  }
  bool escape = false;
  int i = 1;
  if (i < argc && std::strcmp(argv[i], "-e") == 0) {
    escape = true;
    ++i;
  }
  if (argc - i < 2) throw UsageError{""};
  std::string className = argv[i++];
  std::vector<Call> calls = parseCalls(argc, argv, i);

  com::ComPtr<com::IDispatch> object;
  std::string message;
  com::HResult h = com::createByName(className, object, &message);
  if (com::failed(h)) {
    std::fprintf(stderr, "comcall: %s\n", message.c_str());
    return 2;
  }
  const com::TypeInfo& info = object->typeInfo();
  for (const Call& call : calls) {
    com::DispId id = 0;
    if (com::failed(object->getIdOfName(text::fromUtf8(call.name), &id))) {
      std::fprintf(stderr, "comcall: %s has no method or property named %s\n", className.c_str(),
                   call.name.c_str());
      return 2;
    }
    const com::MemberInfo& member = info.members[static_cast<size_t>(id - 1)];
    std::vector<Variant> args;
    com::InvokeKind kind = member.isProperty ? com::InvokeKind::kPropertyGet : com::InvokeKind::kMethod;
    if (call.putValue) {
      if (!member.isProperty || !member.canPut) {
        std::fprintf(stderr, "comcall: %s is not a writable property\n", call.name.c_str());
        return 2;
      }
      kind = com::InvokeKind::kPropertyPut;
      args.push_back(parseArg(*call.putValue));
    } else {
      for (const auto& a : call.args) args.push_back(parseArg(a));
    }
    Variant result;
    h = object->invoke(id, kind, args, &result);
    if (com::failed(h)) {
      std::fflush(stdout);
      std::fprintf(stderr, "error 0x%08X: %s\n", static_cast<uint32_t>(h), com::errorMessage(h).c_str());
      return 1;
    }
    if (kind != com::InvokeKind::kPropertyPut && member.result != VarType::kEmpty)
      std::printf("%s\n", format(result, escape).c_str());
    if (kind == com::InvokeKind::kMethod) {
      for (size_t p = 0; p < member.params.size() && p < args.size(); ++p) {
        if (member.params[p].byRef)
          std::printf("%s=%s\n", text::toUtf8(member.params[p].name).c_str(), format(args[p], escape).c_str());
      }
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const UsageError& e) {
    if (!e.message.empty()) std::fprintf(stderr, "comcall: %s\n", e.message.c_str());
    std::fputs(kUsage, stderr);
    return 2;
  }
}
