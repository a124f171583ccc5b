// The regular-expression engine over the platform's "VBScript.RegExp" automation class, every
// property and method reached by name.
//
// The class has no limit on backtracking: a pattern that backtracks without end keeps its Execute
// busy for hours, and the caller is often the window thread. So every run goes to a helper
// thread, with its own copies of the pattern and the subject, and the caller waits for it with
// a deadline, dispatching what keeps its thread's windows alive meanwhile (painting, timers,
// posted and sent messages; the keyboard and mouse wait until the run is done, so no action the
// user starts runs nested inside it). One helper serves every engine of the process, a run at a
// time, in one COM apartment with one engine object and the member ids of the result objects kept
// from run to run (making them anew cost more than a 500-record run itself).
//
// A run that misses its deadline is given up and done again by PCRE2, the engine linked into the
// program for Windows without the class (so is one still queued behind another run then: it is
// taken back, and the helper is left to that run's own waiter). PCRE2 reads a well-formed reply
// whole however slow the machine is, and its limit on backtracking counts steps, not seconds: a
// runaway run keeps the matches before the place where it runs away, as on Linux. So a slow or busy
// machine loses no record; it only pays for the class's wasted time once.
//
// A helper cannot be stopped safely (killing a thread may leave a lock of the heap or of COM
// held), so it shares nothing with its caller but the run it was handed, which the two own
// together. A helper whose run was given up is abandoned: at the lowest priority it finishes that
// run by itself, frees it and releases its COM objects, and ends. The jobs that were waiting for
// it are handed back unrun, to PCRE2. While an abandoned helper lives no new one is started and
// every run goes to PCRE2, so a runaway pattern costs one thread, never more.
// A helper hands back plain data, each match's place and its groups' texts, never a COM object:
// those belong to its apartment, which ends with it.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "regex/regex_engines.h"
#include "regex/replacement.h"
#include "text/never_freed.h"
#include "win/com.h"
#include "win/helper_wait.h"
#include "win/unique_owner.h"

namespace ornivel {
namespace {

using Clock = std::chrono::steady_clock;

// How long the class may take over one run before PCRE2 does it instead: a floor, plus a second
// for every million units of the subject. A search reply of 500 records takes milliseconds; 8 MiB
// of records on one line take about three seconds under Wine on a busy machine.
std::atomic<std::int64_t> g_runTimeFloorMs{3000};
constexpr std::size_t kUnitsPerExtraSecond = 1'000'000;

Clock::duration RunTimeLimit(std::size_t subjectUnits) {
  return std::chrono::milliseconds(g_runTimeFloorMs.load()) +
         std::chrono::seconds(subjectUnits / kUnitsPerExtraSecond);
}

struct HeldMatch {
  MatchPlace place;                    // in the subject, UTF-16 units
  std::vector<std::u16string> groups;  // groups 1 to n; empty for one that took no part
};

// Where a run is in its life. It starts queued; a helper takes it up (running) and ends it as
// one of the three outcomes, unless the caller gave it up meanwhile. A queued run handed back
// unrun stays queued.
enum class RunState {
  kQueued,    // no helper has taken it up
  kRunning,   // a helper is doing it
  kNoClass,   // the class could not be made or set up: PCRE2's run
  kRefused,   // the class refused the pattern, or its matches could not be read
  kAccepted,  // the class took the pattern and gave a match collection: `matches` holds it
  kGivenUp,   // the caller stopped waiting: the helper does or keeps nothing more for it
};

// One run, owned together by the caller and its helper thread: whichever lets go last frees it.
struct Run {
  // Set before the helper starts and never changed after.
  std::u16string pattern;
  std::u16string subject;
  RegexEngineOptions options;

  UniqueHandle done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};  // set when the run ended

  std::mutex mutex;  // guards the members below
  RunState state = RunState::kQueued;
  std::size_t groupCount = 0;
  std::vector<HeldMatch> matches;

  // Moves the run from `from` to `to`; false (and no change) when it is no longer in `from`.
  bool Move(RunState from, RunState to) {
    const std::lock_guard lock(mutex);
    if (state != from) return false;
    state = to;
    return true;
  }

