#include "service/song_download.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>

#include "service/file_fetch.h"
#include "service/file_system.h"
#include "service/part_file.h"
#include "service/song_address.h"
#include "text/ascii.h"
#include "text/gbk_text.h"
#include "text/text_convert.h"

namespace ornivel {

std::string FileExistsQuestion() {
  return Utf8ToGbk("文件已经存在，是否继续下载？");
}
std::string DownloadingStatus() {
  return Utf8ToGbk("歌曲下载中...");
}
std::string DownloadedStatus() {
  return Utf8ToGbk("下载成功");
}
std::string RenameFailedStatus() {
  return Utf8ToGbk("歌名太非主流，要手动修改");
}
std::string DownloadFailedStatus() {
  return Utf8ToGbk("下载失败");
}
std::string SaveFailureStatus(const SaveResult& result) {
  const auto failed = [](std::string_view why) {
    return DownloadFailedStatus().append(Utf8ToGbk("：")).append(Utf8ToGbk(why));
  };
  // What the file system said, where it says something a person can act on. A name the system
  // refuses, or a folder that went, shows when the file is made, never while it is written.
  const auto fileProblem = [&](bool making, std::string_view otherwise) {
    switch (result.fileError) {
      case FileError::kDiskFull:
        return failed("磁盘已满");
      case FileError::kNoPermission:
        return failed("保存目录无法写入");
      case FileError::kBadName:
        return failed(making ? "无法建立文件名" : otherwise);
      case FileError::kNotFound:
        return failed(making ? "保存目录不存在" : otherwise);
      default:
        return failed(otherwise);
    }
  };
  switch (result.outcome) {
    case SaveOutcome::kFolderMissing:
      return failed("保存目录不存在");
    case SaveOutcome::kUnsafeIdentifier:
      return failed("无法建立文件名");
    case SaveOutcome::kCannotCreate:
      return fileProblem(/*making=*/true, "无法在保存目录中建立文件");
    case SaveOutcome::kWriteFailed:
      return fileProblem(/*making=*/false, "写入文件失败");
    case SaveOutcome::kUnreachable:
      return failed("无法连接服务器");
    case SaveOutcome::kServerError:
      return failed(std::string("服务器错误 ").append(std::to_string(result.status)));
    case SaveOutcome::kNotASong:
      return failed("服务器的回答不是歌曲");
    case SaveOutcome::kTransferFailed:
      return failed("歌曲没有下载完整");
    case SaveOutcome::kInterrupted:
      return failed("已中断");
    case SaveOutcome::kSaved:
    case SaveOutcome::kSavedUnderIdentifier:
    case SaveOutcome::kDeclined:
      break;
  }
  return DownloadFailedStatus();
}

std::string RetryingStatus(int next, int tries) {
  return Utf8ToGbk("下载失败，重试中 (" + std::to_string(next) + "/" + std::to_string(tries) + ")");
}
std::string QuitWhileDownloadingQuestion() {
  return Utf8ToGbk("有歌曲正在下载，确定退出吗？");
}

std::string DownloadProgressStatus(std::int64_t received, std::int64_t announced) {
  char amount[32];
  if (announced > 0) {
    const std::int64_t percent = std::min<std::int64_t>(received, announced) * 100 / announced;
    std::snprintf(amount, sizeof amount, " %lld%%", static_cast<long long>(percent));
  } else {
    std::snprintf(amount, sizeof amount, " %.1f MB", static_cast<double>(received) / (1 << 20));
  }
  return DownloadingStatus() + amount;
}

std::string TargetFileName(std::string_view folder, std::string_view singer,
                           std::string_view title) {
  return JoinPath(folder, std::string(singer) + " - " + std::string(title) + ".mp3");
}

std::string NumberedFileName(std::string_view folder, std::string_view singer,
                             std::string_view title, int number) {
  return JoinPath(folder, std::string(singer) + " - " + std::string(title) + "(" +
                              std::to_string(number) + ").mp3");
}

std::string IdentifierFileName(std::string_view folder, std::string_view identifier, int number) {
  std::string name(identifier);
  if (number > 0) name.append(1, '(').append(std::to_string(number)).append(1, ')');
  return JoinPath(folder, name.append(".mp3"));
}

bool IsSafeIdentifier(std::string_view identifier) {
  if (identifier.empty()) return false;
  if (TextFind(identifier, "/") != -1 || TextFind(identifier, "\\") != -1 ||
      TextFind(identifier, "..") != -1) {
    return false;
  }
  // The names made of it ("ID.1.part", "ID.mp3") must name ordinary files of the folder.
  return !HasAsciiControl(identifier) && IsPlainFileName(identifier);
}

void StartDownload(SongList& list, Prompts& prompts, WorkerStarter& workers,
                   std::string saveFolder) {
  const int row = list.SelectedRow();
  const std::string address = list.GetCellText(row, kColumnAddress);
  // Column 5 may hold a failed lookup's or an earlier download's status instead of an address.
  if (!IsDownloadAddress(address)) {
    prompts.ShowMessage(AddressFirstMessage(), MessageIcon::kInformation);
    return;
  }
  workers.StartWorker([&list, &prompts, row, address, folder = std::move(saveFolder)] {
    DownloadSong(list, prompts, row, address, folder, SaveRules{});
  });
}

namespace {

// Far more than any folder holds of one song; it only bounds the loops below.
constexpr int kMaxNumber = 100000;

// Renames `from` to the first free name of names(0), names(1), ... A name taken between the
// look and the rename (another download finishing at that moment) moves on to the next one.
// The name taken, or nullopt when a free name cannot be made.
std::optional<std::string> MoveToFreeName(const std::string& from,
                                          const std::function<std::string(int)>& names) {
  for (int number = 0; number <= kMaxNumber; ++number) {
    std::string name = names(number);
    if (PathExists(name)) continue;
    if (RenameNoReplace(from, name)) return name;
    if (!PathExists(name)) return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

namespace {

std::atomic<bool> gStopDownloads{false};
std::atomic<int> gRunningDownloads{0};

// Counts one running save for as long as it lives.
class RunningSave {
 public:
  RunningSave() { ++gRunningDownloads; }
  ~RunningSave() { --gRunningDownloads; }
  RunningSave(const RunningSave&) = delete;
  RunningSave& operator=(const RunningSave&) = delete;
};

// Waits `duration`, or less when `stop` is raised meanwhile; false then.
bool WaitUnlessStopped(std::chrono::milliseconds duration, const std::atomic<bool>& stop) {
  const auto end = std::chrono::steady_clock::now() + duration;
  while (!stop.load()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= end) return true;
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(end - now, std::chrono::milliseconds(50)));
  }
  return false;
}

bool IsBlank(std::uint8_t c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

// Whether the body sent is the file as stored: no Content-Encoding, or "identity".
bool IsUnencoded(std::string_view contentEncoding) {
  return contentEncoding.empty() || AsciiEqualIgnoringCase(contentEncoding, "identity");
}

// What one request of a try came to.
enum class TryEnd {
  kWhole,        // the song is whole in the partial file
  kStartOver,    // a resume was answered with neither the rest nor the whole: ask for the whole
  kUnreachable,  // no answer
  kCut,          // the body broke off or stalled
  kStatus,       // an answer that is no song, by its status
  kNotASong,     // a text document, an encoded or empty body
  kUnfollowable,
  kWriteFailed,
  kStopped,
};

struct TryResult {
  TryResult(TryEnd how = TryEnd::kUnreachable, int answered = 0, std::string wait = {})
      : end(how), status(answered), retryAfter(std::move(wait)) {}

  TryEnd end;
  int status;
  std::string retryAfter;  // the answer's Retry-After, as sent
};

// One song's transfers into its partial file.
class Transfer {
 public:
  Transfer(const std::string& address, HeldPart& part, const SaveEvents& events,
           const SaveRules& rules)
      : address_(address),
        part_(part),
        events_(events),
        rules_(rules),
        throttle_(events.throttle != nullptr ? *events.throttle : own_) {}

  // One request: for the rest of the partial file when it can go on, else for the whole.
  TryResult Request(bool mayResume) {
    const std::int64_t held = part_.file->Size();
    const bool resuming =
        mayResume && held > 0 && part_.record.length > held && !part_.record.Validator().empty();
    // A plain request keeps the bytes held until a 200 answers it: a request that fails
    // meanwhile leaves them for a later try.
    const FetchRange range = resuming ? FetchRange{held, part_.record.Validator()} : FetchRange{};
    TryResult result;
    bool sniffing = false;  // the first bytes of the file are still to be looked at
    std::int64_t total = -1;
    const AnswerRule accept = [&](const HopHead& head) {
      result.status = head.status;
      result.retryAfter = head.retryAfter;
      const bool wrongBody =
          IsTextDocumentType(head.contentType) || !IsUnencoded(head.contentEncoding);
      if (resuming && head.status == 206) {
        // The rest of another copy than the one held (an ETag that changed) cannot serve.
        const bool otherCopy =
            !head.etag.empty() && !part_.record.etag.empty() && head.etag != part_.record.etag;
        if (wrongBody || otherCopy || !IsRestOfFile(head.contentRange, held, part_.record.length)) {
          result.end = TryEnd::kStartOver;
          return false;
        }
        total = part_.record.length;
        return true;
      }
      if (head.status != 200) {
        result.end =
            resuming && !IsRetryableStatus(head.status) ? TryEnd::kStartOver : TryEnd::kStatus;
        return false;
      }
      if (wrongBody) {
        result.end = TryEnd::kNotASong;
        return false;
      }
      // The whole file, from its first byte: what the partial file held is dropped.
      if (part_.file->Size() > 0 && !part_.file->Restart()) {
        result.end = TryEnd::kWriteFailed;
        return false;
      }
      part_.record = {address_, head.announced, head.etag, head.lastModified};
      if (!SaveResumeRecord(part_)) {
        // The record beside the file may still tell of the copy before: it goes, and these
        // bytes, which no record names, will not be gone on from.
        (void)RemoveFile(ResumeRecordPath(part_.path));
        part_.record.etag.clear();
        part_.record.lastModified.clear();
      }
      total = head.announced;
      sniffing = true;
      return true;
    };
    const ByteSink sink = [&](std::span<const std::uint8_t> piece) {
      if (sniffing) {
        const auto first = std::find_if_not(piece.begin(), piece.end(), IsBlank);
        if (first != piece.end()) {
          // A page or a message of the server, not a song: "<html>", "<?xml", "{".
          if (*first == '<' || *first == '{') {
            result.end = TryEnd::kNotASong;
            return false;
          }
          sniffing = false;
        }
      }
      if (!part_.file->Write(piece)) {
        result.end = TryEnd::kWriteFailed;
        return false;
      }
      if (events_.progress && throttle_.Due()) events_.progress(part_.file->Size(), total);
      return true;
    };
    FetchLimits limits{rules_.lowSpeedBytes, rules_.lowSpeedWindow,
                       rules_.stop != nullptr ? rules_.stop : &gStopDownloads};
    const FetchOutcome outcome = FetchFile(address_, range, accept, sink, limits);
    switch (outcome.end) {
      case FetchEnd::kWhole:
        // Nothing but blanks, or nothing at all, is no song either.
        if (sniffing) return {TryEnd::kNotASong, result.status};
        if (total >= 0 && part_.file->Size() != total) return {TryEnd::kCut, result.status};
        return {TryEnd::kWhole, result.status};
      case FetchEnd::kRefused:
      case FetchEnd::kSinkRefused:
        return result;
      case FetchEnd::kBadAddress:
      case FetchEnd::kUnfollowable:
        return {TryEnd::kUnfollowable, result.status};
      case FetchEnd::kUnreachable:
        return {TryEnd::kUnreachable};
      case FetchEnd::kCut:
        return {TryEnd::kCut, result.status};
      case FetchEnd::kStopped:
        return {TryEnd::kStopped, result.status};
    }
    return result;
  }

 private:
  const std::string& address_;
  HeldPart& part_;
  const SaveEvents& events_;
  const SaveRules& rules_;
  ProgressThrottle own_{ProgressThrottle::Clock::now()};
  ProgressThrottle& throttle_;
};

bool IsRetryable(const TryResult& result) {
  switch (result.end) {
    case TryEnd::kUnreachable:
    case TryEnd::kCut:
      return true;
    case TryEnd::kStatus:
      return IsRetryableStatus(result.status);
    default:
      return false;
  }
}

SaveOutcome FailureOutcome(const TryResult& result) {
  switch (result.end) {
    case TryEnd::kUnreachable:
      return SaveOutcome::kUnreachable;
    case TryEnd::kStatus:
      return SaveOutcome::kServerError;
    case TryEnd::kNotASong:
      return SaveOutcome::kNotASong;
    case TryEnd::kWriteFailed:
      return SaveOutcome::kWriteFailed;
    case TryEnd::kStopped:
      return SaveOutcome::kInterrupted;
    default:
      return SaveOutcome::kTransferFailed;
  }
}

}  // namespace

bool IsRetryableStatus(int status) {
  return status == 408 || status == 429 || status == 500 || status == 502 || status == 503 ||
         status == 504;
}

bool IsTextDocumentType(std::string_view contentType) {
  std::string_view type = contentType.substr(0, contentType.find(';'));
  while (!type.empty() && (type.back() == ' ' || type.back() == '\t')) type.remove_suffix(1);
  while (!type.empty() && (type.front() == ' ' || type.front() == '\t')) type.remove_prefix(1);
  const auto startsWith = [type](std::string_view prefix) {
    return type.size() >= prefix.size() &&
           AsciiEqualIgnoringCase(type.substr(0, prefix.size()), prefix);
  };
  const bool xmlSuffix =
      type.size() >= 4 && AsciiEqualIgnoringCase(type.substr(type.size() - 4), "+xml");
  return startsWith("text/") || AsciiEqualIgnoringCase(type, "application/json") ||
         AsciiEqualIgnoringCase(type, "application/xml") || xmlSuffix;
}

std::optional<std::chrono::seconds> RetryAfterSeconds(std::string_view value) {
  while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
  while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
  if (value.empty() || value.size() > 9) return std::nullopt;
  long long seconds = 0;
  for (const char c : value) {
    if (c < '0' || c > '9') return std::nullopt;
    seconds = seconds * 10 + (c - '0');
  }
  return std::chrono::seconds(seconds);
}

bool IsRestOfFile(std::string_view contentRange, std::int64_t first, std::int64_t total) {
  const std::string expected = "bytes " + std::to_string(first) + "-" + std::to_string(total - 1) +
                               "/" + std::to_string(total);
  while (!contentRange.empty() && contentRange.back() == ' ') contentRange.remove_suffix(1);
  return total > first && first >= 0 && contentRange.size() == expected.size() &&
         AsciiEqualIgnoringCase(contentRange, expected);
}

void StopDownloads() {
  gStopDownloads.store(true);
}

bool DownloadsStopped() {
  return gStopDownloads.load();
}

int RunningDownloads() {
  return gRunningDownloads.load();
}

bool WaitForDownloads(std::chrono::milliseconds longest) {
  const auto end = std::chrono::steady_clock::now() + longest;
  while (gRunningDownloads.load() > 0) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

SaveResult SaveSong(const std::string& address, const SongToSave& song, const std::string& folder,
                    const SaveEvents& events, const SaveRules& rules) {
  // Looked at for every song: the folder may have gone since the last one.
  if (!IsFolder(folder)) return {SaveOutcome::kFolderMissing, {}};
  if (!IsSafeIdentifier(song.identifier)) return {SaveOutcome::kUnsafeIdentifier, {}};
  const std::function<std::string(int)> identifierName = [&](int number) {
    return IdentifierFileName(folder, song.identifier, number);
  };
  const std::function<std::string(int)> songName = [&](int number) {
    return number == 0 ? TargetFileName(folder, song.singer, song.title)
                       : NumberedFileName(folder, song.singer, song.title, number);
  };
  const auto& names = song.namedByIdentifier ? identifierName : songName;
  const std::string target = names(0);
  if (PathExists(target) && events.keepNumberedCopy && !events.keepNumberedCopy(target)) {
    return {SaveOutcome::kDeclined, target};
  }
  const RunningSave running;
  if (events.started) events.started();

  FileError why = FileError::kNone;
  std::optional<HeldPart> part =
      TakePartFile(folder, song.identifier, address, std::chrono::system_clock::now(), &why);
  if (!part) {
    SaveResult failed{SaveOutcome::kCannotCreate, {}};
    failed.fileError = why;
    return failed;
  }
  if (part->record.length < 0) (void)SaveResumeRecord(*part);  // a new file: what it is for

  Transfer transfer(address, *part, events, rules);
  SaveResult result;
  TryResult last;
  for (int attempt = 1;; ++attempt) {
    last = transfer.Request(/*mayResume=*/true);
    ++result.tries;
    if (last.end == TryEnd::kStartOver) {
      // The server no longer gives the rest of this copy: the whole file, at once.
      last = transfer.Request(/*mayResume=*/false);
      ++result.tries;
    }
    if (last.end == TryEnd::kWhole || !IsRetryable(last) || attempt >= rules.tries) break;
    // Doubled for each next try, and never longer than the longest wait.
    std::chrono::milliseconds wait = rules.firstRetryWait;
    for (int i = 1; i < attempt && wait < rules.longestRetryAfter; ++i) wait *= 2;
    wait = std::min<std::chrono::milliseconds>(wait, rules.longestRetryAfter);
    if (const auto after = RetryAfterSeconds(last.retryAfter)) {
      if (*after > rules.longestRetryAfter) break;  // the server asks for more than we wait
      wait = *after;
    }
    if (events.retrying) events.retrying(attempt + 1, rules.tries, wait);
    if (!WaitUnlessStopped(wait, rules.stop != nullptr ? *rules.stop : gStopDownloads)) {
      last = {TryEnd::kStopped, last.status};
      break;
    }
  }
  result.status = last.status;

  if (last.end != TryEnd::kWhole) {
    // Kept whenever a later try can go on from it, whatever ended this one (a login page met
    // on the way takes nothing of it): bytes of the copy its record names, short of the length
    // known, and a validator to ask for the rest with. Not after a failed write, which leaves
    // the file's end unknown.
    const std::int64_t held = part->file->Size();
    const bool resumable = last.end != TryEnd::kWriteFailed && held > 0 &&
                           held < part->record.length && !part->record.Validator().empty();
    if (resumable) {
      KeepPart(*part);
      result.kept = true;
    } else {
      DropPart(*part);
    }
    result.outcome = FailureOutcome(last);
    if (last.end == TryEnd::kWriteFailed) result.fileError = part->file->Error();
    return result;
  }
  // Whole: the record goes first, so no other download takes the file for a leftover.
  (void)RemoveFile(ResumeRecordPath(part->path));
  if (!part->file->Finish()) {
    result.fileError = part->file->Error();
    part->file->Remove();
    result.outcome = SaveOutcome::kWriteFailed;
    return result;
  }
  if (auto saved = MoveToFreeName(part->path, names)) {
    result.outcome = SaveOutcome::kSaved;
    result.path = *saved;
    return result;
  }
  // The file system refuses the name (too long, or characters it cannot hold): the song stays
  // under its identifier, and under its temporary name only if even that cannot be made.
  auto kept = MoveToFreeName(part->path, identifierName);
  result.outcome = SaveOutcome::kSavedUnderIdentifier;
  result.path = kept ? *kept : part->path;
  return result;
}

void DownloadSong(SongList& list, Prompts& prompts, int row, const std::string& address,
                  const std::string& saveFolder, const SaveRules& rules) {
  SongToSave song;
  song.identifier = list.GetCellText(row, kColumnIdentifier);
  song.title = list.GetCellText(row, kColumnTitle);
  song.singer = list.GetCellText(row, kColumnSinger);
  // Statuses go to the row only while it holds this song: a new search may refill the list.
  const auto report = [&](const std::string& text) {
    (void)list.SetCellTextIfHolds(row, kColumnAddress, text, kColumnIdentifier, song.identifier);
  };
  SaveEvents events;
  events.keepNumberedCopy = [&prompts](const std::string&) {
    return prompts.AskYesNo(FileExistsQuestion());
  };
  events.started = [&] { report(DownloadingStatus()); };
  events.progress = [&](std::int64_t received, std::int64_t announced) {
    report(DownloadProgressStatus(received, announced));
  };
  events.retrying = [&](int next, int tries, std::chrono::milliseconds) {
    report(RetryingStatus(next, tries));
  };
  const SaveResult result = SaveSong(address, song, saveFolder, events, rules);
  switch (result.outcome) {
    case SaveOutcome::kSaved:
      report(DownloadedStatus());
      break;
    case SaveOutcome::kSavedUnderIdentifier:
      report(RenameFailedStatus());
      break;
    case SaveOutcome::kDeclined:
      break;  // the row keeps its address
    case SaveOutcome::kUnsafeIdentifier:
    case SaveOutcome::kFolderMissing:
    case SaveOutcome::kCannotCreate:
    case SaveOutcome::kUnreachable:
    case SaveOutcome::kServerError:
    case SaveOutcome::kNotASong:
    case SaveOutcome::kTransferFailed:
    case SaveOutcome::kWriteFailed:
    case SaveOutcome::kInterrupted:
      report(SaveFailureStatus(result));
      break;
  }
}

}  // namespace ornivel
