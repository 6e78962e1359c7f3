#include "support/test_support.h"

#include <cstdio>
#include <cstring>

std::u16string u16(const std::string& s) {
  std::u16string out;
  for (size_t i = 0; i < s.size();) {
    unsigned char b = s[i];
    uint32_t cp;
    size_t n;
    if (b < 0x80) {
      cp = b;
      n = 1;
    } else if ((b >> 5) == 6) {
      cp = b & 0x1F;
      n = 2;
    } else if ((b >> 4) == 14) {
      cp = b & 0x0F;
      n = 3;
    } else {
      cp = b & 0x07;
      n = 4;
    }
    for (size_t k = 1; k < n && i + k < s.size(); ++k) cp = (cp << 6) | (s[i + k] & 0x3F);
    i += n;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += char16_t(0xD800 + (cp >> 10));
      out += char16_t(0xDC00 + (cp & 0x3FF));
    } else {
      out += char16_t(cp);
    }
  }
  return out;
}

std::string utf8(const std::u16string& t) {
  std::string out;
  for (size_t i = 0; i < t.size(); ++i) {
    uint32_t cp = t[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < t.size() && t[i + 1] >= 0xDC00 && t[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (t[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp < 0xE000) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out += char(cp);
    } else if (cp < 0x800) {
      out += char(0xC0 | (cp >> 6));
      out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += char(0xE0 | (cp >> 12));
      out += char(0x80 | ((cp >> 6) & 0x3F));
      out += char(0x80 | (cp & 0x3F));
    } else {
      out += char(0xF0 | (cp >> 18));
      out += char(0x80 | ((cp >> 12) & 0x3F));
      out += char(0x80 | ((cp >> 6) & 0x3F));
      out += char(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

std::string utf8(const char16_t* t) { return t ? utf8(std::u16string(t)) : std::string("(null)"); }

namespace {

// `closing` (when not 0) is written as \uXXXX too, so that the bracketed
// elements of a vector stay apart.
void append_escaped(std::string* out, const std::u16string& text, char16_t closing) {
  for (char16_t c : text) {
    if (c == u'\\') {
      *out += "\\\\";
    } else if (c >= 0x20 && c < 0x7F && c != closing) {
      *out += char(c);
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04X", unsigned(c));
      *out += buf;
    }
  }
}

}  // namespace

std::string escaped(const std::u16string& text) {
  std::string out;
  append_escaped(&out, text, 0);
  return out;
}

std::string escaped(const std::vector<std::u16string>& texts) {
  std::string out = "{";
  for (size_t i = 0; i < texts.size(); ++i) {
    out += i ? ", [" : "[";
    append_escaped(&out, texts[i], u']');
    out += "]";
  }
  return out + "}";
}

std::u16string quoted_command_line(const std::vector<std::u16string>& argv) {
  std::u16string line;
  for (size_t i = 0; i < argv.size(); ++i) {
    const std::u16string& arg = argv[i];
    if (i == 0) {
      line += u'"' + arg + u'"';
      continue;
    }
    line += u' ';
    bool enclose = arg.empty() || arg.find_first_of(u" \t") != std::u16string::npos;
    if (enclose) line += u'"';
    size_t run = 0;  // backslashes just written
    for (char16_t c : arg) {
      if (c == u'"') line.append(run + 1, u'\\');
      run = c == u'\\' ? run + 1 : 0;
      line += c;
    }
    if (enclose) {
      line.append(run, u'\\');
      line += u'"';
    }
  }
  return line;
}

std::string hex_bytes(const std::string& bytes) {
  std::string out;
  char buf[4];
  for (unsigned char c : bytes) {
    std::snprintf(buf, sizeof buf, "%02X ", c);
    out += buf;
  }
  return out;
}
