#include "app/cli/command_line.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <utility>

#include "app/cli/song_lines.h"
#include "service/service_host.h"
#include "service/song_search.h"
#include "text/text_convert.h"

namespace ornivel {
namespace {

constexpr std::string_view kUsage =
    "usage: ornivel-dl [--service HOST:PORT] COMMAND ...\n"
    "\n"
    "  search KEYWORD... [--json]\n"
    "      the songs the window lists for KEYWORD (several words are joined by spaces), one line\n"
    "      each: number, title, singer, album, identifier; --json writes one JSON object a line\n"
    "      with index, id, title, singer and album instead\n"
    "  url IDENTIFIER...\n"
    "      the download address of each song, one a line\n"
    "  download IDENTIFIER... [--to DIR] [--again] [-j N]\n"
    "  download --search KEYWORD... (--first N | --all) [--to DIR] [--again] [-j N]\n"
    "      saves each song into the save folder (the window's, from yyst.ini, unless --to DIR\n"
    "      is given) and writes each saved file's path, in the order the songs were given;\n"
    "      songs found by a search are named \"singer - title.mp3\", songs given by identifier\n"
    "      \"identifier.mp3\". A song whose file exists is skipped; --again saves a numbered\n"
    "      copy instead, as \"(1)\". -j N, --jobs N saves N songs at once (1 to 16, default 3).\n"
    "      A failed transfer is tried up to 3 times; an interrupted or failed one leaves its\n"
    "      \"identifier.N.part\" file, and the next download of the song goes on from there\n"
    "\n"
    "  An IDENTIFIER of \"-\" reads songs from standard input, one a line: an identifier, or\n"
    "  a line of search --json, which names the file \"singer - title.mp3\" as the search would.\n"
    "  --service HOST:PORT  the music service to ask (else ORNIVEL_SERVICE_HOST, else\n"
    "                       127.0.0.1:8089)\n"
    "  --help, --version\n"
    "\n"
    "Exit status: 0 when everything asked for was done, 1 when a song or the service failed\n"
    "(each failure is one line on standard error), 2 on a usage error, 128 + the signal\n"
    "(130 for Ctrl+C) when interrupted.\n";

std::optional<int> PositiveCount(std::string_view text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  int value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < 1) return std::nullopt;
  return value;
}

// What the arguments said, as they were read: the request, and what is checked once all of them
// are in.
struct Reading {
  CliRequest request;
  std::optional<CliCommand> command;
  std::vector<std::string> words;  // the command's own arguments, GBK
  bool help = false;
  bool version = false;
  bool json = false;    // search --json
  bool search = false;  // download --search
  bool all = false;     // download --search --all
  bool again = false;   // download --again
  bool folder = false;  // --to
  bool jobs = false;    // --jobs
};

// What an option with a value does with it; the problem it finds in it, empty when none.
using ValueRule = std::string (*)(Reading& reading, const std::string& value);

std::string TakeFirst(Reading& reading, const std::string& value) {
  const auto count = PositiveCount(value);
  if (!count) return "--first needs a whole number of 1 or more, not \"" + value + "\"";
  reading.request.first = *count;
  return {};
}

std::string TakeFolder(Reading& reading, const std::string& value) {
  auto folder = Utf8ToGbkExactly(value);
  if (!folder) return "the folder's name holds characters GBK cannot hold: " + value;
  if (folder->empty()) return "--to needs a folder";
  reading.request.folder = std::move(*folder);
  reading.folder = true;
  return {};
}

std::string TakeJobs(Reading& reading, const std::string& value) {
  const auto count = PositiveCount(value);
  if (!count || *count > kMostJobs) {
    return "--jobs needs a whole number from 1 to " + std::to_string(kMostJobs) + ", not \"" +
           value + "\"";
  }
  reading.request.jobs = *count;
  reading.jobs = true;
  return {};
}

std::string TakeService(Reading& reading, const std::string& value) {
  if (!IsServiceHost(value)) {
    return "--service needs HOST or HOST:PORT (port 1 to 65535), not \"" + value + "\"";
  }
  reading.request.serviceHost = value;
  return {};
}

// The options, each named once: a flag sets its field of the reading; an option with a value
// hands it to its rule.
struct OptionRule {
  std::string_view name;
  bool Reading::*flag;
  ValueRule takeValue;
};
constexpr OptionRule kOptions[] = {
    {"--help", &Reading::help, nullptr},   {"--version", &Reading::version, nullptr},
    {"--json", &Reading::json, nullptr},   {"--all", &Reading::all, nullptr},
    {"--again", &Reading::again, nullptr}, {"--search", &Reading::search, nullptr},
    {"--first", nullptr, &TakeFirst},      {"--to", nullptr, &TakeFolder},
    {"--service", nullptr, &TakeService},  {"--jobs", nullptr, &TakeJobs},
};

constexpr std::pair<std::string_view, CliCommand> kCommands[] = {
    {"search", CliCommand::kSearch},
    {"url", CliCommand::kUrl},
    {"download", CliCommand::kDownload}};

// Reads the arguments one by one into `reading`: the options by the table, the first other word
// as the command, the rest as its words. The problem, empty when there is none.
std::string ReadArguments(const std::vector<std::string>& arguments, Reading& reading) {
  bool optionsEnded = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string spelled = arguments[i];
    // -j N and -jN are --jobs N (a word such as "-jazz" stays a word).
    if (!optionsEnded && spelled.starts_with("-j") &&
        spelled.find_first_not_of("0123456789", 2) == std::string::npos) {
      spelled = spelled.size() > 2 ? "--jobs=" + spelled.substr(2) : "--jobs";
    }
    const std::string_view argument = spelled;
    if (!optionsEnded && argument.starts_with("--") && argument.size() > 2) {
      const auto equals = argument.find('=');
      const std::string_view name = argument.substr(0, equals);
      const auto rule = std::find_if(std::begin(kOptions), std::end(kOptions),
                                     [name](const OptionRule& r) { return r.name == name; });
      const bool known = rule != std::end(kOptions);
      const bool takesValue = known && rule->takeValue != nullptr;
      // A value given to an option that takes none is said first, known or not.
      if (equals != std::string_view::npos && !takesValue) {
        return std::string(name) + " takes no value";
      }
      if (!known) return "unknown option " + std::string(name);
      std::string value;
      if (equals != std::string_view::npos) {
        value = std::string(argument.substr(equals + 1));
      } else if (takesValue) {
        if (i + 1 >= arguments.size()) return std::string(name) + " needs a value";
        value = arguments[++i];
      }
      if (!takesValue) {
        reading.*(rule->flag) = true;
      } else if (std::string problem = rule->takeValue(reading, value); !problem.empty()) {
        return problem;
      }
    } else if (!optionsEnded && argument == "-h") {
      reading.help = true;
    } else if (!optionsEnded && argument == "--") {
      optionsEnded = true;
    } else if (!reading.command) {
      const auto command = std::find_if(std::begin(kCommands), std::end(kCommands),
                                        [argument](const auto& c) { return c.first == argument; });
      if (command == std::end(kCommands)) {
        return "unknown command \"" + std::string(argument) + "\"";
      }
      reading.command = command->second;
    } else {
      auto gbk = Utf8ToGbkExactly(argument);
      if (!gbk) return "an argument holds characters GBK cannot hold: " + std::string(argument);
      reading.words.push_back(std::move(*gbk));
    }
  }
  return {};
}

