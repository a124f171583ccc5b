// The service code end to end, without a window: ornivel-catalog over a temporary music folder,
// the in-memory front end in place of the window. On Windows the catalog, a Linux program, is
// started through Wine and the requests cross from the Windows backends to it over loopback.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "service/song_address.h"
#include "service/song_download.h"
#include "service/song_search.h"
#include "tests/support/catalog_process.h"
#include "tests/support/environment.h"
#include "tests/support/gbk.h"
#include "tests/support/gbk_path.h"
#include "tests/support/library_test.h"
#include "tests/support/memory_front_end.h"
#include "tests/support/mp3_files.h"
#include "tests/support/song_bytes.h"
#include "tests/support/temp_dir.h"

namespace ornivel {
namespace {

namespace fs = std::filesystem;
using test::FileText;
using test::Gbk;
using test::TagStyle;
using test::Utf8Path;

class ServiceEndToEndTest : public test::SmallLibraryTest {
 protected:
  ServiceEndToEndTest() : SmallLibraryTest("service-e2e") {}

  void SetUp() override {
    SmallLibraryTest::SetUp();
    if (catalog_) test::SetEnvironment("ORNIVEL_SERVICE_HOST", catalog_->host());
    ui_.SetSaveFolder(test::GbkPath(save_));
  }
  void TearDown() override {
    ui_.WaitForWorkers();
    SmallLibraryTest::TearDown();
  }

  // The catalog again over music_ as it is now, and the program pointed at it.
  void RestartCatalog() {
    StartCatalog();
    if (catalog_) test::SetEnvironment("ORNIVEL_SERVICE_HOST", catalog_->host());
  }

  void Search(const std::string& utf8Keyword) {
    ui_.SetSearchText(Gbk(utf8Keyword));
    SearchSongs(ui_, ui_);
  }

  void LookUp(int row) {
    ui_.Select(row);
    StartAddressLookup(ui_, ui_);
    ui_.WaitForWorkers();
  }

  void Download(int row) {
    ui_.Select(row);
    StartDownload(ui_, ui_, ui_, ui_.SaveFolder());
    ui_.WaitForWorkers();
  }

  // The save folder holds one file, `utf8Name`, and it is the very bytes of `source`.
  void ExpectSavedAlone(const std::string& utf8Name, const fs::path& source) {
    const fs::path saved = save_ / Utf8Path(utf8Name);
    ASSERT_TRUE(fs::is_regular_file(saved));
    EXPECT_EQ(FileText(saved), FileText(source));
    EXPECT_EQ(std::distance(fs::directory_iterator(save_), fs::directory_iterator()), 1);
  }

