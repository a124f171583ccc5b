#include "service/song_address.h"

#include "http/cookie_text.h"
#include "http/http_request.h"
#include "service/service_host.h"
#include "text/text_convert.h"

namespace ornivel {

std::string AddressFirstMessage() { return Utf8ToGbk("请先获取歌曲地址"); }

void StartAddressLookup(FrontEnd& frontEnd) {
  const int row = frontEnd.SelectedRow();
  frontEnd.StartWorker([&frontEnd, row] { ResolveSongAddress(frontEnd, row); });
}

std::optional<std::string> AddressFromLookupReply(std::string_view reply) {
  const std::string server = TextBetween(reply, "mp3dl>", "</mp3dl");
  const std::string path = TextBetween(reply, "mp3path>", "</mp3path");
  // Without both values the address would be the useless http:///resource/.
  if (server.empty() || path.empty()) return std::nullopt;
  return ResourceAddress(server, path);
}

void ResolveSongAddress(FrontEnd& frontEnd, int row) {
  const std::string identifier = frontEnd.GetCellText(row, kColumnIdentifier);
  if (identifier.empty()) return;

  HttpRequestParams request;
  request.url = LookupAddress(identifier);
  const std::string reply = HttpRequest(request);
  if (HttpFailureCode(request.status) != 0) return;
  const auto address = AddressFromLookupReply(reply);
  if (!address) return;
  // The row must still hold the song that was asked for: a search may have refilled the list
  // while the service answered, and another song's row must not get this address.
  if (frontEnd.GetCellText(row, kColumnIdentifier) != identifier) return;
  frontEnd.SetCellText(row, kColumnAddress, *address);
}

void CopySongAddress(FrontEnd& frontEnd) {
  const std::string address = frontEnd.GetCellText(frontEnd.SelectedRow(), kColumnAddress);
  if (address.empty()) {
    frontEnd.ShowMessage(AddressFirstMessage(), MessageIcon::kInformation);
    return;
  }
  frontEnd.SetClipboardText(address);
}

}  // namespace ornivel
