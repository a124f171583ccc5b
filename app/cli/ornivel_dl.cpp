#include "app/cli/ornivel_dl.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "app/cli/command_line.h"
#include "app/cli/console.h"
#include "app/cli/song_lines.h"
#include "app/program_paths.h"
#include "app/settings.h"
#include "http/http_request.h"
#include "service/file_system.h"
#include "service/memory_song_list.h"
#include "service/service_host.h"
#include "service/song_address.h"
#include "service/song_download.h"
#include "service/song_search.h"
#include "text/ascii.h"
#include "text/text_convert.h"

#ifndef ORNIVEL_VERSION
#error "ORNIVEL_VERSION names the program's version"
#endif

namespace ornivel {
namespace {

constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kUsageError = 2;

// The search box of the window is the keyword; the search's messages are kept for the caller.
class CommandLinePrompts final : public Prompts {
 public:
  explicit CommandLinePrompts(std::string keyword) : keyword_(std::move(keyword)) {}

  std::string SearchText() override { return keyword_; }
  void ShowMessage(const std::string& text, MessageIcon icon) override {
    message_ = text;
    icon_ = icon;
  }
  bool AskYesNo(const std::string& /*text*/) override { return false; }
  void SetClipboardText(const std::string& /*text*/) override {}

  [[nodiscard]] const std::string& message() const { return message_; }
  [[nodiscard]] MessageIcon icon() const { return icon_; }

 private:
  std::string keyword_;
  std::string message_;
  MessageIcon icon_ = MessageIcon::kNone;
};

// One song to fetch: by identifier alone, or a search's row with its names.
struct Wanted {
  SongToSave song;
  std::string label;  // how the messages name it (GBK)
};

class Run {
 public:
  explicit Run(Console& console) : console_(console) {}

  int Main(const std::vector<std::string>& arguments) {
    CliParse parse = ParseCommandLine(arguments);
    if (!parse.problem.empty()) return Usage(parse.problem);
    CliRequest& request = parse.request;
    if (request.identifiersFromInput) {
      IdentifierLines lines = ReadIdentifierLines(console_.ReadInput());
      if (lines.songs.empty() && lines.refused.empty()) {
        return Usage("no song identifier on standard input");
      }
      for (const std::string& line : lines.refused) {
        FailUtf8(line, line.starts_with("{") ? "不是可读的 search --json 行"
                                             : "标识中有 GBK 无法表示的字符");
      }
      inputSongs_ = std::move(lines.songs);
    }
    if (!request.serviceHost.empty()) SetServiceHost(request.serviceHost);

    switch (request.command) {
      case CliCommand::kHelp:
        return console_.Out(CliUsage()) ? kDone : kFailed;
      case CliCommand::kVersion:
        return console_.Out("ornivel-dl " ORNIVEL_VERSION "\n") ? kDone : kFailed;
      case CliCommand::kSearch:
        return Search(request);
      case CliCommand::kUrl:
        return Urls(request);
      case CliCommand::kDownload:
        return Download(request);
    }
    return kUsageError;
  }

 private:
  int Usage(const std::string& problem) {
    console_.Err("ornivel-dl: " + Shown(problem) + "\nTry 'ornivel-dl --help'.\n");
    return kUsageError;
  }

  // A UTF-8 text from the command line or standard input, its control characters made "?".
  static std::string Shown(std::string_view utf8) {
    std::string shown(utf8);
    for (char& c : shown) {
      if (IsAsciiControl(c)) c = '?';
    }
    return shown;
  }

  // A line on standard error: "ornivel-dl: " and the GBK text, without control characters.
  void Say(const std::string& gbk) {
    console_.Err("ornivel-dl: " + GbkToUtf8(PrintableText(gbk)) + "\n");
  }

  // A failure line.
  void Fail(const std::string& gbk) {
    Say(gbk);
    failed_ = true;
  }

