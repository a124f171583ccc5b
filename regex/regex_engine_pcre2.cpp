// The regular-expression engine over PCRE2's 16-bit library.
//
// UTF mode without Unicode properties, so "\w" stays ASCII. CR, LF and CRLF end lines, as in the
// platform class: "." matches neither CR nor LF, and with `multiline` "^" and "$" match at
// either; without it "$" matches only at the very end. The platform class's escapes
// and classes are taken where PCRE2 has an option for them: an unset group's back-reference
// matches the empty text, "\uXXXX" is a character, "[^]" any character and "[]" none. JIT is used
// where the library has it.
//
// Every match call runs under a match limit, a depth limit, a heap limit and a bounded JIT stack,
// so a pattern that backtracks without end cannot hang the window or crash. The run then ends
// where the limit was reached and keeps the matches found before it: a reply whose later records
// defeat the pattern still gives its earlier ones.
#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "regex/regex_engines.h"
#include "regex/replacement.h"
#include "text/unicode.h"
#include "text/unique_c_ptr.h"

namespace ornivel {
namespace {

// The match limit of one call: a floor, plus a few steps per unit of the subject. A lazy group
// costs about one step per unit it spans, so a call over well-formed records uses about a quarter
// of the limit at most, however long the records or the subject (the largest reply, 64 MiB,
// included). With JIT, a runaway pattern is stopped after a few tens of milliseconds on a short
// subject and after about half a second on the largest.
constexpr std::uint64_t kMatchLimitFloor = 10'000'000;
constexpr std::uint64_t kMatchStepsPerUnit = 4;
constexpr std::uint32_t kDepthLimit = 10'000;
constexpr std::uint32_t kHeapLimitKiB = 64 * 1024;
constexpr std::size_t kJitStackStart = 32 * 1024;
constexpr std::size_t kJitStackMax = 1024 * 1024;
constexpr std::size_t kCachedPatterns = 8;

PCRE2_SPTR AsPcre(std::u16string_view s) {
  return reinterpret_cast<PCRE2_SPTR>(s.data());
}

using CodePtr = std::shared_ptr<const pcre2_code>;

// Compiled patterns are read-only and shared by every thread: the process keeps the few used
// last, so a pattern run on every request (the charset pattern) is compiled once. (No
// thread_local state: the Windows workers are threads of the platform's, and a thread_local
// with a destructor left behind by one of them hung the program's exit there.)
struct CachedPattern {
  std::u16string pattern;
  std::uint32_t flags;
  CodePtr code;
};

std::uint32_t CompileFlags(const RegexEngineOptions& options) {
  std::uint32_t flags = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF | PCRE2_MATCH_UNSET_BACKREF |
                        PCRE2_ALT_BSUX | PCRE2_ALLOW_EMPTY_CLASS;
  if (options.ignoreCase) flags |= PCRE2_CASELESS;
  flags |= options.multiline ? PCRE2_MULTILINE : PCRE2_DOLLAR_ENDONLY;
  return flags;
}

CodePtr Compile(std::u16string_view pattern, std::uint32_t flags) {
  static std::mutex mutex;
  static std::vector<CachedPattern> cache;
  const auto cached = [&]() -> CodePtr {
    const auto hit = std::find_if(cache.begin(), cache.end(), [&](const CachedPattern& entry) {
      return entry.flags == flags && entry.pattern == pattern;
    });
    if (hit == cache.end()) return nullptr;
    std::rotate(cache.begin(), hit, hit + 1);
    return cache.front().code;
  };
  {
    const std::lock_guard lock(mutex);
    if (CodePtr code = cached()) return code;
  }
  UniqueCPtr<pcre2_compile_context, pcre2_compile_context_free> context(
      pcre2_compile_context_create(nullptr));
  if (!context) return nullptr;
  pcre2_set_newline(context.get(), PCRE2_NEWLINE_ANYCRLF);
  int error = 0;
  PCRE2_SIZE errorOffset = 0;
  UniqueCPtr<pcre2_code, pcre2_code_free> code(
      pcre2_compile(AsPcre(pattern), pattern.size(), flags, &error, &errorOffset, context.get()));
  if (!code) return nullptr;
  // Without JIT support the interpreter runs the pattern; the limits apply to both.
  pcre2_jit_compile(code.get(), PCRE2_JIT_COMPLETE);
  CodePtr shared(code.release(), FreeWith<pcre2_code_free>());
  const std::lock_guard lock(mutex);
  if (CodePtr other = cached()) return other;  // another thread compiled it meanwhile
  if (cache.size() == kCachedPatterns) cache.pop_back();
  cache.insert(cache.begin(), CachedPattern{std::u16string(pattern), flags, shared});
  return shared;
}

// A match context with the depth and heap limits and a JIT stack of its own, for one engine.
struct MatchSetting {
  UniqueCPtr<pcre2_jit_stack, pcre2_jit_stack_free> stack{
      pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr)};
  UniqueCPtr<pcre2_match_context, pcre2_match_context_free> context{
      pcre2_match_context_create(nullptr)};

