// The regular-expression engine over the platform's "VBScript.RegExp" automation class, every
// property and method reached by name.
//
// The class has no limit on backtracking: a pattern that backtracks without end keeps its Execute
// busy for hours, and the caller is often the window thread. So every run goes to a helper thread
// of its own, with its own COM initialisation, its own engine object and its own copies of the
// pattern and the subject. The caller waits for it with a deadline, dispatching its own thread's
// messages meanwhile, so a window keeps painting and answering.
//
// A global run hands nothing back before its Execute returns, so one that misses its deadline
// would lose every match, also those before the place where it runs away (a search reply whose
// later records defeat the pattern). Such a run is given up and done again one match at a time:
// a second helper looks for the first match of the rest of the subject, hands it over at once and
// goes on after it, until nothing is left or its own deadline passes; the matches handed over by
// then are kept, as PCRE2's limit on Linux keeps those before the runaway place. Each of these
// searches starts afresh at the end of the match before, so there "^" matches and "\b" sees no
// character before it; the song-record pattern uses neither.
//
// A helper cannot be stopped safely (killing a thread may leave a lock of the heap or of COM
// held), so it shares nothing with its caller but the run it was handed, which the two own
// together: a helper that was given up frees the run and releases its COM objects itself when the
// class returns at last, and one that looks for matches one at a time stops at the next of them.
// It hands back plain data, each match's place and its groups' texts, never a COM object: those
// belong to its apartment, which ends with it.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "regex/regex_engines.h"
#include "regex/replacement.h"
#include "win/com.h"
#include "win/helper_wait.h"
#include "win/unique_owner.h"

namespace ornivel {
namespace {

using Clock = std::chrono::steady_clock;

// How long one run may take before it is given up: a floor, plus a second for every million
// units of the subject. A search reply of 500 records takes milliseconds; 8 MiB of records on one
// line take about three seconds under Wine on a busy machine, well within their eleven.
constexpr Clock::duration kRunTimeFloor = std::chrono::seconds(3);
constexpr std::size_t kUnitsPerExtraSecond = 1'000'000;

Clock::duration RunTimeLimit(std::size_t subjectUnits) {
  return kRunTimeFloor + std::chrono::seconds(subjectUnits / kUnitsPerExtraSecond);
}

struct HeldMatch {
  MatchPlace place;                    // in the subject, UTF-16 units
  std::vector<std::u16string> groups;  // groups 1 to n; empty for one that took no part
};

// One run, owned together by the caller and its helper thread: whichever lets go last frees it.
struct Run {
  // Set before the helper starts and never changed after.
  std::u16string pattern;
  std::u16string subject;
  RegexEngineOptions options;