  // A failure line about a text given as UTF-8 that GBK could not take.
  void FailUtf8(std::string_view utf8, const char* reason) {
    console_.Err("ornivel-dl: " + Shown(utf8) + "：" + reason + "\n");
    failed_ = true;
  }

  // One line of results on standard output (a GBK text): as it is for a program reading it,
  // without control characters for a person at a terminal. False once standard output has
  // gone: nothing more is done, since nobody would learn of it.
  bool Print(const std::string& gbk) {
    if (outLost_) return false;
    const std::string line = outIsTerminal_ ? PrintableText(gbk) : gbk;
    if (console_.Out(GbkToUtf8(line) + "\n")) return true;
    outLost_ = true;
    Fail(Utf8ToGbk("标准输出已关闭，其余的歌曲不再处理"));
    return false;
  }

  // The songs the window would list for the keyword, in its order; nullopt when the service
  // could not be asked (said on standard error). An empty list has said why.
  std::optional<std::vector<SongLine>> FindSongs(const std::string& keyword) {
    HttpStatus status;
    bool tooLong = false;
    const std::string reply = RequestSearchReply(keyword, &status, &tooLong);
    // A reply longer than is ever read still gives the records of its first part.
    if (status.failed() && !tooLong) {
      Fail(Utf8ToGbk("搜索失败：") + status.text);
      return std::nullopt;
    }
    MemorySongList list;
    CommandLinePrompts prompts(keyword);
    const int count = FillSongList(list, prompts, reply, tooLong);
    std::vector<SongLine> songs;
    for (int row = 0; row < count; ++row) {
      const std::vector<std::string> cells = list.Row(row);
      songs.push_back({row + 1, cells[kColumnTitle], cells[kColumnSinger], cells[kColumnAlbum],
                       cells[kColumnIdentifier]});
    }
    // No record (a message), the pattern could not run (an error), or records were left out.
    if (!prompts.message().empty()) Say(prompts.message());
    if (count == 0 && prompts.icon() == MessageIcon::kError) failed_ = true;
    return songs;
  }

  int Search(const CliRequest& request) {
    const auto songs = FindSongs(request.keyword);
    if (songs && !songs->empty()) {
      std::string lines;
      if (request.json) {
        for (const SongLine& song : *songs) lines += SongJsonLine(song);
      } else {
        lines = SongTableLines(*songs);
      }
      if (!console_.Out(lines)) Fail(Utf8ToGbk("标准输出已关闭"));
    }
    return failed_ ? kFailed : kDone;
  }

  // Whether `identifier`, given by the user, can be asked for; said when it cannot.
  bool CheckIdentifier(const std::string& identifier) {
    if (IsLookupIdentifier(identifier)) return true;
    Fail(identifier + Utf8ToGbk("：不是歌曲标识（不能含空白、控制字符、#、& 或 ?）"));
    return false;
  }

  // The failure line of a song whose identifier cannot name a file.
  static std::string UnnameableLine(const std::string& label) {
    SaveResult unnameable;
    unnameable.outcome = SaveOutcome::kUnsafeIdentifier;
    return label + Utf8ToGbk("：") + SaveFailureStatus(unnameable) +
           Utf8ToGbk("（标识不能用作文件名）");
  }

  // The song's download address, or nullopt with the reason in `problem`.
  static std::optional<std::string> Address(const std::string& identifier, const std::string& label,
                                            std::string* problem) {
    HttpStatus status;
    auto address = LookUpSongAddress(identifier, &status);
    if (!address) {
      *problem = label + Utf8ToGbk("：") + LookupFailedStatus() + Utf8ToGbk("（") +
                 (status.failed() ? status.text
                                  : Utf8ToGbk("回复中没有歌曲的文件地址，状态 ") + status.text) +
                 Utf8ToGbk("）");
    }
    return address;
  }