  MemoryFrontEnd ui_;
};

TEST_F(ServiceEndToEndTest, SearchFillsNumberedCleanedRowsWithoutAddresses) {
  Search("周杰伦");
  ASSERT_EQ(ui_.RowCount(), 2);
  EXPECT_EQ(ui_.Row(0)[kColumnNumber], "1");
  EXPECT_EQ(ui_.Row(0)[kColumnTitle], Gbk("告白气球"));
  EXPECT_EQ(ui_.Row(0)[kColumnSinger], Gbk("周杰伦"));
  EXPECT_EQ(ui_.Row(0)[kColumnAlbum], Gbk("床边故事"));
  EXPECT_EQ(ui_.Row(0)[kColumnIdentifier].rfind("MUSIC_", 0), 0u);
  EXPECT_EQ(ui_.Row(0)[kColumnAddress], "");
  EXPECT_EQ(ui_.Row(1)[kColumnNumber], "2");

  Search("garfunkel");  // row numbers start again; the names are cleaned
  ASSERT_EQ(ui_.RowCount(), 1);
  EXPECT_EQ(ui_.Row(0)[kColumnNumber], "1");
  EXPECT_EQ(ui_.Row(0)[kColumnTitle], "Either Or  Live ");
  EXPECT_EQ(ui_.Row(0)[kColumnSinger], Gbk("Simon 、 Garfunkel"));
  EXPECT_EQ(ui_.Row(0)[kColumnAlbum], "What ");

  Search("no such song anywhere");
  EXPECT_EQ(ui_.RowCount(), 0);
  ASSERT_FALSE(ui_.Messages().empty());
  EXPECT_EQ(ui_.Messages().back().text, NoSongMessage());
}

TEST_F(ServiceEndToEndTest, LookupWritesTheAddressAndDownloadSavesTheVeryBytes) {
  Search("告白");
  ASSERT_EQ(ui_.RowCount(), 1);
  LookUp(0);
  EXPECT_EQ(ui_.Row(0)[kColumnAddress], "http://" + catalog_->host() + "/resource/jay/gaobai.mp3");
  CopySongAddress(ui_, ui_);
  EXPECT_EQ(ui_.Clipboard(), ui_.Row(0)[kColumnAddress]);

  Download(0);
  EXPECT_EQ(ui_.Row(0)[kColumnAddress], DownloadedStatus());
  ExpectSavedAlone("周杰伦 - 告白气球.mp3", music_ / "jay/gaobai.mp3");
  EXPECT_TRUE(ui_.Questions().empty());

  // The row now shows a status, not an address: a new download asks for the address first.
  Download(0);
  EXPECT_EQ(ui_.Messages().back().text, AddressFirstMessage());
}

TEST_F(ServiceEndToEndTest, ExistingTargetAsksAndNumbersOrLeavesEverything) {
  Search("告白");
  const fs::path target = save_ / Utf8Path("周杰伦 - 告白气球.mp3");
  std::ofstream(target) << "older";
  LookUp(0);
  const std::string address = ui_.Row(0)[kColumnAddress];

  ui_.QueueAnswer(false);
  Download(0);
  EXPECT_EQ(ui_.Row(0)[kColumnAddress], address);  // No: nothing changes
  EXPECT_EQ(std::distance(fs::directory_iterator(save_), fs::directory_iterator()), 1);

  ui_.QueueAnswer(true);
  Download(0);
  EXPECT_EQ(ui_.Row(0)[kColumnAddress], DownloadedStatus());
  EXPECT_EQ(FileText(save_ / Utf8Path("周杰伦 - 告白气球(1).mp3")),
            FileText(music_ / "jay/gaobai.mp3"));

  LookUp(0);
  ui_.QueueAnswer(true);
  Download(0);
  EXPECT_TRUE(fs::exists(save_ / Utf8Path("周杰伦 - 告白气球(2).mp3")));
  EXPECT_EQ(FileText(target), "older");
  ASSERT_EQ(ui_.Questions().size(), 3u);
  EXPECT_EQ(ui_.Questions()[0], FileExistsQuestion());
}

TEST_F(ServiceEndToEndTest, TwoLookupsAndTwoDownloadsAtOnce) {
  Search("周杰伦");
  ASSERT_EQ(ui_.RowCount(), 2);
  ui_.Select(0);
  StartAddressLookup(ui_, ui_);
  ui_.Select(1);
  StartAddressLookup(ui_, ui_);
  ui_.WaitForWorkers();
  EXPECT_EQ(ui_.Row(0)[kColumnAddress], "http://" + catalog_->host() + "/resource/jay/gaobai.mp3");
  EXPECT_EQ(ui_.Row(1)[kColumnAddress],
            "http://" + catalog_->host() + "/resource/jay/qingtian.mp3");

  ui_.Select(0);
  StartDownload(ui_, ui_, ui_, ui_.SaveFolder());
  ui_.Select(1);
  StartDownload(ui_, ui_, ui_, ui_.SaveFolder());
  ui_.WaitForWorkers();
  EXPECT_EQ(ui_.Row(0)[kColumnAddress], DownloadedStatus());
  EXPECT_EQ(ui_.Row(1)[kColumnAddress], DownloadedStatus());
  EXPECT_EQ(FileText(save_ / Utf8Path("周杰伦 - 告白气球.mp3")),
            FileText(music_ / "jay/gaobai.mp3"));
  EXPECT_EQ(FileText(save_ / Utf8Path("周杰伦 - 晴天.mp3")), FileText(music_ / "jay/qingtian.mp3"));
}

TEST_F(ServiceEndToEndTest, NoSelectionSendsNothingAndCopyAsksForTheAddress) {
  Search("周杰伦");
  LookUp(-1);
  EXPECT_EQ(ui_.Row(0)[kColumnAddress], "");
  ui_.Select(0);
  CopySongAddress(ui_, ui_);
  ASSERT_FALSE(ui_.Messages().empty());
  EXPECT_EQ(ui_.Messages().back().text, AddressFirstMessage());
  EXPECT_EQ(ui_.Messages().back().icon, MessageIcon::kInformation);
  EXPECT_EQ(ui_.Clipboard(), "");
}

TEST_F(ServiceEndToEndTest, TitleWithAEuroSignBeforeASlashIsSavedInTheSaveFolder) {
  // "€" is the single byte 80 in GBK: the "/" after it is a character of its own and is cleaned
  // out of the name, so the file lands in the save folder, not in a folder below it.
  test::WriteMp3(music_ / "acdc.mp3", TagStyle::kId3v2Unicode, "AC€/DC Live", "Band€", "T.N.T.",
                 40);
  RestartCatalog();
  if (HasFatalFailure()) return;

  Search("AC€");
  ASSERT_EQ(ui_.RowCount(), 1);
  EXPECT_EQ(ui_.Row(0)[kColumnTitle], Gbk("AC€ DC Live"));
  LookUp(0);
  Download(0);
  EXPECT_EQ(ui_.Row(0)[kColumnAddress], DownloadedStatus());
  ExpectSavedAlone("Band€ - AC€ DC Live.mp3", music_ / "acdc.mp3");
}

}  // namespace
}  // namespace ornivel
