#pragma once
// Song address resolution: where a song's MP3 file lies, written into its row's column 5.

#include <optional>
#include <string>
#include <string_view>

#include "http/http_failure.h"
#include "service/prompts.h"
#include "service/song_list.h"
#include "service/worker_starter.h"

namespace ornivel {

// Bound to a left click on the list: starts a worker running ResolveSongAddress for the row
// selected now, so that two quick clicks on two rows look up one row each.
void StartAddressLookup(SongList& list, WorkerStarter& workers);

// On a worker: asks the service for row `row`'s file and writes the download address into
// column 5 of that row, or LookupFailedStatus() when the request fails or the reply lacks the
// file server or the file path. Nothing is asked when the row has no identifier (no row
// selected: -1), and nothing is written once the row holds another song (a new search refilled
// the list meanwhile).
void ResolveSongAddress(SongList& list, int row);

// Asks the service where the song `identifier` lies: its download address, or nullopt when the
// request failed or the reply lacks the file server or the file path. `status`, when given,
// receives the request's outcome.
[[nodiscard]] std::optional<std::string> LookUpSongAddress(const std::string& identifier,
                                                           HttpStatus* status = nullptr);

// The download address a lookup reply gives: "http://" + server + "/resource/" + path, the two
// values cut out between "mp3dl>" and "</mp3dl" and between "mp3path>" and "</mp3path".
// nullopt when either value is missing or empty, or holds a control character (a line break or
// an escape in an address is no address, and must not reach a request or a terminal).
[[nodiscard]] std::optional<std::string> AddressFromLookupReply(std::string_view reply);

// Whether `identifier` can be asked for as it is: not empty, and without white space, control
// characters, "#", "&" or "?", which would end or change the lookup's query. The service's own
// identifiers always are; a front end that takes identifiers from people checks them first.
[[nodiscard]] bool IsLookupIdentifier(std::string_view identifier);

// Bound to "复制歌曲地址": puts the selected row's column 5 on the clipboard, or asks the user
// to get the address first when it is empty or holds a failed lookup's status.
void CopySongAddress(SongList& list, Prompts& prompts);

// Whether column 5 holds a download address, not a status text (or nothing).
[[nodiscard]] bool IsDownloadAddress(std::string_view cell);

// "请先获取歌曲地址" and "获取地址失败", in GBK.
[[nodiscard]] std::string AddressFirstMessage();
[[nodiscard]] std::string LookupFailedStatus();

}  // namespace ornivel
