// Helpers of the whole-program benchmarks (bench/run-service-benchmarks):
//   ornivel_bench_tool make-library DIR COUNT   COUNT small tagged MP3 files in DIR
//   ornivel_bench_tool make-big FILE MIB        one MP3 of MIB mebibytes (silent frames)
//   ornivel_bench_tool download HOST RID DIR    one download through the service code, printing
//                                               seconds and peak memory above the baseline
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

#include "service/song_address.h"
#include "service/song_download.h"
#include "service/song_list.h"
#include "tests/support/memory_front_end.h"

namespace {

std::string Frame() {
  std::string frame(417, '\0');
  frame[0] = '\xFF';
  frame[1] = '\xFB';
  frame[2] = '\x90';
  return frame;
}

long PeakKiB() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

int MakeLibrary(const std::filesystem::path& dir, int count) {
  static const char* const kWords[] = {"love", "moon", "rain", "night", "river", "heart", "star",
                                       "月亮", "晴天", "后来", "十年",  "红豆",  "告白",  "稻香"};
  static const char* const kSingers[] = {"周杰伦", "邓丽君", "Queen", "王菲", "Adele", "陈奕迅"};
  TagLib::ID3v2::FrameFactory::instance()->setDefaultTextEncoding(TagLib::String::UTF16);
  const std::string frame = Frame();
  for (int i = 0; i < count; ++i) {
    const auto path =
        dir / ("artist" + std::to_string(i % 200)) / ("song" + std::to_string(i) + ".mp3");
    std::filesystem::create_directories(path.parent_path());
    {
      std::ofstream out(path, std::ios::binary);
      for (int f = 0; f < 4; ++f) out << frame;
    }
    TagLib::MPEG::File file(path.c_str());
    auto* tag = file.ID3v2Tag(true);
    const std::string title =
        std::string(kWords[i % 14]) + " " + kWords[(i / 14) % 14] + " " + std::to_string(i);
    tag->setTitle(TagLib::String(title, TagLib::String::UTF8));
    tag->setArtist(TagLib::String(kSingers[i % 6], TagLib::String::UTF8));
    tag->setAlbum(TagLib::String("Album " + std::to_string(i % 500), TagLib::String::UTF8));
    file.save(TagLib::MPEG::File::ID3v2);
  }
  return 0;
}

int MakeBig(const std::filesystem::path& file, long mebibytes) {
  std::ofstream out(file, std::ios::binary);
  std::string block;
  const std::string frame = Frame();
  while (block.size() < (1u << 20)) block += frame;
  const long total = mebibytes << 20;
  for (long written = 0; written < total; written += static_cast<long>(block.size())) {
    out.write(block.data(),
              static_cast<std::streamsize>(std::min<long>(block.size(), total - written)));
  }
  return out ? 0 : 1;
}

int Download(const std::string& host, const std::string& rid, const std::string& dir) {
  using namespace ornivel;
  ::setenv("ORNIVEL_SERVICE_HOST", host.c_str(), 1);
  MemoryFrontEnd ui;
  ui.SetSaveFolder(dir);
  const int row = ui.AppendRow();
  ui.SetCellText(row, kColumnTitle, "big");
  ui.SetCellText(row, kColumnSinger, "bench");
  ui.SetCellText(row, kColumnIdentifier, rid);
  ResolveSongAddress(ui, row);
  const std::string address = ui.GetCellText(row, kColumnAddress);
  const long baseline = PeakKiB();
  const auto start = std::chrono::steady_clock::now();
  DownloadSong(ui, ui, row, address, ui.SaveFolder(), SaveRules{});
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("download %.3f s, peak memory %ld KiB above a baseline of %ld KiB, status ok=%d\n",
              seconds, PeakKiB() - baseline, baseline,
              ui.GetCellText(row, kColumnAddress) == DownloadedStatus());
  return ui.GetCellText(row, kColumnAddress) == DownloadedStatus() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "make-library" && argc == 4) return MakeLibrary(argv[2], std::stoi(argv[3]));
  if (mode == "make-big" && argc == 4) return MakeBig(argv[2], std::stol(argv[3]));
  if (mode == "download" && argc == 5) return Download(argv[2], argv[3], argv[4]);
  std::fprintf(stderr,
               "usage: ornivel_bench_tool make-library DIR COUNT | make-big FILE MIB | "
               "download HOST RID DIR\n");
  return 2;
}