  // The caller stops waiting for a run a helper has taken from its queue.
  void GiveUp() {
    const std::lock_guard lock(mutex);
    if (state == RunState::kQueued || state == RunState::kRunning) state = RunState::kGivenUp;
  }
};

// The member ids of the class's three collection and match kinds, looked up once per run
// rather than once per call (about ten calls a match).
struct ResultIds {
  MemberIds matches;     // the match collection
  MemberIds match;       // one match
  MemberIds subMatches;  // a match's groups
};

// Match `index` of `collection`: its place and its groups' texts. nullopt when any call fails or
// the class names a place outside the subject.
std::optional<HeldMatch> ReadMatch(IDispatch* collection, long index, std::size_t subjectUnits,
                                   ResultIds& ids) {
  Variant position = Variant::Long(index);
  Variant item;
  if (FAILED(GetProperty(collection, ids.matches, L"Item", &item, &position))) {
    return std::nullopt;
  }
  const ComPtr<IDispatch> match = item.Object();
  Variant first, length, subMatches;
  if (FAILED(GetProperty(match.get(), ids.match, L"FirstIndex", &first)) ||
      FAILED(GetProperty(match.get(), ids.match, L"Length", &length)) ||
      FAILED(GetProperty(match.get(), ids.match, L"SubMatches", &subMatches))) {
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
  if (FAILED(GetProperty(groups.get(), ids.subMatches, L"Count", &count))) return std::nullopt;
  const long groupCount = count.Number();
  for (long g = 0; g < groupCount; ++g) {
    Variant at = Variant::Long(g);
    Variant text;  // an empty variant for a group that took no part: the empty text
    if (FAILED(GetProperty(groups.get(), ids.subMatches, L"Item", &text, &at))) {
      return std::nullopt;
    }
    held.groups.push_back(text.Text());
  }
  return held;
}

// What a helper keeps from one run to the next: its engine object (made on its first run, its
// properties set anew for each) and the member ids of the class's result objects.
struct HelperState {
  ComPtr<IDispatch> engine;
  ResultIds ids;
};

// The helper's engine object with `run`'s pattern and options, the global one replaced by
// `global`; null when the class is missing or refuses a property.
IDispatch* MakeEngine(const Run& run, bool global, HelperState& state) {
  if (!state.engine) state.engine = CreateAutomationObject(L"VBScript.RegExp");
  if (!state.engine) return nullptr;
  Variant ignoreCase = Variant::Bool(run.options.ignoreCase);
  Variant multiline = Variant::Bool(run.options.multiline);
  Variant globalFlag = Variant::Bool(global);
  Variant pattern = Variant::String(run.pattern);
  if (FAILED(PutProperty(state.engine.get(), L"IgnoreCase", ignoreCase)) ||
      FAILED(PutProperty(state.engine.get(), L"Multiline", multiline)) ||
      FAILED(PutProperty(state.engine.get(), L"Global", globalFlag)) ||
      FAILED(PutProperty(state.engine.get(), L"Pattern", pattern))) {
    state.engine = {};  // made again for the next run
    return nullptr;
  }
  return state.engine.get();
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
void ExecuteWhole(Run& run, HelperState& state) {
  IDispatch* engine = MakeEngine(run, run.options.global, state);
  if (engine == nullptr) {
    (void)run.Move(RunState::kRunning, RunState::kNoClass);
    return;
  }
  const auto executed = ExecuteOver(engine, run.subject);
  if (!executed) {
    (void)run.Move(RunState::kRunning, RunState::kRefused);
    return;
  }
  const auto& [collection, matchCount] = *executed;
  std::vector<HeldMatch> matches;
  matches.reserve(static_cast<std::size_t>(matchCount));
  for (long i = 0; i < matchCount; ++i) {
    std::optional<HeldMatch> match = ReadMatch(collection.get(), i, run.subject.size(), state.ids);
    if (!match) {
      (void)run.Move(RunState::kRunning, RunState::kRefused);
      return;
    }
    matches.push_back(std::move(*match));
  }
  const std::lock_guard lock(run.mutex);
  if (run.state != RunState::kRunning) return;  // given up: PCRE2 has done it meanwhile
  run.groupCount = matches.empty() ? 0 : matches.front().groups.size();
  run.matches = std::move(matches);
  run.state = RunState::kAccepted;
}

struct Job {
  std::shared_ptr<Run> run;  // the helper's own share of the run
};

// The helper thread that does the runs of every engine of the process, one at a time, in one
// apartment with one engine object kept between runs. A helper found stuck (a run given up) is
// abandoned: it takes no further job and ends by itself once its run returns; the jobs that were
// waiting for it are handed back unrun.
class Helper : public std::enable_shared_from_this<Helper> {
 public:
  // The helper of the process, started when there is none. Null while an abandoned helper still
  // lives (a second would only pile up) or when no thread can be made: the run is PCRE2's then.
  static std::shared_ptr<Helper> Current() {
    const std::lock_guard lock(CurrentMutex());
    std::shared_ptr<Helper>& current = CurrentHelper();
    if (!current && AbandonedAlive() == 0) current = Start();
    return current;
  }

  // Abandons `helper`, unless that was done already: the jobs still waiting there are handed
  // back unrun. Called when a run waited for it longer than its limit.
  static void Abandon(const std::shared_ptr<Helper>& helper) {
    std::vector<Job> waiting;
    {
      // Counted in the same step as it is marked, so the count is never behind its end.
      const std::lock_guard current(CurrentMutex());
      {
        const std::lock_guard lock(helper->mutex_);
        if (helper->abandoned_) return;
        helper->abandoned_ = true;
        waiting.swap(helper->jobs_);
      }
      ++AbandonedAlive();
      if (CurrentHelper() == helper) CurrentHelper().reset();
    }
    // Meanwhile with only the time nobody else wants.
    SetThreadPriority(helper->thread_.get(), THREAD_PRIORITY_IDLE);
    for (Job& job : waiting) SetEvent(job.run->done.get());  // never started: PCRE2's
    helper->changed_.notify_one();
  }

  // Queues `job`; false when this helper takes no more jobs.
  bool Post(Job job) {
    {
      const std::lock_guard lock(mutex_);
      if (abandoned_) return false;
      jobs_.push_back(std::move(job));
    }
    changed_.notify_one();
    return true;
  }

  // Takes `run`'s job back if the helper has not started it; whether it did.
  bool Withdraw(const std::shared_ptr<Run>& run) {
    const std::lock_guard lock(mutex_);
    const auto queued =
        std::find_if(jobs_.begin(), jobs_.end(), [&](const Job& job) { return job.run == run; });
    if (queued == jobs_.end()) return false;
    jobs_.erase(queued);
    return true;
  }

  // How many abandoned helpers are still at work (at most one).
  static int AbandonedCount() {
    const std::lock_guard lock(CurrentMutex());
    return AbandonedAlive();
  }

 private:
  // An abandoned helper may still end while the process exits.
  static std::mutex& CurrentMutex() {
    static NeverFreed<std::mutex> mutex;
    return *mutex;
  }
  static std::shared_ptr<Helper>& CurrentHelper() {
    static NeverFreed<std::shared_ptr<Helper>> helper;
    return *helper;
  }
  static int& AbandonedAlive() {
    static int count = 0;
    return count;
  }

  static std::shared_ptr<Helper> Start() {
    auto helper = std::make_shared<Helper>();
    auto share = std::make_unique<std::shared_ptr<Helper>>(helper);
    DWORD id = 0;
    helper->thread_ = UniqueHandle(CreateThread(nullptr, 0, &Main, share.get(), 0, &id));
    if (!helper->thread_) return nullptr;
    share.release();  // the thread frees it
    return helper;    // nobody waits for the thread; its handle serves its priority
  }

  static DWORD WINAPI Main(void* parameter) {
    const std::unique_ptr<std::shared_ptr<Helper>> self(
        static_cast<std::shared_ptr<Helper>*>(parameter));
    if ((*self)->Serve()) {
      const std::lock_guard lock(CurrentMutex());
      --AbandonedAlive();
    }
    return 0;
  }

  // Does the jobs until the helper is abandoned; true then (it always is in the end: a helper
  // that is never abandoned waits for work until the process ends).
  bool Serve() {
    const ComScope com;  // made first, ended last: the engine's objects are gone by then
    HelperState state;
    for (;;) {
      Job job;
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return abandoned_ || !jobs_.empty(); });
        if (abandoned_) return true;  // its waiting jobs were handed back
        job = std::move(jobs_.front());
        jobs_.erase(jobs_.begin());
      }
      if (job.run->Move(RunState::kQueued, RunState::kRunning)) ExecuteWhole(*job.run, state);
      SetEvent(job.run->done.get());
    }
  }