  std::mutex mutex;       // guards the members below
  bool accepted = false;  // the class took the pattern and gave a match collection
  bool givenUp = false;   // the caller stopped waiting and took what was there
  std::size_t groupCount = 0;
  std::vector<HeldMatch> matches;
};

// Match `index` of `collection`: its place and its groups' texts. nullopt when any call fails or
// the class names a place outside the subject.
std::optional<HeldMatch> ReadMatch(IDispatch* collection, long index, std::size_t subjectUnits) {
  Variant position = Variant::Long(index);
  Variant item;
  if (FAILED(GetProperty(collection, L"Item", &item, &position))) return std::nullopt;
  const ComPtr<IDispatch> match = item.Object();
  Variant first, length, subMatches;
  if (FAILED(GetProperty(match.get(), L"FirstIndex", &first)) ||
      FAILED(GetProperty(match.get(), L"Length", &length)) ||
      FAILED(GetProperty(match.get(), L"SubMatches", &subMatches))) {
    return std::nullopt;
  }
  const long begin = first.Number();
  const long size = length.Number();
  if (begin < 0 || size < 0 ||
      static_cast<std::size_t>(begin) + static_cast<std::size_t>(size) > subjectUnits) {
    return std::nullopt;
  }
  HeldMatch held;
  held.place = {static_cast<std::size_t>(begin),
                static_cast<std::size_t>(begin) + static_cast<std::size_t>(size)};
  const ComPtr<IDispatch> groups = subMatches.Object();
  Variant count;
  if (FAILED(GetProperty(groups.get(), L"Count", &count))) return std::nullopt;
  const long groupCount = count.Number();
  for (long g = 0; g < groupCount; ++g) {
    Variant at = Variant::Long(g);
    Variant text;  // an empty variant for a group that took no part: the empty text
    if (FAILED(GetProperty(groups.get(), L"Item", &text, &at))) return std::nullopt;
    held.groups.push_back(text.Text());
  }
  return held;
}

// A new engine object of the calling thread with `run`'s pattern and options, the global one
// replaced by `global`; null when the class is missing or refuses a property.
ComPtr<IDispatch> MakeEngine(const Run& run, bool global) {
  ComPtr<IDispatch> engine = CreateAutomationObject(L"VBScript.RegExp");
  if (!engine) return engine;
  Variant ignoreCase = Variant::Bool(run.options.ignoreCase);
  Variant multiline = Variant::Bool(run.options.multiline);
  Variant globalFlag = Variant::Bool(global);
  Variant pattern = Variant::String(run.pattern);
  if (FAILED(PutProperty(engine.get(), L"IgnoreCase", ignoreCase)) ||
      FAILED(PutProperty(engine.get(), L"Multiline", multiline)) ||
      FAILED(PutProperty(engine.get(), L"Global", globalFlag)) ||
      FAILED(PutProperty(engine.get(), L"Pattern", pattern))) {
    return {};
  }
  return engine;
}

// Runs `engine` over `subject`: its match collection and how many matches it holds. nullopt when
// Execute fails (an invalid pattern) or the collection cannot be read.
std::optional<std::pair<ComPtr<IDispatch>, long>> ExecuteOver(IDispatch* engine,
                                                              std::u16string_view subject) {
  Variant text = Variant::String(subject);
  Variant result;
  if (FAILED(CallMethod(engine, L"Execute", &result, &text))) return std::nullopt;
  ComPtr<IDispatch> collection = result.Object();
  Variant count;
  if (FAILED(GetProperty(collection.get(), L"Count", &count))) return std::nullopt;
  return std::pair{std::move(collection), std::max(count.Number(), 0L)};
}

// Runs `run` as the caller asked, in one Execute, and hands over every match it found when that
// returns. Every COM object is released before it returns.
void ExecuteWhole(Run& run) {
  const ComPtr<IDispatch> engine = MakeEngine(run, run.options.global);
  if (!engine) return;
  const auto executed = ExecuteOver(engine.get(), run.subject);
  if (!executed) return;
  const auto& [collection, matchCount] = *executed;
  std::vector<HeldMatch> matches;
  matches.reserve(static_cast<std::size_t>(matchCount));
  for (long i = 0; i < matchCount; ++i) {
    std::optional<HeldMatch> match = ReadMatch(collection.get(), i, run.subject.size());
    if (!match) return;
    matches.push_back(std::move(*match));
  }
  const std::lock_guard lock(run.mutex);
  run.groupCount = matches.empty() ? 0 : matches.front().groups.size();
  run.matches = std::move(matches);
  run.accepted = true;
}

// Runs `run` (a global one) as successive single matches, each looking at the subject after the
// match before (one unit further after an empty one), and hands each over as soon as it is read.
// Stops at the end of the subject, at a failure, or at the first match after the caller gave up.
void ExecuteMatchByMatch(Run& run) {
  const ComPtr<IDispatch> engine = MakeEngine(run, false);
  if (!engine) return;
  const std::u16string_view subject = run.subject;
  std::size_t from = 0;
  for (;;) {
    const auto executed = ExecuteOver(engine.get(), subject.substr(from));
    if (!executed) return;
    const auto& [collection, matchCount] = *executed;
    if (matchCount == 0) {
      const std::lock_guard lock(run.mutex);
      run.accepted = true;
      return;
    }
    std::optional<HeldMatch> match = ReadMatch(collection.get(), 0, subject.size() - from);
    if (!match) return;
    match->place.begin += from;
    match->place.end += from;
    const MatchPlace place = match->place;
    {
      const std::lock_guard lock(run.mutex);
      if (run.givenUp) return;
      if (run.matches.empty()) run.groupCount = match->groups.size();
      run.matches.push_back(std::move(*match));
      run.accepted = true;
    }
    from = place.end + (place.begin == place.end ? 1 : 0);
    if (from > subject.size()) return;
  }
}

using RunBody = void (*)(Run&);

struct HelperStart {
  std::shared_ptr<Run> run;  // the helper's own share of the run
  RunBody body;
};

DWORD WINAPI HelperMain(void* parameter) {
  const std::unique_ptr<HelperStart> start(static_cast<HelperStart*>(parameter));
  const ComScope com;  // made first, ended last: the engine's objects are gone by then
  start->body(*start->run);
  return 0;
}

// A new helper thread doing `body` with `run`; none when the thread cannot be made.
UniqueHandle StartHelper(const std::shared_ptr<Run>& run, RunBody body) {
  auto start = std::make_unique<HelperStart>(HelperStart{run, body});
  DWORD id = 0;
  UniqueHandle thread(CreateThread(nullptr, 0, &HelperMain, start.get(), 0, &id));
  if (thread) start.release();  // the helper frees it
  return thread;
}

// Starts a helper doing `body` with a new run of `pattern` over `subject` and waits for it until
// the run's time limit. The run then holds what the helper handed over by then; a helper still
// busy is told it was given up and left to end by itself, meanwhile with only the time nobody
// else wants. Null when no helper could be started.
std::shared_ptr<Run> RunOnHelper(RunBody body, std::u16string_view pattern,
                                 const RegexEngineOptions& options, std::u16string_view subject) {
  auto run = std::make_shared<Run>();
  run->pattern.assign(pattern);
  run->subject.assign(subject);
  run->options = options;
  const UniqueHandle helper = StartHelper(run, body);
  if (!helper) return nullptr;
  if (!WaitWhilePumping(helper.get(), Clock::now() + RunTimeLimit(subject.size()))) {
    SetThreadPriority(helper.get(), THREAD_PRIORITY_IDLE);
    const std::lock_guard lock(run->mutex);
    run->givenUp = true;
  }
  return run;
}

class VbscriptEngine final : public RegexEngine {
 public:
  bool Execute(std::u16string_view pattern, const RegexEngineOptions& options,
               std::u16string_view subject) override {
    pattern_.assign(pattern);
    subject_ = {};
    executed_ = false;
    groupCount_ = 0;
    matches_.clear();

    std::shared_ptr<Run> run = RunOnHelper(&ExecuteWhole, pattern, options, subject);
    if (run && run->givenUp && options.global) {
      // Again, one match at a time, so that the matches before the place where the whole run
      // got stuck are kept.
      run = RunOnHelper(&ExecuteMatchByMatch, pattern, options, subject);
    }
    if (!run) return false;
    {
      const std::lock_guard lock(run->mutex);
      // A run that ended without the class taking the pattern found it invalid.
      if (!run->givenUp && !run->accepted) return false;
      groupCount_ = run->groupCount;
      matches_ = std::move(run->matches);
    }
    subject_ = subject;
    executed_ = true;
    return true;
  }

