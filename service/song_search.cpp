#include "service/song_search.h"

#include <algorithm>
#include <atomic>

#include "http/http_request.h"
#include "http/http_transport.h"
#include "regex/regex_object.h"
#include "service/service_host.h"
#include "text/gbk_text.h"
#include "text/text_convert.h"

namespace ornivel {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

// Searches are started on the window thread only; the counter tells the latest one.
std::atomic<unsigned> g_latestSearch{0};

// The cleaning passes, each a list of (find, replacement) pairs applied in order: characters a
// file name may not hold become spaces, and the singer's "&" becomes "、".
const Pairs& NamePathCharactersToSpace() {
  static const Pairs pairs = {{"?", " "}, {"\\", " "}, {"/", " "}, {":", " "}, {"*", " "}};
  return pairs;
}
const Pairs& NameQuoteBracketsAndPipeToSpace() {
  static const Pairs pairs = {{"\"", " "}, {"<", " "}, {">", " "}, {"|", " "}};
  return pairs;
}
const Pairs& SingerAmpersandAndPathCharacters() {
  static const Pairs pairs = {
      {"&", Utf8ToGbk("、")}, {"?", " "}, {"\\", " "}, {"/", " "}, {":", " "}};
  return pairs;
}
const Pairs& SingerQuoteBracketsPipeAndStarToSpace() {
  static const Pairs pairs = {{"\"", " "}, {"<", " "}, {">", " "}, {"|", " "}, {"*", " "}};
  return pairs;
}
const Pairs& AlbumQuestionMarkToSpace() {
  static const Pairs pairs = {{"?", " "}};
  return pairs;
}

// `text` with every control character (0x00 to 0x1F and 0x7F) a space: a name shows no escape,
// bell or backspace of the service's, in the list or in a saved file's name. No GBK trail byte
// is one, so no double-byte character is touched.
std::string ControlsToSpaces(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  return result;
}

}  // namespace

std::string EmptyKeywordMessage() {
  return Utf8ToGbk("你要听什么歌尽管跟我说=^_^= ");
}
std::string PatternFailedMessage() {
  return Utf8ToGbk("正则创建失败！");
}
std::string NoSongMessage() {
  return Utf8ToGbk("没有找到歌曲，尝试减少或者换一个关键词吧");
}
std::string RecordsLeftOutMessage(int listed) {
  return Utf8ToGbk("找到的歌曲太多，只列出了前 " + std::to_string(listed) + " 首");
}

std::string ReplaceMany(std::string_view text, const Pairs& pairs) {
  std::string result(text);
  for (const auto& [find, replacement] : pairs) {
    // Most names hold none of the characters: look before making a new text.
    if (TextFind(result, find, 1, /*ignoreCase=*/true) == -1) continue;
    result = TextReplace(result, find, replacement, /*ignoreCase=*/true);
  }
  return result;
}

std::string CleanSongName(std::string_view name) {
  return ReplaceMany(ReplaceMany(ControlsToSpaces(name), NamePathCharactersToSpace()),
                     NameQuoteBracketsAndPipeToSpace());
}

std::string CleanSinger(std::string_view singer) {
  return ReplaceMany(ReplaceMany(ControlsToSpaces(singer), SingerAmpersandAndPathCharacters()),
                     SingerQuoteBracketsPipeAndStarToSpace());
}

std::string CleanAlbum(std::string_view album) {
  return ReplaceMany(album, AlbumQuestionMarkToSpace());
}

std::string RequestSearchReply(const std::string& keyword, HttpStatus* status, bool* tooLong) {
  HttpRequestParams request;
  request.url = SearchAddress(UrlEncode(keyword, {.toUtf8 = true}));
  std::string reply = HttpRequest(request);
  if (status != nullptr) *status = {request.failure, request.status};
  if (tooLong != nullptr) {
    *tooLong =
        request.failure == HttpFailure::kRead && request.responseBytes.size() >= kMaxResponseBody;
  }
  // The bytes go before the conversion, so that a reply at the limit is held twice at most.
  std::vector<std::uint8_t>().swap(request.responseBytes);
  std::string gbk = Utf8ToGbk(reply);
  return gbk;
}

