#pragma once
// ornivel-dl's command line: what it is asked to do, read from its arguments.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ornivel {

enum class CliCommand { kHelp, kVersion, kSearch, kUrl, kDownload };

// Songs a download saves at once unless told otherwise, and at most.
inline constexpr int kDefaultJobs = 3;
inline constexpr int kMostJobs = 16;

// One run's request. Texts are GBK, as everywhere in the program.
struct CliRequest {
  CliCommand command = CliCommand::kHelp;
  std::string keyword;                   // search; download --search
  std::vector<std::string> identifiers;  // url, download
  bool identifiersFromInput = false;     // "-" among the identifiers: one per line on stdin
  bool json = false;                     // search --json
  // download --search: the first N songs found (--first N); nullopt for every one (--all).
  std::optional<int> first;
  std::string folder;       // download --to DIR; empty for the saved setting
  bool again = false;       // download --again: a numbered copy of a saved song
  int jobs = kDefaultJobs;  // download -j N, --jobs N: songs saved at once
  std::string serviceHost;  // --service HOST:PORT; empty for the usual one
};

// The arguments (UTF-8, after the program's name) read as a request; `problem` says what is
// wrong when they cannot be (a usage error), and is empty otherwise.
struct CliParse {
  CliRequest request;
  std::string problem;
};
[[nodiscard]] CliParse ParseCommandLine(const std::vector<std::string>& arguments);

// The text of --help.
[[nodiscard]] std::string_view CliUsage();

// One song given on standard input: a plain identifier line, or a line of `search --json`,
// which names the song as the search did. Texts GBK.
struct InputSong {
  std::string identifier;
  std::string singer;
  std::string title;
  bool named = false;  // a search's line: saved as "singer - title.mp3"
};

// Songs given one per line (UTF-8, a byte-order mark in front skipped) as GBK: each line
// without its line end and the spaces around it, an identifier, or a JSON object as
// `search --json` writes it (a line that begins with "{"; named when it gives a title); blank
// lines are skipped. A line that
// GBK cannot hold, or a JSON line that cannot be read, is refused on its own, as it was given.
struct IdentifierLines {
  std::vector<InputSong> songs;
  std::vector<std::string> refused;
};
[[nodiscard]] IdentifierLines ReadIdentifierLines(std::string_view utf8);

}  // namespace ornivel
