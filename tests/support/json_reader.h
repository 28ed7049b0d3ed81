// A strict JSON reader for the tool's JSON output: Valid() is true when the
// text is exactly one JSON value of plain ASCII. Keeps the "order" numbers
// of objects it meets, in document order.
#pragma once
#include <ctype.h>
#include <string>
#include <vector>

class JsonReader {
 public:
  explicit JsonReader(const std::string& text) : s_(text) {}
  bool Valid() {
    Space();
    if (!Value(0)) return false;
    Space();
    return p_ == s_.size();
  }
  std::string error() const { return "at byte " + std::to_string(p_); }
  std::vector<long long> orders;

 private:
  bool Value(int depth) {
    if (depth > 64 || p_ >= s_.size()) return false;
    char c = s_[p_];
    if (c == '{') return Object(depth);
    if (c == '[') return Array(depth);
    if (c == '"') return String(nullptr);
    if (c == '-' || (c >= '0' && c <= '9')) return Number(nullptr);
    return Word("true") || Word("false") || Word("null");
  }
  bool Word(const char* w) {
    size_t n = std::char_traits<char>::length(w);
    if (s_.compare(p_, n, w) != 0) return false;
    p_ += n;
    return true;
  }
  void Space() {
    while (p_ < s_.size() && (s_[p_] == ' ' || s_[p_] == '\t' || s_[p_] == '\n' || s_[p_] == '\r'))
      ++p_;
  }
  bool Object(int depth) {
    ++p_;
    Space();
    if (p_ < s_.size() && s_[p_] == '}') { ++p_; return true; }
    for (;;) {
      Space();
      std::string key;
      if (p_ >= s_.size() || s_[p_] != '"' || !String(&key)) return false;
      Space();
      if (p_ >= s_.size() || s_[p_] != ':') return false;
      ++p_;
      Space();
      if (key == "order" && p_ < s_.size() && s_[p_] != '"') {
        long long n = 0;
        if (!Number(&n)) return false;
        orders.push_back(n);
      } else if (!Value(depth + 1)) {
        return false;
      }
      Space();
      if (p_ >= s_.size()) return false;
      if (s_[p_] == '}') { ++p_; return true; }
      if (s_[p_] != ',') return false;
      ++p_;
    }
  }
  bool Array(int depth) {
    ++p_;
    Space();
    if (p_ < s_.size() && s_[p_] == ']') { ++p_; return true; }
    for (;;) {
      Space();
      if (!Value(depth + 1)) return false;
      Space();
      if (p_ >= s_.size()) return false;
      if (s_[p_] == ']') { ++p_; return true; }
      if (s_[p_] != ',') return false;
      ++p_;
    }
  }
  bool String(std::string* out) {
    ++p_;
    while (p_ < s_.size()) {
      unsigned char c = static_cast<unsigned char>(s_[p_]);
      if (c == '"') { ++p_; return true; }
      if (c < 0x20) return false;  // control characters must be escaped
      if (c >= 0x80) return false;  // the tool writes plain ASCII JSON
      if (c == '\\') {
        if (++p_ >= s_.size()) return false;
        char e = s_[p_];
        if (e == 'u') {
          for (int i = 1; i <= 4; ++i)
            if (p_ + i >= s_.size() || !isxdigit(static_cast<unsigned char>(s_[p_ + i]))) return false;
          p_ += 4;
        } else if (std::string("\"\\/bfnrt").find(e) == std::string::npos) {
          return false;
        }
        if (out) out->push_back('?');
      } else if (out) {
        out->push_back(static_cast<char>(c));
      }
      ++p_;
    }
    return false;
  }
  bool Number(long long* out) {
    size_t start = p_;
    if (s_[p_] == '-') ++p_;
    if (p_ >= s_.size() || s_[p_] < '0' || s_[p_] > '9') return false;
    if (s_[p_] == '0' && p_ + 1 < s_.size() && s_[p_ + 1] >= '0' && s_[p_ + 1] <= '9') return false;
    while (p_ < s_.size() && s_[p_] >= '0' && s_[p_] <= '9') ++p_;
    if (p_ < s_.size() && (s_[p_] == '.' || s_[p_] == 'e' || s_[p_] == 'E')) return false;
    if (out) *out = std::stoll(s_.substr(start, p_ - start));
    return true;
  }
  const std::string& s_;
  size_t p_ = 0;
};