  MatchSetting() {
    if (!context) return;
    pcre2_set_depth_limit(context.get(), kDepthLimit);
    pcre2_set_heap_limit(context.get(), kHeapLimitKiB);
    if (stack) pcre2_jit_stack_assign(context.get(), nullptr, stack.get());
  }
};

std::uint32_t MatchLimit(std::size_t units) {
  const std::uint64_t limit = kMatchLimitFloor + kMatchStepsPerUnit * units;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(limit, UINT32_MAX));
}

class Pcre2Engine final : public RegexEngine {
 public:
  bool Execute(std::u16string_view pattern, const RegexEngineOptions& options,
               std::u16string_view subject) override {
    Clear();
    pattern_.assign(pattern);
    CodePtr code = Compile(pattern, CompileFlags(options));
    if (!code) return false;
    std::uint32_t captures = 0;
    pcre2_pattern_info(code.get(), PCRE2_INFO_CAPTURECOUNT, &captures);
    UniqueCPtr<pcre2_match_data, pcre2_match_data_free> data(
        pcre2_match_data_create_from_pattern(code.get(), nullptr));
    if (!setting_) setting_ = std::make_unique<MatchSetting>();
    pcre2_match_context* context = setting_->context.get();
    if (!data || !context) return false;
    pcre2_set_match_limit(context, MatchLimit(subject.size()));
    code_ = std::move(code);
    subject_ = subject;
    global_ = options.global;
    groups_ = captures;
    executed_ = true;
    const std::size_t pairs = captures + 1;
    std::size_t start = 0;
    while (start <= subject.size()) {
      const int rc =
          pcre2_match(code_.get(), AsPcre(subject), subject.size(), start, 0, data.get(), context);
      // No further match, or a limit reached at this place (the match, depth or heap limit, or
      // the JIT stack): the run ends here with the matches found so far.
      if (rc < 0) break;
      const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data.get());
      spans_.insert(spans_.end(), ovector, ovector + pairs * 2);
      ++matchCount_;
      if (!global_) break;
      // As the platform class does: after an empty match the search goes on one character
      // further, after any other match where it ended.
      start = ovector[1];
      if (ovector[1] == ovector[0]) {
        start += (start < subject.size() && IsHighSurrogate(subject[start]) &&
                  start + 1 < subject.size())
                     ? 2
                     : 1;
      }
    }
    return true;
  }

  std::size_t MatchCount() const override { return matchCount_; }

  std::size_t GroupCount() const override { return groups_; }

  std::optional<std::u16string_view> MatchGroup(std::size_t match,
                                                std::size_t group) const override {
    if (match >= matchCount_ || group > groups_) return std::nullopt;
    const PCRE2_SIZE* span = &spans_[(match * (groups_ + 1) + group) * 2];
    if (span[0] == PCRE2_UNSET) return std::u16string_view();
    return subject_.substr(span[0], span[1] - span[0]);
  }

  std::string_view Name() const override { return "PCRE2"; }

  std::u16string Pattern() const override { return pattern_; }

  std::optional<std::u16string> Replace(std::u16string_view replacement) const override {
    if (!executed_) return std::nullopt;
    return ReplaceHeldMatches(
        subject_, matchCount_, groups_, replacement,
        [this](std::size_t m) {
          const PCRE2_SIZE* span = &spans_[m * (groups_ + 1) * 2];
          return MatchPlace{span[0], span[1]};
        },
        [this](std::size_t m, std::size_t g) { return *MatchGroup(m, g); });
  }

 private:
  // Forgets the last run: its code, subject, matches and groups. The pattern stays, as the
  // platform class keeps the pattern it was given.
  void Clear() {
    code_.reset();
    subject_ = {};
    global_ = true;
    executed_ = false;
    matchCount_ = 0;
    groups_ = 0;
    spans_.clear();
  }

  std::unique_ptr<MatchSetting> setting_;  // made by the first Execute
  CodePtr code_;
  std::u16string pattern_;
  std::u16string_view subject_;
  bool global_ = true;
  bool executed_ = false;
  std::size_t matchCount_ = 0;
  std::size_t groups_ = 0;
  std::vector<PCRE2_SIZE> spans_;  // (groups_ + 1) offset pairs per match
};

}  // namespace

std::unique_ptr<RegexEngine> CreatePcre2Engine() {
  return std::make_unique<Pcre2Engine>();
}

}  // namespace ornivel
