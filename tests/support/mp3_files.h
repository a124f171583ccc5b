#pragma once
// Small MP3 files for tests: a run of silent MPEG-1 Layer III frames, tagged with TagLib.

#include <taglib/id3v1tag.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace ornivel::test {

// How a tag's texts are written.
enum class TagStyle {
  kNone,         // no tag at all
  kId3v2Unicode, // ID3v2 with UTF-16 text frames
  kId3v2Latin1,  // ID3v2 text frames marked Latin-1, holding the bytes given
  kId3v1,        // ID3v1 only (Latin-1 by definition), holding the bytes given
};

// Writes `frames` frames (417 bytes each) and tags them. Texts are UTF-8 for kId3v2Unicode and
// raw bytes (for example GBK) for the Latin-1 styles.
inline void WriteMp3(const std::filesystem::path& path, TagStyle style, const std::string& title,
                     const std::string& artist, const std::string& album, int frames = 40) {
  std::filesystem::create_directories(path.parent_path());
  {
    std::ofstream out(path, std::ios::binary);
    std::string frame(417, '\0');
    frame[0] = '\xFF';
    frame[1] = '\xFB';
    frame[2] = '\x90';
    frame[3] = '\x00';
    for (int i = 0; i < frames; ++i) out << frame;
  }
  if (style == TagStyle::kNone) return;
  // UTF-16 frames even for texts Latin-1 could hold; Latin-1 frames for the raw bytes.
  TagLib::ID3v2::FrameFactory::instance()->setDefaultTextEncoding(
      style == TagStyle::kId3v2Unicode ? TagLib::String::UTF16 : TagLib::String::Latin1);
  TagLib::MPEG::File file(path.c_str());
  auto text = [&](const std::string& value) {
    return style == TagStyle::kId3v2Unicode
               ? TagLib::String(value, TagLib::String::UTF8)
               : TagLib::String(TagLib::ByteVector(value.data(), static_cast<unsigned>(value.size())),
                                TagLib::String::Latin1);
  };
  TagLib::Tag* tag = style == TagStyle::kId3v1 ? static_cast<TagLib::Tag*>(file.ID3v1Tag(true))
                                               : static_cast<TagLib::Tag*>(file.ID3v2Tag(true));
  tag->setTitle(text(title));
  tag->setArtist(text(artist));
  tag->setAlbum(text(album));
  file.save(style == TagStyle::kId3v1 ? TagLib::MPEG::File::ID3v1 : TagLib::MPEG::File::ID3v2,
            TagLib::File::StripOthers);
}

}  // namespace ornivel::test