  // The identifiers of the command line, then those of standard input.
  std::vector<InputSong> GivenSongs(const CliRequest& request) const {
    std::vector<InputSong> songs;
    for (const std::string& identifier : request.identifiers) {
      songs.push_back({identifier, {}, {}, false});
    }
    songs.insert(songs.end(), inputSongs_.begin(), inputSongs_.end());
    return songs;
  }

  int Urls(const CliRequest& request) {
    for (const InputSong& song : GivenSongs(request)) {
      const std::string& identifier = song.identifier;
      if (!CheckIdentifier(identifier)) continue;
      std::string problem;
      const auto address = Address(identifier, identifier, &problem);
      if (!address) Fail(problem);
      if (address && !Print(*address)) break;
    }
    return failed_ ? kFailed : kDone;
  }

  int Download(const CliRequest& request) {
    // The folder first: a wrong one fails once, before anything is asked of the service.
    std::string folder = request.folder;
    if (folder.empty()) {
      // A setting that cannot be read is said, and not replaced by a folder it does not name.
      const ProgramPaths paths = CurrentProgramPaths();
      FileError why = FileError::kNone;
      folder = CurrentSaveFolder(paths, &why);
      if (why != FileError::kNone) {
        Fail(SettingsUnreadableMessage(paths.settingsFile, why) +
             Utf8ToGbk("（可用 --to 指定保存目录）"));
        return kFailed;
      }
    }
    if (!IsFolder(folder)) {
      Fail(PathExists(folder) ? Utf8ToGbk("保存目录不是文件夹：").append(folder)
                              : SaveFolderMissingMessage(folder));
      return kFailed;
    }

    std::vector<Wanted> wanted;
    if (!request.keyword.empty()) {
      const auto songs = FindSongs(request.keyword);
      if (!songs || songs->empty()) return kFailed;  // nothing to download; the reason was said
      const std::size_t count =
          request.first ? std::min(songs->size(), static_cast<std::size_t>(*request.first))
                        : songs->size();
      for (std::size_t i = 0; i < count; ++i) {
        const SongLine& line = (*songs)[i];
        wanted.push_back({{line.identifier, line.singer, line.title, false},
                          line.singer + " - " + line.title + " (" + line.identifier + ")"});
      }
    } else {
      for (const InputSong& given : GivenSongs(request)) {
        if (!CheckIdentifier(given.identifier)) continue;
        if (given.named) {
          wanted.push_back({{given.identifier, given.singer, given.title, false},
                            given.singer + " - " + given.title + " (" + given.identifier + ")"});
        } else {
          wanted.push_back({{given.identifier, {}, {}, true}, given.identifier});
        }
      }
    }
    CatchInterruptions();
    SaveAll(wanted, folder, request);
    if (const int status = InterruptionStatus(); status != 0) return status;
    return failed_ ? kFailed : kDone;
  }

  // What became of one song, told in the input's order.
  struct Report {
    std::vector<std::string> said;  // lines for standard error (GBK)
    std::string path;               // the saved file, for standard output; empty for none
    bool failed = false;
    bool unfinished = false;  // stopped by an interruption, or never started
  };

  // The batch's progress: what each running song has received of what it announced.
  struct Running {
    std::int64_t received = 0;
    std::int64_t announced = -1;
    bool active = false;
    const std::string* label = nullptr;  // the song's, while it runs
  };