  UniqueHandle thread_;
  std::mutex mutex_;  // guards the members below
  std::condition_variable changed_;
  std::vector<Job> jobs_;
  bool abandoned_ = false;
};

// Has the helper do a new run of `pattern` over `subject` and waits for it until the run's time
// limit. The finished run; null when the class cannot do it: no helper could take
// it, it was handed back unrun or taken back from the queue, the class could not be made, or
// the run was given up (the helper, still busy with it, is abandoned to end by itself).
std::shared_ptr<Run> RunOnHelper(std::u16string_view pattern, const RegexEngineOptions& options,
                                 std::u16string_view subject) {
  auto run = std::make_shared<Run>();
  if (!run->done) return nullptr;
  run->pattern.assign(pattern);
  run->subject.assign(subject);
  run->options = options;
  const std::shared_ptr<Helper> helper = Helper::Current();
  if (!helper || !helper->Post(Job{run})) return nullptr;
  if (WaitWhilePumping(run->done.get(), Clock::now() + RunTimeLimit(subject.size()),
                       WaitMessages::kWithoutInput)) {
    const std::lock_guard lock(run->mutex);
    // Ended by the class (either way), or handed back unrun or without the class: PCRE2's.
    return run->state == RunState::kAccepted || run->state == RunState::kRefused ? run : nullptr;
  }
  // Still waiting behind another run (another thread's, or one whose own wait sits below this
  // one on this thread): that run's waiter decides about the helper; this one is PCRE2's.
  if (helper->Withdraw(run)) return nullptr;
  run->GiveUp();
  // Stuck on this run: the helper takes no further job.
  Helper::Abandon(helper);
  return nullptr;
}