// Whether the options read go with the command; the problem, empty when they do.
std::string CheckOptions(const Reading& reading) {
  const CliCommand command = *reading.command;
  const bool pick = reading.all || reading.request.first;
  if (reading.json && command != CliCommand::kSearch) {
    return "--json goes with search only";
  }
  if (command != CliCommand::kDownload &&
      (reading.folder || reading.again || reading.search || pick || reading.jobs)) {
    return "--to, --again, --search, --first, --all and --jobs go with download only";
  }
  if (command == CliCommand::kDownload && !reading.search && pick) {
    return "--first and --all go with download --search";
  }
  return {};
}

// The command's words taken into the request: the keyword of a search (which then needs one of
// --first N and --all), else the identifiers. The problem, empty when there is none.
std::string CollectWords(Reading& reading) {
  CliRequest& request = reading.request;
  if (request.command == CliCommand::kSearch || reading.search) {
    for (const std::string& word : reading.words) {
      if (!request.keyword.empty()) request.keyword += ' ';
      request.keyword += word;
    }
    // A keyword of spaces is searched, as in the window; an empty one has nothing to search.
    if (request.keyword.empty()) return "no keyword given";
    if (reading.search && reading.all == request.first.has_value()) {
      return "download --search needs either --first N or --all";
    }
    return {};
  }
  for (std::string& word : reading.words) {
    if (word.empty()) return "an empty song identifier";
    if (word == "-") {
      request.identifiersFromInput = true;
    } else {
      request.identifiers.push_back(std::move(word));
    }
  }
  if (request.identifiers.empty() && !request.identifiersFromInput) {
    return "no song identifier given";
  }
  return {};
}

}  // namespace

std::string_view CliUsage() {
  return kUsage;
}

IdentifierLines ReadIdentifierLines(std::string_view utf8) {
  IdentifierLines lines;
  if (utf8.starts_with("\xEF\xBB\xBF")) utf8.remove_prefix(3);
  while (!utf8.empty()) {
    const auto end = utf8.find('\n');
    std::string_view line = utf8.substr(0, end);
    utf8 = end == std::string_view::npos ? std::string_view() : utf8.substr(end + 1);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
      line.remove_suffix(1);
    }
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    if (line.empty()) continue;
    if (line.starts_with("{")) {
      if (auto song = ReadSongJsonLine(line)) {
        // Named as a search names it when the line gives a title; an identifier alone names
        // the file after itself, as a plain line does.
        const bool named = !song->title.empty();
        lines.songs.push_back({std::move(song->identifier), CleanSinger(song->singer),
                               CleanSongName(song->title), named});
      } else {
        lines.refused.emplace_back(line);
      }
    } else if (auto gbk = Utf8ToGbkExactly(line)) {
      lines.songs.push_back({std::move(*gbk), {}, {}, false});
    } else {
      lines.refused.emplace_back(line);
    }
  }
  return lines;
}

CliParse ParseCommandLine(const std::vector<std::string>& arguments) {
  Reading reading;
  // The request as far as it was read, with the problem found, if any.
  const auto finish = [&reading](std::string problem) {
    reading.request.json = reading.json;
    reading.request.again = reading.again;
    return CliParse{std::move(reading.request), std::move(problem)};
  };
  if (std::string problem = ReadArguments(arguments, reading); !problem.empty()) {
    return finish(std::move(problem));
  }
  if (reading.help || reading.version) {
    reading.request.command = reading.help ? CliCommand::kHelp : CliCommand::kVersion;
    return finish({});
  }
  if (!reading.command) return finish("no command given");
  reading.request.command = *reading.command;
  std::string problem = CheckOptions(reading);
  if (problem.empty()) problem = CollectWords(reading);
  return finish(std::move(problem));
}

}  // namespace ornivel