  // Saves the songs, `request.jobs` at once, and tells of each in the input's order as soon as
  // it and those before it have ended.
  void SaveAll(const std::vector<Wanted>& wanted, const std::string& folder,
               const CliRequest& request) {
    std::vector<std::optional<Report>> reports(wanted.size());
    running_.assign(wanted.size(), Running{});
    count_ = wanted.size();
    std::size_t next = 0;  // the next song to start
    std::condition_variable changed;
    batchStart_ = std::chrono::steady_clock::now();

    // The song last taken for each file name: a song saved under the name of an earlier one
    // waits for it, and then finds its file as it would when saved one after the other.
    std::map<std::string, std::size_t> claims;
    const auto work = [&] {
      std::unique_lock lock(lock_);
      while (next < wanted.size() && !outLost_) {
        const std::size_t index = next++;
        const SongToSave& song = wanted[index].song;
        const std::string name = AsciiLowerText(
            song.namedByIdentifier ? IdentifierFileName(folder, song.identifier, 0)
                                   : TargetFileName(folder, song.singer, song.title));
        if (const auto earlier = claims.find(name); earlier != claims.end()) {
          const std::size_t before = earlier->second;
          earlier->second = index;
          changed.wait(lock, [&] { return reports[before].has_value(); });
        } else {
          claims.emplace(name, index);
        }
        Report report{{}, {}, false, /*unfinished=*/true};  // not started once stopped
        if (!DownloadsStopped()) {
          lock.unlock();
          report = SaveOne(wanted[index], folder, request.again, index);
          lock.lock();
          running_[index].active = false;
        }
        reports[index] = std::move(report);
        ++ended_;
        changed.notify_all();
      }
    };
    const std::size_t workers =
        std::min(wanted.size(), static_cast<std::size_t>(std::max(request.jobs, 1)));
    std::vector<std::thread> threads;
    threads.reserve(workers);
    for (std::size_t i = 0; i < workers; ++i) threads.emplace_back(work);

    std::vector<std::string> unfinished;
    {
      std::unique_lock lock(lock_);
      for (std::size_t told = 0; told < wanted.size(); ++told) {
        changed.wait(lock, [&] { return reports[told].has_value() || outLost_; });
        if (!reports[told]) break;  // standard output went: the rest is not told
        const Report& report = *reports[told];
        // The progress line goes only for a line to tell; the next report draws it again.
        if (!report.said.empty() || !report.path.empty()) ClearProgress();
        for (const std::string& line : report.said) Say(line);
        if (report.failed) failed_ = true;
        if (report.unfinished) unfinished.push_back(wanted[told].label);
        if (!report.path.empty() && !Print(report.path)) changed.notify_all();
      }
      ClearProgress();
    }
    for (std::thread& thread : threads) thread.join();
    if (InterruptionStatus() != 0 && !unfinished.empty()) {
      std::lock_guard lock(lock_);
      Say(Utf8ToGbk("已中断；未下载完的歌曲（再次运行同一命令即从中断处继续）："));
      for (const std::string& label : unfinished) Say("  " + label);
    }
  }

  // Saves one song on a worker and says what became of it.
  Report SaveOne(const Wanted& wanted, const std::string& folder, bool again, std::size_t index) {
    Report report;
    const auto fail = [&report](std::string line) {
      report.said.push_back(std::move(line));
      report.failed = true;
    };
    const std::string name = wanted.label + Utf8ToGbk("：");
    // A song whose identifier cannot name its temporary file is not even looked up.
    if (!IsSafeIdentifier(wanted.song.identifier)) {
      fail(UnnameableLine(wanted.label));
      return report;
    }
    std::string problem;
    const auto address = Address(wanted.song.identifier, wanted.label, &problem);
    if (!address) {
      fail(problem);
      return report;
    }

    SaveEvents events;
    events.keepNumberedCopy = [again](const std::string&) { return again; };
    events.started = [&] {
      std::lock_guard lock(lock_);
      running_[index] = {0, -1, true, &wanted.label};
      if (redraws_.Due()) DrawProgress();
    };
    events.progress = [&](std::int64_t received, std::int64_t announced) {
      std::lock_guard lock(lock_);
      running_[index].received = received;
      running_[index].announced = announced;
      if (redraws_.Due()) DrawProgress();
    };
    events.retrying = [&](int next, int tries, std::chrono::milliseconds) {
      std::lock_guard lock(lock_);
      ClearProgress();
      Say(name + RetryingStatus(next, tries));
    };
    const SaveResult result = SaveSong(*address, wanted.song, folder, events);

    // The row's status, then where it happened.
    const auto failed = [&](const std::string& where) {
      fail(name + SaveFailureStatus(result) + Utf8ToGbk("（") + where + Utf8ToGbk("）"));
    };
    switch (result.outcome) {
      case SaveOutcome::kSaved:
        report.path = result.path;
        break;
      case SaveOutcome::kSavedUnderIdentifier:
        report.said.push_back(name + RenameFailedStatus() + Utf8ToGbk("，已存为 ") + result.path);
        report.path = result.path;
        break;
      case SaveOutcome::kDeclined:
        report.said.push_back(name + Utf8ToGbk("文件已经存在，跳过（--again 另存一份）：") +
                              result.path);
        break;
      case SaveOutcome::kUnsafeIdentifier:
        fail(UnnameableLine(wanted.label));
        break;
      case SaveOutcome::kFolderMissing:
      case SaveOutcome::kCannotCreate:
      case SaveOutcome::kWriteFailed:
        failed(folder);
        break;
      case SaveOutcome::kUnreachable:
      case SaveOutcome::kServerError:
      case SaveOutcome::kNotASong:
        failed(*address);
        break;
      case SaveOutcome::kTransferFailed:
        failed(*address +
               (result.kept ? Utf8ToGbk("；已保留部分文件，下次从中断处继续") : std::string()));
        break;
      case SaveOutcome::kInterrupted:
        report.unfinished = true;
        report.failed = true;
        break;
    }
    return report;
  }