class VbscriptEngine final : public RegexEngine {
 public:
  bool Execute(std::u16string_view pattern, const RegexEngineOptions& options,
               std::u16string_view subject) override {
    pattern_.assign(pattern);
    last_ = {};

    const std::shared_ptr<Run> run = RunOnHelper(pattern, options, subject);
    if (!run) {
      // The class did not do the run in time (or could not take it): PCRE2 does it.
      last_.fallback = CreatePcre2Engine();
      return last_.fallback->Execute(pattern, options, subject);
    }
    {
      const std::lock_guard lock(run->mutex);
      if (run->state != RunState::kAccepted) return false;  // the class refused the pattern
      last_.groupCount = run->groupCount;
      last_.matches = std::move(run->matches);
    }
    last_.subject = subject;
    last_.executed = true;
    return true;
  }

  std::size_t MatchCount() const override {
    return last_.fallback ? last_.fallback->MatchCount() : last_.matches.size();
  }

  std::size_t GroupCount() const override {
    return last_.fallback ? last_.fallback->GroupCount() : last_.groupCount;
  }

  std::optional<std::u16string_view> MatchGroup(std::size_t match,
                                                std::size_t group) const override {
    if (last_.fallback) return last_.fallback->MatchGroup(match, group);
    if (match >= last_.matches.size()) return std::nullopt;
    const HeldMatch& held = last_.matches[match];
    if (group == 0) {
      return last_.subject.substr(held.place.begin, held.place.end - held.place.begin);
    }
    if (group > held.groups.size()) return std::nullopt;
    return std::u16string_view(held.groups[group - 1]);
  }

  std::string_view Name() const override { return "VBScript.RegExp"; }

  std::u16string Pattern() const override { return pattern_; }

  // The replacement is made from the held matches, not by the class's own Replace: that would run
  // the pattern again, as long as it likes.
  std::optional<std::u16string> Replace(std::u16string_view replacement) const override {
    if (last_.fallback) return last_.fallback->Replace(replacement);
    if (!last_.executed) return std::nullopt;
    return ReplaceHeldMatches(
        last_.subject, last_.matches.size(), last_.groupCount, replacement,
        [this](std::size_t m) { return last_.matches[m].place; },
        [this](std::size_t m, std::size_t g) {
          return MatchGroup(m, g).value_or(std::u16string_view());
        });
  }

 private:
  // What the last Execute left, made anew by each.
  struct LastRun {
    std::u16string_view subject;  // the caller's, kept alive by it until the next Execute
    bool executed = false;
    std::size_t groupCount = 0;
    std::vector<HeldMatch> matches;
    std::unique_ptr<RegexEngine> fallback;  // the run PCRE2 did instead, when it did
  };

  std::u16string pattern_;
  LastRun last_;
};

}  // namespace

std::unique_ptr<RegexEngine> CreateVbscriptEngine() {
  return std::make_unique<VbscriptEngine>();
}

void SetVbscriptRunTimeFloor(std::chrono::milliseconds floor) {
  g_runTimeFloorMs = floor.count();
}

int AbandonedVbscriptHelpers() {
  return Helper::AbandonedCount();
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
