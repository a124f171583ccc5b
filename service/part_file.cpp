#include "service/part_file.h"

#include <algorithm>
#include <charconv>
#include <utility>
#include <vector>

#include "text/ascii.h"

namespace ornivel {
namespace {

constexpr std::string_view kRecordHeader = "ornivel-resume 1";
constexpr std::string_view kRecordSuffix = ".resume";
constexpr std::string_view kPartSuffix = ".part";
// Far more partial files than one song ever leaves; it only bounds the search for a new name.
constexpr int kMaxPartNumber = 100000;

// The N of "identifier.N.part"; nullopt for any other name.
std::optional<int> PartNumber(std::string_view name, std::string_view identifier) {
  if (!name.starts_with(identifier) || !name.ends_with(kPartSuffix)) return std::nullopt;
  name.remove_prefix(identifier.size());
  name.remove_suffix(kPartSuffix.size());
  if (name.size() < 2 || name.front() != '.' || name[1] == '0') return std::nullopt;
  name.remove_prefix(1);
  int number = 0;
  const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), number);
  if (error != std::errc() || end != name.data() + name.size() || number < 1) return std::nullopt;
  return number;
}

// A value fit for a line of the record: no line end or other control character.
bool Storable(std::string_view value) {
  return !HasAsciiControl(value);
}

void RemoveLeftover(const std::string& part, std::unique_ptr<NewFile> file) {
  (void)RemoveFile(ResumeRecordPath(part));
  file->Remove();
}

}  // namespace

std::string TemporaryFileName(std::string_view folder, std::string_view identifier, int number) {
  return JoinPath(
      folder,
      std::string(identifier).append(1, '.').append(std::to_string(number)).append(kPartSuffix));
}

std::string ResumeRecord::Validator() const {
  if (!etag.empty() && !etag.starts_with("W/")) return etag;
  return lastModified;
}

std::string ResumeRecordText(const ResumeRecord& record) {
  std::string text(kRecordHeader);
  text += "\n";
  const auto line = [&text](std::string_view key, std::string_view value) {
    if (Storable(value)) text.append(key).append(" ").append(value).append("\n");
  };
  line("address", record.address);
  line("length", std::to_string(record.length));
  if (!record.etag.empty()) line("etag", record.etag);
  if (!record.lastModified.empty()) line("last-modified", record.lastModified);
  return text;
}

std::optional<ResumeRecord> ReadResumeRecord(std::string_view text) {
  const auto nextLine = [&text]() -> std::optional<std::string_view> {
    const std::size_t end = text.find('\n');
    if (end == std::string_view::npos) return std::nullopt;
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    return line;
  };
  if (nextLine() != kRecordHeader) return std::nullopt;
  ResumeRecord record;
  bool haveAddress = false;
  bool haveLength = false;
  while (const auto line = nextLine()) {
    const std::size_t space = line->find(' ');
    if (space == std::string_view::npos) return std::nullopt;
    const std::string_view key = line->substr(0, space);
    const std::string_view value = line->substr(space + 1);
    if (key == "address") {
      record.address = value;
      haveAddress = true;
    } else if (key == "length") {
      const auto [end, error] =
          std::from_chars(value.data(), value.data() + value.size(), record.length);
      if (error != std::errc() || end != value.data() + value.size() || record.length < -1) {
        return std::nullopt;
      }
      haveLength = true;
    } else if (key == "etag") {
      record.etag = value;
    } else if (key == "last-modified") {
      record.lastModified = value;
    }  // a key of a later version is passed over
  }
  if (!text.empty() || !haveAddress || !haveLength) return std::nullopt;
  return record;
}

std::string ResumeRecordPath(std::string_view partPath) {
  return std::string(partPath).append(kRecordSuffix);
}

std::optional<HeldPart> TakePartFile(const std::string& folder, const std::string& identifier,
                                     const std::string& address,
                                     std::chrono::system_clock::time_point now, FileError* why) {
  std::vector<int> numbers;
  for (const std::string& name : FolderNames(folder)) {
    if (const auto number = PartNumber(name, identifier)) numbers.push_back(*number);
  }
  std::sort(numbers.begin(), numbers.end());

  std::optional<HeldPart> chosen;
  for (const int number : numbers) {
    const std::string path = TemporaryFileName(folder, identifier, number);
    std::unique_ptr<NewFile> file = OpenPartFile(path);
    if (!file) continue;  // another download's, or not an ordinary file
    const std::optional<std::string> text = ReadFileBytes(ResumeRecordPath(path));
    const std::optional<ResumeRecord> record = text ? ReadResumeRecord(*text) : std::nullopt;
    if (!record) continue;  // not a partial file of ours: left as it is
    const auto written = LastWriteTime(path);
    const bool stale = !written || now - *written > kPartFileLifetime;
    if (record->address != address || stale) {
      RemoveLeftover(path, std::move(file));
    } else if (!chosen) {
      chosen = HeldPart{std::move(file), path, *record};
    }
  }
  if (chosen) return chosen;

  // A name of this download's own: a leftover, or the same song downloading at this moment,
  // takes the next number's and is never truncated. Any other failure (a missing or unwritable
  // folder, a name the system refuses) ends the search for one.
  for (int number = 1; number <= kMaxPartNumber; ++number) {
    HeldPart part;
    part.path = TemporaryFileName(folder, identifier, number);
    FileError error = FileError::kNone;
    part.file = CreateNewFile(part.path, &error);
    if (part.file) {
      part.record.address = address;
      return part;
    }
    Tell(why, error);
    if (error != FileError::kNameTaken) break;
  }
  return std::nullopt;
}

bool SaveResumeRecord(const HeldPart& part) {
  return WriteFileAtomically(ResumeRecordPath(part.path), ResumeRecordText(part.record));
}

void KeepPart(HeldPart& part) {
  if (part.file) (void)part.file->Finish();
}

void DropPart(HeldPart& part) {
  (void)RemoveFile(ResumeRecordPath(part.path));
  if (part.file) part.file->Remove();
}

}  // namespace ornivel
