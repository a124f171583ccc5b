#include "app/cli/command_line.h"

#include <optional>

#include "service/service_host.h"
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
    "  download IDENTIFIER... [--to DIR] [--again]\n"
    "  download --search KEYWORD... (--first N | --all) [--to DIR] [--again]\n"
    "      saves each song into the save folder (the window's, from yyst.ini, unless --to DIR\n"
    "      is given) and writes each saved file's path; songs found by a search are named\n"
    "      \"singer - title.mp3\", songs given by identifier \"identifier.mp3\". A song whose\n"
    "      file exists is skipped; --again saves a numbered copy instead, as \"(1)\"\n"
    "\n"
    "  An IDENTIFIER of \"-\" reads identifiers from standard input, one a line.\n"
    "  --service HOST:PORT  the music service to ask (else ORNIVEL_SERVICE_HOST, else\n"
    "                       127.0.0.1:8089)\n"
    "  --help, --version\n"
    "\n"
    "Exit status: 0 when everything asked for was done, 1 when a song or the service failed\n"
    "(each failure is one line on standard error), 2 on a usage error.\n";

// The options that take a value.
bool TakesValue(std::string_view option) {
  return option == "--service" || option == "--to" || option == "--first";
}

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
    if (auto gbk = Utf8ToGbkExactly(line)) {
      lines.identifiers.push_back(std::move(*gbk));
    } else {
      lines.refused.emplace_back(line);
    }
  }
  return lines;
}

CliParse ParseCommandLine(const std::vector<std::string>& arguments) {
  CliParse parse;
  CliRequest& request = parse.request;
  const auto fail = [&parse](std::string problem) {
    parse.problem = std::move(problem);
    return parse;
  };

  std::optional<CliCommand> command;
  std::vector<std::string> words;  // the command's own arguments, GBK
  bool searchOption = false;
  bool help = false;
  bool version = false;
  bool optionsEnded = false;
  bool hasFolder = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string_view argument = arguments[i];
    std::string value;
    if (!optionsEnded && argument.starts_with("--") && argument.size() > 2) {
      std::string_view option = argument;
      const auto equals = argument.find('=');
      bool hasValue = false;
      if (equals != std::string_view::npos) {
        option = argument.substr(0, equals);
        value = std::string(argument.substr(equals + 1));
        hasValue = true;
      }
      if (TakesValue(option) && !hasValue) {
        if (i + 1 >= arguments.size()) return fail(std::string(option) + " needs a value");
        value = arguments[++i];
        hasValue = true;
      } else if (!TakesValue(option) && hasValue) {
        return fail(std::string(option) + " takes no value");
      }
      if (option == "--help") {
        help = true;
      } else if (option == "--version") {
        version = true;
      } else if (option == "--json") {
        request.json = true;
      } else if (option == "--all") {
        request.all = true;
      } else if (option == "--again") {
        request.again = true;
      } else if (option == "--search") {
        searchOption = true;
      } else if (option == "--first") {
        const auto count = PositiveCount(value);
        if (!count) return fail("--first needs a whole number of 1 or more, not \"" + value + "\"");
        request.first = *count;
      } else if (option == "--to") {
        auto folder = Utf8ToGbkExactly(value);
        if (!folder) return fail("the folder's name holds characters GBK cannot hold: " + value);
        if (folder->empty()) return fail("--to needs a folder");
        request.folder = std::move(*folder);
        hasFolder = true;
      } else if (option == "--service") {
        if (!IsServiceHost(value)) {
          return fail("--service needs HOST or HOST:PORT (port 1 to 65535), not \"" + value + "\"");
        }
        request.serviceHost = value;
      } else {
        return fail("unknown option " + std::string(option));
      }
      continue;
    }
    if (!optionsEnded && argument == "-h") {
      help = true;
      continue;
    }
    if (!optionsEnded && argument == "--") {
      optionsEnded = true;
      continue;
    }
    if (!command) {
      if (argument == "search") {
        command = CliCommand::kSearch;
      } else if (argument == "url") {
        command = CliCommand::kUrl;
      } else if (argument == "download") {
        command = CliCommand::kDownload;
      } else {
        return fail("unknown command \"" + std::string(argument) + "\"");
      }
      continue;
    }
    auto gbk = Utf8ToGbkExactly(argument);
    if (!gbk) return fail("an argument holds characters GBK cannot hold: " + std::string(argument));
    words.push_back(std::move(*gbk));
  }

  if (help) {
    request.command = CliCommand::kHelp;
    return parse;
  }
  if (version) {
    request.command = CliCommand::kVersion;
    return parse;
  }
  if (!command) return fail("no command given");
  request.command = *command;

  const bool isSearch = *command == CliCommand::kSearch;
  const bool isDownload = *command == CliCommand::kDownload;
  if (request.json && !isSearch) return fail("--json goes with search only");
  if (!isDownload && (hasFolder || request.again || searchOption || request.all || request.first)) {
    return fail("--to, --again, --search, --first and --all go with download only");
  }
  if (isDownload && !searchOption && (request.all || request.first)) {
    return fail("--first and --all go with download --search");
  }

  const auto joined = [&words] {
    std::string keyword;
    for (const std::string& word : words) {
      if (!keyword.empty()) keyword += ' ';
      keyword += word;
    }
    return keyword;
  };
  if (isSearch || searchOption) {
    request.keyword = joined();
    // A keyword of spaces is searched, as in the window; an empty one has nothing to search.
    if (request.keyword.empty()) return fail("no keyword given");
    if (searchOption && request.all == (request.first > 0)) {
      return fail("download --search needs either --first N or --all");
    }
    return parse;
  }
  for (std::string& word : words) {
    if (word.empty()) return fail("an empty song identifier");
    if (word == "-") {
      request.identifiersFromInput = true;
    } else {
      request.identifiers.push_back(std::move(word));
    }
  }
  if (request.identifiers.empty() && !request.identifiersFromInput) {
    return fail("no song identifier given");
  }
  return parse;
}

}  // namespace ornivel