  // The batch's progress line, on a terminal: the bytes of the running songs, the share done of
  // what they announced, the songs ended of all, and the first running song in the input's
  // order (the one the output waits for). Called with lock_ held.
  void DrawProgress() {
    if (!errIsTerminal_) return;
    std::int64_t received = 0;
    std::int64_t announced = 0;
    const std::string* first = nullptr;
    for (const Running& song : running_) {
      if (!song.active) continue;
      if (first == nullptr) first = song.label;
      received += song.received;
      if (song.announced < 0 || announced < 0) {
        announced = -1;
      } else {
        announced += song.announced;
      }
    }
    if (first == nullptr) return;
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - batchStart_);
    // Built piece by piece, as below.
    std::string label;
    if (count_ > 1) {
      label.append(1, '[').append(std::to_string(std::min(ended_ + 1, count_))).append(1, '/');
      label.append(std::to_string(count_)).append("] ");
    }
    label.append(*first);
    const std::string text = ProgressText(received, announced, elapsed, label);
    const std::size_t width = DisplayWidth(Utf8ToGbk(text));
    // Spaces over what is left of a longer line before: no escape sequences, which not every
    // console reads.
    // Built piece by piece: "literal" + std::string trips a false -Wrestrict in mingw's GCC 12.
    std::string line(1, '\r');
    console_.Err(line.append(text).append(drawn_ > width ? drawn_ - width : 0, ' '));
    drawn_ = std::max(drawn_, width);
  }

  // Called with lock_ held.
  void ClearProgress() {
    if (drawn_ > 0) console_.Err(std::string(1, '\r').append(drawn_, ' ').append(1, '\r'));
    drawn_ = 0;
  }

  Console& console_;
  const bool outIsTerminal_ = console_.OutIsTerminal();
  const bool errIsTerminal_ = console_.ErrIsTerminal();
  bool failed_ = false;
  bool outLost_ = false;
  std::vector<InputSong> inputSongs_;  // read from standard input
  // Held by whoever writes to the console or touches what follows, while songs are saved.
  std::mutex lock_;
  ProgressThrottle redraws_;  // the progress line's, over the whole run
  std::size_t drawn_ = 0;     // the width of the progress line on the screen
  std::vector<Running> running_;
  std::size_t ended_ = 0;  // the songs ended
  std::size_t count_ = 0;  // the songs of the batch
  std::chrono::steady_clock::time_point batchStart_;
};
}  // namespace

int RunOrnivelDl(const std::vector<std::string>& arguments, Console& console) {
  return Run(console).Main(arguments);
}

}  // namespace ornivel