  std::size_t MatchCount() const override { return matches_.size(); }

  std::size_t GroupCount() const override { return groupCount_; }

  std::optional<std::u16string_view> MatchGroup(std::size_t match,
                                                std::size_t group) const override {
    if (match >= matches_.size()) return std::nullopt;
    const HeldMatch& held = matches_[match];
    if (group == 0) {
      return subject_.substr(held.place.begin, held.place.end - held.place.begin);
    }
    if (group > held.groups.size()) return std::nullopt;
    return std::u16string_view(held.groups[group - 1]);
  }

  std::string_view Name() const override { return "VBScript.RegExp"; }

  std::u16string Pattern() const override { return pattern_; }

  // The replacement is made from the held matches, not by the class's own Replace: that would run
  // the pattern again, as long as it likes, and would not agree with a run that was given up.
  std::optional<std::u16string> Replace(std::u16string_view replacement) const override {
    if (!executed_) return std::nullopt;
    return ReplaceHeldMatches(
        subject_, matches_.size(), groupCount_, replacement,
        [this](std::size_t m) { return matches_[m].place; },
        [this](std::size_t m, std::size_t g) {
          return MatchGroup(m, g).value_or(std::u16string_view());
        });
  }

 private:
  std::u16string pattern_;
  std::u16string_view subject_;  // the caller's, kept alive by it until the next Execute
  bool executed_ = false;
  std::size_t groupCount_ = 0;
  std::vector<HeldMatch> matches_;
};

}  // namespace

std::unique_ptr<RegexEngine> CreateVbscriptEngine() {
  return std::make_unique<VbscriptEngine>();
}

namespace {

// Creates one object of the class in an apartment of its own; *parameter tells whether it could.
DWORD WINAPI ProbeClass(void* parameter) {
  const ComScope com;
  *static_cast<bool*>(parameter) = static_cast<bool>(CreateAutomationObject(L"VBScript.RegExp"));
  return 0;
}

}  // namespace

bool VbscriptClassAvailable() {
  static const bool available = [] {
    // On a thread of its own: the caller's COM apartment, if any, is not the probe's business.
    bool made = false;
    DWORD id = 0;
    const UniqueHandle thread(CreateThread(nullptr, 0, &ProbeClass, &made, 0, &id));
    if (!thread) return false;
    WaitForSingleObject(thread.get(), INFINITE);
    return made;
  }();
  return available;
}

}  // namespace ornivel
