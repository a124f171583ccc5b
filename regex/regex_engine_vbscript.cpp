// The regular-expression engine over the platform's "VBScript.RegExp" automation class, every
// property and method reached by name.
//
// The class has no limit on backtracking: a pattern that backtracks without end keeps its Execute
// busy for hours, and the caller is often the window thread. So every run goes to a helper thread
// of its own, with its own COM initialisation, its own engine object and its own copies of the
// pattern and the subject. The caller waits for it with a deadline, dispatching its own thread's
// messages meanwhile, so a window keeps painting and answering. A run that misses the deadline is
// given up: Execute succeeds and holds no match, since the class gives nothing before its Execute
// returns (PCRE2's limit on Linux keeps the matches found before the runaway place instead).
//
// A helper cannot be stopped safely (killing a thread may leave a lock of the heap or of COM
// held), so it shares nothing with its caller but the run it was handed, which the two own
// together: a helper that was given up frees the run and releases its COM objects itself when the
// class returns at last. It hands back plain data, each match's place and its groups' texts, never
// a COM object: those belong to its apartment, which ends with it.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include "regex/automation.h"
#include "regex/regex_engine.h"
#include "regex/replacement.h"
#include "regex/win32_handle.h"

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

// One run, owned together by the caller and the helper thread: whichever lets go last frees it.
// The helper writes the results; the caller reads them only after the helper has ended.
struct Run {
  std::u16string pattern;
  std::u16string subject;
  RegexEngineOptions options;
  bool executed = false;  // the class made a match collection and every match was read
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

// Runs `run` with an engine object of the calling thread and copies out what it found. Every COM
// object is released before it returns.
void ExecuteHere(Run& run) {
  const ComPtr<IDispatch> engine = CreateAutomationObject(L"VBScript.RegExp");
  if (!engine) return;
  Variant ignoreCase = Variant::Bool(run.options.ignoreCase);
  Variant multiline = Variant::Bool(run.options.multiline);
  Variant global = Variant::Bool(run.options.global);
  Variant pattern = Variant::String(run.pattern);
  if (FAILED(PutProperty(engine.get(), L"IgnoreCase", ignoreCase)) ||
      FAILED(PutProperty(engine.get(), L"Multiline", multiline)) ||
      FAILED(PutProperty(engine.get(), L"Global", global)) ||
      FAILED(PutProperty(engine.get(), L"Pattern", pattern))) {
    return;
  }
  Variant subject = Variant::String(run.subject);
  Variant result;
  // Fails for an invalid pattern.
  if (FAILED(CallMethod(engine.get(), L"Execute", &result, &subject))) return;
  const ComPtr<IDispatch> collection = result.Object();
  Variant count;
  if (FAILED(GetProperty(collection.get(), L"Count", &count))) return;
  const long matchCount = count.Number();
  std::vector<HeldMatch> matches;
  matches.reserve(static_cast<std::size_t>(std::max(matchCount, 0L)));
  for (long i = 0; i < matchCount; ++i) {
    std::optional<HeldMatch> match = ReadMatch(collection.get(), i, run.subject.size());
    if (!match) return;
    matches.push_back(std::move(*match));
  }
  run.groupCount = matches.empty() ? 0 : matches.front().groups.size();
  run.matches = std::move(matches);
  run.executed = true;
}

DWORD WINAPI HelperMain(void* parameter) {
  // The helper's own share of the run, handed over by StartHelper.
  const std::unique_ptr<std::shared_ptr<Run>> share(static_cast<std::shared_ptr<Run>*>(parameter));
  const ComScope com;  // made first, ended last: the engine's objects are gone by then
  ExecuteHere(**share);
  return 0;
}

// A new helper thread running `run`; none when the thread cannot be made.
UniqueHandle StartHelper(const std::shared_ptr<Run>& run) {
  auto share = std::make_unique<std::shared_ptr<Run>>(run);
  DWORD id = 0;
  UniqueHandle thread(CreateThread(nullptr, 0, &HelperMain, share.get(), 0, &id));
  if (thread) share.release();  // the helper frees it
  return thread;
}

// Dispatches every message waiting for the calling thread. False after a WM_QUIT, which is posted
// again so that the thread's own message loop still sees it.
bool DispatchWaitingMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return false;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return true;
}

// Waits until `thread` ends or `deadline` passes; true when it ended. A thread with a message
// queue (the window thread, or any other that made windows) dispatches its messages meanwhile,
// so its windows keep painting and answering; an action they start runs nested inside the wait,
// as it does inside a request. A thread without one just waits.
bool WaitForHelper(HANDLE thread, Clock::time_point deadline) {
  bool dispatch = IsGUIThread(FALSE) != FALSE;
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    const auto wait = static_cast<DWORD>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
    if (!dispatch) return WaitForSingleObject(thread, wait) == WAIT_OBJECT_0;
    const DWORD woke =
        MsgWaitForMultipleObjectsEx(1, &thread, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (woke == WAIT_OBJECT_0) return true;
    if (woke != WAIT_OBJECT_0 + 1) return false;  // the deadline passed, or the wait failed
    dispatch = DispatchWaitingMessages();
    if (Clock::now() >= deadline) return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
  }
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

    const auto run = std::make_shared<Run>();
    run->pattern.assign(pattern);
    run->subject.assign(subject);
    run->options = options;
    const UniqueHandle helper = StartHelper(run);
    if (!helper) return false;
    if (WaitForHelper(helper.get(), Clock::now() + RunTimeLimit(subject.size()))) {
      if (!run->executed) return false;
      groupCount_ = run->groupCount;
      matches_ = std::move(run->matches);
    } else {
      // Given up: the run took too long, and holds no match. The helper goes on with its own
      // share of the run and ends by itself, meanwhile with only the time nobody else wants.
      SetThreadPriority(helper.get(), THREAD_PRIORITY_IDLE);
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

std::unique_ptr<RegexEngine> CreateRegexEngine() {
  return std::make_unique<VbscriptEngine>();
}

}  // namespace ornivel