namespace {

// How much of a reply the first look for records takes; doubled until the records are more
// than the bound, the reply is taken whole, or kLongestRecordScan is reached. A real reply (a
// few hundred kilobytes) is taken whole at once.
constexpr std::size_t kFirstRecordScan = 4u << 20;

// Runs the song-record pattern over as much of `reply` as it takes to find more records than
// kMostSongRecords, or over all of it up to kLongestRecordScan; `more` tells whether records
// were left out. A record found before the cut is the one the whole reply gives: matches are
// found from the start on, and a later one is found only when one beyond the bound stands
// before the cut. False when the pattern fails.
bool FindSongRecords(RegexObject& records, std::string_view reply, bool* more) {
  for (std::size_t scan = kFirstRecordScan;; scan *= 2) {
    const std::string_view subject = CutAtCharacter(reply, std::min(scan, kLongestRecordScan));
    if (!records.Create(kSongRecordPattern, subject, kSongRecordOptions)) return false;
    const bool whole = subject.size() == reply.size();
    const bool beyondBound = records.MatchCount() > kMostSongRecords;
    if (beyondBound || whole || scan >= kLongestRecordScan) {
      *more = beyondBound || !whole;
      return true;
    }
  }
}

// Empties the list and appends one row per record of `records` (the song-record pattern's run
// over a reply; null when the pattern failed), up to kMostSongRecords; the number of rows. 0,
// with a message, when the pattern failed or found no record; RecordsLeftOutMessage after the
// rows when `more` were left out.
int ShowSongRecords(SongList& list, Prompts& prompts, const RegexObject* records, bool more);

}  // namespace

void SearchSongs(SongList& list, Prompts& prompts) {
  const std::string keyword = prompts.SearchText();
  if (keyword.empty()) {
    prompts.ShowMessage(EmptyKeywordMessage(), MessageIcon::kInformation);
    return;
  }
  const unsigned search = ++g_latestSearch;
  bool tooLong = false;
  const std::string reply = RequestSearchReply(keyword, nullptr, &tooLong);
  // The request handles the window's messages while it waits, and so may the parse (the
  // platform's class on Windows runs on a helper thread): the user may have started another
  // search meanwhile, whose rows then stand. The list is touched only after both, so the two
  // never mix.
  if (search != g_latestSearch.load()) return;
  RegexObject records;
  bool more = false;
  const bool parsed = FindSongRecords(records, reply, &more);
  if (search != g_latestSearch.load()) return;
  (void)ShowSongRecords(list, prompts, parsed ? &records : nullptr, more || tooLong);
}

int FillSongList(SongList& list, Prompts& prompts, const std::string& reply, bool cut) {
  RegexObject records;
  bool more = false;
  const bool parsed = FindSongRecords(records, reply, &more);
  return ShowSongRecords(list, prompts, parsed ? &records : nullptr, more || cut);
}

namespace {

int ShowSongRecords(SongList& list, Prompts& prompts, const RegexObject* records, bool more) {
  list.DeleteAllRows();
  if (records == nullptr) {
    prompts.ShowMessage(PatternFailedMessage(), MessageIcon::kError);
    return 0;
  }
  const RegexObject& regex = *records;
  const int count = std::min(regex.MatchCount(), kMostSongRecords);
  if (count == 0) {
    prompts.ShowMessage(NoSongMessage(), MessageIcon::kInformation);
    return 0;
  }
  for (int i = 1; i <= count; ++i) {
    const std::string name = CleanSongName(regex.SubMatchText(i, 2));
    const std::string singer = CleanSinger(regex.SubMatchText(i, 5));
    const std::string album = CleanAlbum(regex.SubMatchText(i, 3));
    const std::string identifier = regex.SubMatchText(i, 1);
    const int row = list.AppendRow();
    list.SetCellText(row, kColumnNumber, std::to_string(row + 1));
    list.SetCellText(row, kColumnTitle, name);
    list.SetCellText(row, kColumnSinger, singer);
    list.SetCellText(row, kColumnAlbum, album);
    list.SetCellText(row, kColumnIdentifier, identifier);
  }
  if (more) prompts.ShowMessage(RecordsLeftOutMessage(count), MessageIcon::kInformation);
  return count;
}

}  // namespace

}  // namespace ornivel
