#include "app/cli/ornivel_dl.h"

#include <chrono>
#include <optional>

#include "app/cli/command_line.h"
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
      if (lines.identifiers.empty() && lines.refused.empty()) {
        return Usage("no song identifier on standard input");
      }
      for (const std::string& line : lines.refused) {
        FailUtf8(line, "标识中有 GBK 无法表示的字符");
      }
      for (std::string& identifier : lines.identifiers) {
        request.identifiers.push_back(std::move(identifier));
      }
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
    const std::string reply = RequestSearchReply(keyword, &status);
    if (status.failed()) {
      Fail(Utf8ToGbk("搜索失败：") + status.text);
      return std::nullopt;
    }
    MemorySongList list;
    CommandLinePrompts prompts(keyword);
    const int count = FillSongList(list, prompts, reply);
    std::vector<SongLine> songs;
    for (int row = 0; row < count; ++row) {
      const std::vector<std::string> cells = list.Row(row);
      songs.push_back({row + 1, cells[kColumnTitle], cells[kColumnSinger], cells[kColumnAlbum],
                       cells[kColumnIdentifier]});
    }
    if (count == 0) {
      // No record (a message), or the pattern could not run (an error).
      Say(prompts.message());
      if (prompts.icon() == MessageIcon::kError) failed_ = true;
    }
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

  // The failure of a song whose identifier cannot name a file.
  void FailUnnameable(const std::string& label) {
    Fail(label + Utf8ToGbk("：") + DownloadFailedStatus() + Utf8ToGbk("（标识不能用作文件名）"));
  }

  // The song's download address, or nullopt with the reason said.
  std::optional<std::string> Address(const std::string& identifier, const std::string& label) {
    HttpStatus status;
    auto address = LookUpSongAddress(identifier, &status);
    if (!address) {
      Fail(label + Utf8ToGbk("：") + LookupFailedStatus() + Utf8ToGbk("（") +
           (status.failed() ? status.text
                            : Utf8ToGbk("回复中没有歌曲的文件地址，状态 ") + status.text) +
           Utf8ToGbk("）"));
    }
    return address;
  }

  int Urls(const CliRequest& request) {
    for (const std::string& identifier : request.identifiers) {
      if (!CheckIdentifier(identifier)) continue;
      const auto address = Address(identifier, identifier);
      if (address && !Print(*address)) break;
    }
    return failed_ ? kFailed : kDone;
  }

  int Download(const CliRequest& request) {
    // The folder first: a wrong one fails once, before anything is asked of the service.
    const std::string folder =
        !request.folder.empty() ? request.folder : CurrentSaveFolder(CurrentProgramPaths());
    if (!IsFolder(folder)) {
      Fail(Utf8ToGbk(PathExists(folder) ? "保存目录不是文件夹：" : "保存目录不存在：") + folder);
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
      for (const std::string& identifier : request.identifiers) {
        if (CheckIdentifier(identifier)) {
          wanted.push_back({{identifier, {}, {}, true}, identifier});
        }
      }
    }
    for (const Wanted& song : wanted) {
      if (!Save(song, folder, request.again)) break;
    }
    return failed_ ? kFailed : kDone;
  }

  // Saves one song; false once standard output has gone.
  bool Save(const Wanted& wanted, const std::string& folder, bool again) {
    // A song whose identifier cannot name its temporary file is not even looked up.
    if (!IsSafeIdentifier(wanted.song.identifier)) {
      FailUnnameable(wanted.label);
      return true;
    }
    const auto address = Address(wanted.song.identifier, wanted.label);
    if (!address) return true;

    auto start = std::chrono::steady_clock::now();
    std::size_t drawn = 0;  // the width of the progress line on the screen
    // Drawn when the run's throttle lets it: at most four redraws a second over the whole run,
    // however short each song.
    const auto draw = [&](std::int64_t received, std::int64_t announced) {
      if (!errIsTerminal_) return;
      const auto now = std::chrono::steady_clock::now();
      const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - start);
      const std::string text = ProgressText(received, announced, elapsed, wanted.label);
      const std::size_t width = DisplayWidth(Utf8ToGbk(text));
      // Spaces over what is left of a longer line before: no escape sequences, which not every
      // console reads.
      // Built piece by piece: "literal" + std::string trips a false -Wrestrict in mingw's GCC 12.
      std::string line(1, '\r');
      console_.Err(line.append(text).append(drawn > width ? drawn - width : 0, ' '));
      drawn = std::max(drawn, width);
    };
    const auto clear = [&] {
      if (drawn > 0) console_.Err(std::string(1, '\r').append(drawn, ' ').append(1, '\r'));
      drawn = 0;
    };

    SaveEvents events;
    events.keepNumberedCopy = [again](const std::string&) { return again; };
    events.started = [&] {
      start = std::chrono::steady_clock::now();
      if (redraws_.Due()) draw(0, -1);
    };
    events.progress = draw;
    events.throttle = &redraws_;
    const SaveResult result = SaveSong(*address, wanted.song, folder, events);
    clear();

    const std::string name = wanted.label + Utf8ToGbk("：");
    switch (result.outcome) {
      case SaveOutcome::kSaved:
        return Print(result.path);
      case SaveOutcome::kSavedUnderIdentifier:
        Say(name + RenameFailedStatus() + Utf8ToGbk("，已存为 ") + result.path);
        return Print(result.path);
      case SaveOutcome::kDeclined:
        Say(name + Utf8ToGbk("文件已经存在，跳过（--again 另存一份）：") + result.path);
        return true;
      case SaveOutcome::kUnsafeIdentifier:
        FailUnnameable(wanted.label);
        return true;
      case SaveOutcome::kCannotCreate:
        Fail(name + DownloadFailedStatus() + Utf8ToGbk("（无法在保存目录中建立文件：") + folder +
             Utf8ToGbk("）"));
        return true;
      case SaveOutcome::kTransferFailed:
        Fail(name + DownloadFailedStatus() + Utf8ToGbk("（服务器没有发来完整的歌曲：") + *address +
             Utf8ToGbk("）"));
        return true;
      case SaveOutcome::kWriteFailed:
        Fail(name + DownloadFailedStatus() + Utf8ToGbk("（写入文件失败）"));
        return true;
    }
    return true;
  }

  Console& console_;
  const bool outIsTerminal_ = console_.OutIsTerminal();
  const bool errIsTerminal_ = console_.ErrIsTerminal();
  bool failed_ = false;
  bool outLost_ = false;
  ProgressThrottle redraws_;  // the progress line's, over the whole run
};
}  // namespace

int RunOrnivelDl(const std::vector<std::string>& arguments, Console& console) {
  return Run(console).Main(arguments);
}

}  // namespace ornivel
