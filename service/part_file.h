#pragma once
// A song's partial file and the record beside it, which let a later try go on where an earlier
// one stopped: "identifier.N.part" holds the bytes received so far, "identifier.N.part.resume"
// what they are part of (the address, the length the server announced, its ETag and its
// Last-Modified date).

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "service/file_system.h"

namespace ornivel {

// The song's partial file of number `number` (from 1) in `folder`: "identifier.N.part", GBK.
[[nodiscard]] std::string TemporaryFileName(std::string_view folder, std::string_view identifier,
                                            int number);

// A leftover older than this cannot be trusted to be what its server still sends.
inline constexpr std::chrono::hours kPartFileLifetime{7 * 24};

// What a partial file is part of. Texts are GBK.
struct ResumeRecord {
  std::string address;
  std::int64_t length = -1;  // announced by the server; -1 before it answered, or for none
  std::string etag;
  std::string lastModified;

  // The validator an If-Range sends: the ETag when there is one (a weak one cannot serve),
  // else the Last-Modified date; empty when the record has neither.
  [[nodiscard]] std::string Validator() const;
};

// The record as the file holds it: a line "ornivel-resume 1", then one "key value" line each.
[[nodiscard]] std::string ResumeRecordText(const ResumeRecord& record);
// nullopt when `text` is not such a record.
[[nodiscard]] std::optional<ResumeRecord> ReadResumeRecord(std::string_view text);

// The record's file beside the partial file `partPath`.
[[nodiscard]] std::string ResumeRecordPath(std::string_view partPath);

// A partial file held by one download.
struct HeldPart {
  std::unique_ptr<NewFile> file;
  std::string path;
  ResumeRecord record;  // what the file holds now, as its record says
};

// The song's partial file for a download of `address`: the first leftover of the same address
// that no other download holds (its bytes kept), or else a new one. The leftovers of the song
// that nothing can use any more (their record names another address, or they are older than
// kPartFileLifetime at `now`) are removed on the way; a file without a record is never touched.
// nullopt when no file can be made in the folder, with the reason in `why` when given.
[[nodiscard]] std::optional<HeldPart> TakePartFile(
    const std::string& folder, const std::string& identifier, const std::string& address,
    std::chrono::system_clock::time_point now = std::chrono::system_clock::now(),
    FileError* why = nullptr);

// Writes the record of `part` to the disk; false when it could not be written.
[[nodiscard]] bool SaveResumeRecord(const HeldPart& part);

// Closes the partial file and keeps it and its record for a later try.
void KeepPart(HeldPart& part);

// Removes the record and the partial file.
void DropPart(HeldPart& part);

}  // namespace ornivel
