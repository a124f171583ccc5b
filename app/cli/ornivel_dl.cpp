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
      std::string problem;
      for (std::string& identifier : IdentifierLines(console_.ReadInput(), problem)) {
        request.identifiers.push_back(std::move(identifier));
      }
      if (!problem.empty()) return Usage(problem);
      if (request.identifiers.empty()) return Usage("no song identifier on standard input");
    }
    if (!request.serviceHost.empty()) SetServiceHost(request.serviceHost);

    switch (request.command) {
      case CliCommand::kHelp:
        console_.Out(CliUsage());
        return kDone;
      case CliCommand::kVersion:
        console_.Out("ornivel-dl " ORNIVEL_VERSION "\n");
        return kDone;
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
    console_.Err("ornivel-dl: " + problem + "\nTry 'ornivel-dl --help'.\n");
    return kUsageError;
  }

  // A failure line: "ornivel-dl: " and the GBK text.
  void Fail(const std::string& gbk) {
    console_.Err("ornivel-dl: " + GbkToUtf8(gbk) + "\n");
    failed_ = true;
  }

  // The songs the window would list for the keyword, in its order; nullopt when the service
  // could not be asked (said on standard error). An empty list has said why.
  std::optional<std::vector<SongLine>> FindSongs(const std::string& keyword) {
    std::string status;
    const std::string reply = RequestSearchReply(keyword, &status);
    if (HttpFailureCode(status) != 0) {
      Fail(Utf8ToGbk("搜索失败：") + status);
      return std::nullopt;
    }
    MemorySongList list;
    CommandLinePrompts prompts(keyword);
    const int count = FillSongList(list, prompts, reply);
    std::vector<SongLine> songs;
    for (int row = 0; row < count; ++row) {
      const std::vector<std::string> cells = list.Row(row);
      songs.push_back({row + 1, cells[kColumnTitle], cells[kColumnArtist], cells[kColumnAlbum],
                       cells[kColumnIdentifier]});
    }
    if (count == 0) {
      // No record (a message), or the pattern could not run (an error).
      console_.Err("ornivel-dl: " + GbkToUtf8(prompts.message()) + "\n");
      if (prompts.icon() == MessageIcon::kError) failed_ = true;
    }
    return songs;
  }

  int Search(const CliRequest& request) {
    const auto songs = FindSongs(request.keyword);
    if (songs) {
      if (request.json) {
        std::string lines;
        for (const SongLine& song : *songs) lines += SongJsonLine(song);
        console_.Out(lines);
      } else {
        console_.Out(SongTableLines(*songs));
      }
    }
    return failed_ ? kFailed : kDone;
  }

  // The song's download address, or nullopt with the reason said.
  std::optional<std::string> Address(const std::string& identifier, const std::string& label) {
    std::string status;
    auto address = LookUpSongAddress(identifier, &status);
    if (!address) {
      const bool requestFailed = HttpFailureCode(status) != 0;
      Fail(label + Utf8ToGbk("：") + LookupFailedStatus() + Utf8ToGbk("（") +
           (requestFailed ? status : Utf8ToGbk("回复中没有歌曲的文件地址，状态 ") + status) +
           Utf8ToGbk("）"));
    }
    return address;
  }

  int Urls(const CliRequest& request) {
    for (const std::string& identifier : request.identifiers) {
      if (auto address = Address(identifier, identifier)) console_.Out(GbkToUtf8(*address) + "\n");
    }
    return failed_ ? kFailed : kDone;
  }

  int Download(const CliRequest& request) {
    std::vector<Wanted> wanted;
    if (!request.keyword.empty()) {
      const auto songs = FindSongs(request.keyword);
      if (!songs) return kFailed;
      if (songs->empty()) return kFailed;  // nothing to download; the reason was said
      const std::size_t count =
          request.all ? songs->size()
                      : std::min(songs->size(), static_cast<std::size_t>(request.first));
      for (std::size_t i = 0; i < count; ++i) {
        const SongLine& line = (*songs)[i];
        wanted.push_back({{line.identifier, line.singer, line.title, false},
                          line.singer + " - " + line.title + " (" + line.identifier + ")"});
      }
    } else {
      for (const std::string& identifier : request.identifiers) {
        wanted.push_back({{identifier, {}, {}, true}, identifier});
      }
    }

    const std::string folder =
        !request.folder.empty() ? request.folder : CurrentSaveFolder(CurrentProgramPaths());
    if (!PathExists(folder)) {
      Fail(Utf8ToGbk("保存目录不存在：") + folder);
      return kFailed;
    }
    for (const Wanted& song : wanted) Save(song, folder, request.again);
    return failed_ ? kFailed : kDone;
  }

  void Save(const Wanted& wanted, const std::string& folder, bool again) {
    const auto address = Address(wanted.song.identifier, wanted.label);
    if (!address) return;

    const bool drawProgress = console_.ErrIsTerminal();
    auto start = std::chrono::steady_clock::now();
    std::size_t drawn = 0;  // the width of the progress line on the screen
    const auto draw = [&](std::int64_t received, std::int64_t announced) {
      if (!drawProgress) return;
      const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
          std::chrono::steady_clock::now() - start);
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
      draw(0, -1);
    };
    events.progress = draw;
    const SaveResult result = SaveSong(*address, wanted.song, folder, events);
    clear();

    const std::string name = wanted.label + Utf8ToGbk("：");
    switch (result.outcome) {
      case SaveOutcome::kSaved:
        console_.Out(GbkToUtf8(result.path) + "\n");
        return;
      case SaveOutcome::kSavedUnderIdentifier:
        console_.Out(GbkToUtf8(result.path) + "\n");
        console_.Err("ornivel-dl: " +
                     GbkToUtf8(name + RenameFailedStatus() + Utf8ToGbk("，已存为 ") + result.path) +
                     "\n");
        return;
      case SaveOutcome::kDeclined:
        console_.Err(
            "ornivel-dl: " +
            GbkToUtf8(name + Utf8ToGbk("文件已经存在，跳过（--again 另存一份）：") + result.path) +
            "\n");
        return;
      case SaveOutcome::kUnsafeIdentifier:
        Fail(name + DownloadFailedStatus() + Utf8ToGbk("（标识不能用作文件名）"));
        return;
      case SaveOutcome::kCannotCreate:
        Fail(name + DownloadFailedStatus() + Utf8ToGbk("（无法在保存目录中建立文件：") + folder +
             Utf8ToGbk("）"));
        return;
      case SaveOutcome::kTransferFailed:
        Fail(name + DownloadFailedStatus() + Utf8ToGbk("（服务器没有发来完整的歌曲：") + *address +
             Utf8ToGbk("）"));
        return;
      case SaveOutcome::kWriteFailed:
        Fail(name + DownloadFailedStatus() + Utf8ToGbk("（写入文件失败）"));
        return;
    }
  }

  Console& console_;
  bool failed_ = false;
};

}  // namespace

int RunOrnivelDl(const std::vector<std::string>& arguments, Console& console) {
  return Run(console).Main(arguments);
}

}  // namespace ornivel
