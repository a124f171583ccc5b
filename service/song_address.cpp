#include "service/song_address.h"

#include "http/http_request.h"
#include "service/service_host.h"
#include "text/ascii.h"
#include "text/gbk_text.h"
#include "text/text_convert.h"

namespace ornivel {

std::string AddressFirstMessage() {
  return Utf8ToGbk("请先获取歌曲地址");
}
std::string LookupFailedStatus() {
  return Utf8ToGbk("获取地址失败");
}

bool IsLookupIdentifier(std::string_view identifier) {
  return !identifier.empty() && !HasAsciiControl(identifier) &&
         identifier.find_first_of(" #&?") == std::string_view::npos;
}

bool IsDownloadAddress(std::string_view cell) {
  return TextFind(cell, "http://", 1, /*ignoreCase=*/true) == 1 ||
         TextFind(cell, "https://", 1, /*ignoreCase=*/true) == 1;
}

void StartAddressLookup(SongList& list, WorkerStarter& workers) {
  const int row = list.SelectedRow();
  workers.StartWorker([&list, row] { ResolveSongAddress(list, row); });
}

std::optional<std::string> AddressFromLookupReply(std::string_view reply) {
  const std::string server = TextBetween(reply, "mp3dl>", "</mp3dl");
  const std::string path = TextBetween(reply, "mp3path>", "</mp3path");
  // Without both values the address would be the useless http:///resource/.
  if (server.empty() || path.empty() || HasAsciiControl(server) || HasAsciiControl(path)) {
    return std::nullopt;
  }
  return ResourceAddress(server, path);
}

std::optional<std::string> LookUpSongAddress(const std::string& identifier, HttpStatus* status) {
  HttpRequestParams request;
  request.url = LookupAddress(identifier);
  const std::string reply = HttpRequest(request);
  if (status != nullptr) *status = {request.failure, request.status};
  if (request.failure != HttpFailure::kNone) return std::nullopt;
  return AddressFromLookupReply(reply);
}

void ResolveSongAddress(SongList& list, int row) {
  const std::string identifier = list.GetCellText(row, kColumnIdentifier);
  if (identifier.empty()) return;

  const std::optional<std::string> address = LookUpSongAddress(identifier);
  // A failed lookup says so in the row, where the user looks; a later click tries again.
  (void)list.SetCellTextIfHolds(row, kColumnAddress, address.value_or(LookupFailedStatus()),
                                kColumnIdentifier, identifier);
}

void CopySongAddress(SongList& list, Prompts& prompts) {
  const std::string cell = list.GetCellText(list.SelectedRow(), kColumnAddress);
  // A download's status is copied as it stands; a failed lookup's status is no address.
  if (cell.empty() || cell == LookupFailedStatus()) {
    prompts.ShowMessage(AddressFirstMessage(), MessageIcon::kInformation);
    return;
  }
  prompts.SetClipboardText(cell);
}

}  // namespace ornivel
