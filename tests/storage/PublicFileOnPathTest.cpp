#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "PublicFileFormat.h"
#include "PublicFileTestSupport.h"
#include "ResourceIds.h"
#include "qv/ResourceText.h"

namespace {

class PublicFileOnPath : public PublicFileTest {
 protected:
  std::string file = scratch.WindowsPath("kategorie.txt");
};

TEST_F(PublicFileOnPath, MessagesAreThePolishResourceStrings) {
  EXPECT_EQ("Nie mo\xBFna otworzy\xE6 pliku X:\\a.txt.", Qv::FormatText(IDS_CANNOT_OPEN_FILE, "X:\\a.txt"));
  EXPECT_EQ("Podany plik z publicznymi kategoriami nie istnieje.\nCzy chcesz go utworzy\xE6 ?",
            Qv::LoadText(IDS_PUBLIC_FILE_CREATE_QUESTION));
  EXPECT_EQ("B\xB3\xB9" "d podczas tworzenia pliku na serwerze host", Qv::FormatText(IDS_SERVER_CREATE_FAILED, "host"));
  EXPECT_EQ("Plik z publicznymi kategoriami jest niedost\xEApny.\n", Qv::LoadText(IDS_FTP_FILE_UNAVAILABLE));
}

TEST_F(PublicFileOnPath, ReadsCategoriesAndKeepsALocalCopyOfTheAcceptedLines) {
  Put(file, "Projekt;7\r\n\r\n;;\r\nKlient A;3\r\n   ;5\r\nPilne\r\n");
  CPublicCategoryFile publicFile(FileAt(file));
  EXPECT_EQ(AFX_INET_SERVICE_FILE, publicFile.GetServiceType());
  EXPECT_EQ(LocalCopy(), publicFile.GetLocalCopyPath());
  const std::int64_t before = CLocalCopyTime::Now();
  ASSERT_TRUE(publicFile.Read(true)) << publicFile.GetLastErrorText();
  EXPECT_EQ("Projekt=7 Klient A=3 Pilne=0 ", Names(publicFile.GetCategories()));
  EXPECT_EQ("Projekt;7\r\nKlient A;3\r\n   ;5\r\nPilne\r\n", Contents(LocalCopy()));
  EXPECT_GE(CLocalCopyTime::Instance().Get(), before);
  EXPECT_LE(CLocalCopyTime::Instance().Get(), CLocalCopyTime::Now());
}

TEST_F(PublicFileOnPath, FreshLocalCopyStandsInForTheFile) {
  Put(file, "Stara;1\r\n");
  ASSERT_TRUE(CPublicCategoryFile(FileAt(file)).Read(true));
  Put(file, "Nowa;2\r\n");

  CPublicCategoryFile fromCopy(FileAt(file));
  ASSERT_TRUE(fromCopy.Read(true));
  EXPECT_EQ("Stara=1 ", Names(fromCopy.GetCategories())) << "within the interval the copy is read";

  CPublicCategoryFile fromFile(FileAt(file));
  ASSERT_TRUE(fromFile.Read(false));
  EXPECT_EQ("Nowa=2 ", Names(fromFile.GetCategories())) << "Read(false) always goes to the file";
  EXPECT_EQ("Nowa;2\r\n", Contents(LocalCopy()));
}

TEST_F(PublicFileOnPath, ExpiredOrDisabledCopyIsNotUsed) {
  for (int interval : {0, -5}) {
    SetInterval(interval);
    Put(file, "Stara;1\r\n");
    ASSERT_TRUE(CPublicCategoryFile(FileAt(file)).Read(true));
    Put(file, "Nowa;2\r\n");
    CPublicCategoryFile again(FileAt(file));
    ASSERT_TRUE(again.Read(true));
    EXPECT_EQ("Nowa=2 ", Names(again.GetCategories())) << "interval " << interval;
  }
  SetInterval(60);
  CLocalCopyTime::Instance().Set(CLocalCopyTime::Now() - 61);
  Put(file, "Najnowsza;3\r\n");
  CPublicCategoryFile expired(FileAt(file));
  ASSERT_TRUE(expired.Read(true));
  EXPECT_EQ("Najnowsza=3 ", Names(expired.GetCategories()));
}

TEST_F(PublicFileOnPath, AccessCheckAfterReadingTheCopyProbesTheCopy) {
  Put(file, "A;1\r\n");
  ASSERT_TRUE(CPublicCategoryFile(FileAt(file)).Read(true));
  ReadOnlyFile readOnly(scratch, "kategorie.txt");
  if (!readOnly.Applied()) GTEST_SKIP() << "this file system cannot make a file immutable (chattr +i)";
  CPublicCategoryFile publicFile(FileAt(file));
  EXPECT_EQ(AccessReadOnly, publicFile.CheckAccess());
  ASSERT_TRUE(publicFile.Read(true));
  EXPECT_EQ(AccessReadWrite, publicFile.CheckAccess()) << "the writable local copy is probed";
}

TEST_F(PublicFileOnPath, FreshCopyThatCannotBeOpenedFails) {
  Put(file, "A;1\r\n");
  ASSERT_TRUE(CPublicCategoryFile(FileAt(file)).Read(true));
  ASSERT_TRUE(DeleteFileA(LocalCopy().c_str()));
  CPublicCategoryFile publicFile(FileAt(file));
  EXPECT_FALSE(publicFile.Read(true));
  EXPECT_EQ(Qv::FormatText(IDS_NO_EDIT_RIGHTS, LocalCopy()), publicFile.GetLastErrorText());
}

TEST_F(PublicFileOnPath, ReadFailuresSayWhy) {
  struct Case {
    std::string location;
    std::string message;
  } cases[] = {
      {scratch.WindowsPath("brak.txt"), Qv::FormatText(IDS_CANNOT_OPEN_FILE, scratch.WindowsPath("brak.txt"))},
      {scratch.WindowsPath(""), Qv::FormatText(IDS_CANNOT_OPEN_FILE, scratch.WindowsPath(""))},
      {"\\\\nieistniejacy-serwer\\udzial\\k.txt",
       Qv::FormatText(IDS_CANNOT_OPEN_FILE, "\\\\nieistniejacy-serwer\\udzial\\k.txt")},
      {"", Qv::LoadText(IDS_INVALID_PATH)},
      {"kategorie.txt", Qv::LoadText(IDS_INVALID_PATH)},
      {"https://127.0.0.1/k.txt", Qv::LoadText(IDS_UNSUPPORTED_PROTOCOL)},
      {"gopher://127.0.0.1/k.txt", Qv::LoadText(IDS_UNSUPPORTED_PROTOCOL)},
  };
  for (const Case& c : cases) {
    CPublicCategoryFile publicFile(FileAt(c.location));
    publicFile.GetCategories() = {{"bez zmian", 1}};
    EXPECT_FALSE(publicFile.Read(false)) << c.location;
    EXPECT_EQ(c.message, publicFile.GetLastErrorText()) << c.location;
    EXPECT_EQ("bez zmian=1 ", Names(publicFile.GetCategories())) << "a failed read leaves the list";
  }
  EXPECT_EQ(0, CLocalCopyTime::Instance().Get());
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(LocalCopy().c_str())) << "no copy made";
}

TEST_F(PublicFileOnPath, UnsupportedKindsAreNeitherReachableNorWritable) {
  CPublicCategoryFile publicFile(FileAt("https://127.0.0.1/k.txt"));
  EXPECT_EQ(AccessNoConnection, publicFile.CheckAccess());
  EXPECT_EQ("", publicFile.GetLastErrorText());
  EXPECT_FALSE(publicFile.Create());
  publicFile.GetCategories() = {{"A", 1}};
  EXPECT_FALSE(publicFile.Write()) << "nothing was stored, so the save must not succeed";
  EXPECT_EQ(Qv::LoadText(IDS_UNSUPPORTED_PROTOCOL), publicFile.GetLastErrorText());
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(PublicFileOnPath, BadContentGivesASaneList) {
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 7919 + 13) & 0xFF);
  const std::string longName(5 * 1024 * 1024, 'x');
  std::string manyLines;
  for (int i = 0; i < 100000; ++i) manyLines += "Kategoria " + std::to_string(i) + ";" + std::to_string(i % 26) + "\r\n";

  struct Case {
    const char* what;
    std::string content;
    size_t count;
    std::string firstName;
  } cases[] = {
      {"empty file", "", 0, ""},
      {"byte-order mark", "\xEF\xBB\xBFPierwsza;1\r\nDruga;2\r\n", 2, "\xEF\xBB\xBFPierwsza"},
      {"5 MB single line", longName + ";4", 1, longName},
      {"100,000 lines", manyLines, 100000, "Kategoria 0"},
      {"NUL inside a line", std::string("Przed\0Po;3\r\nNast\xEApna;4\r\n", 24), 2, "Przed"},
      {"line ends only", "\r\n\n\r\n", 0, ""},
  };
  for (const Case& c : cases) {
    Put(file, c.content);
    CPublicCategoryFile publicFile(FileAt(file));
    ASSERT_TRUE(publicFile.Read(false)) << c.what << ": " << publicFile.GetLastErrorText();
    ASSERT_EQ(c.count, publicFile.GetCategories().size()) << c.what;
    if (c.count) {
      EXPECT_EQ(c.firstName, publicFile.GetCategories()[0].name) << c.what;
    }
  }
  Put(file, garbage);
  CPublicCategoryFile binary(FileAt(file));
  EXPECT_TRUE(binary.Read(false)) << "binary garbage is read as whatever lines it holds";
  for (const CCategoryItem& item : binary.GetCategories()) {
    EXPECT_EQ(std::string::npos, item.name.find('\0'));
    EXPECT_EQ(std::string::npos, item.name.find(','));
    EXPECT_GE(item.colour, 0);
    EXPECT_LE(item.colour, 25);
  }
}

TEST_F(PublicFileOnPath, WriteStoresTheListAndRefreshesTheCopy) {
  Put(file, "Stara;1\r\n");
  CPublicCategoryFile publicFile(FileAt(file));
  publicFile.GetCategories() = {{"Alfa", 3}, {"Beta", 0}};
  ASSERT_TRUE(publicFile.Write()) << publicFile.GetLastErrorText();
  EXPECT_EQ("Alfa;3\r\nBeta;0\r\n", Contents(file));
  EXPECT_EQ("Alfa;3\r\nBeta;0\r\n", Contents(LocalCopy()));
  EXPECT_GT(CLocalCopyTime::Instance().Get(), 0);

  publicFile.GetCategories().clear();
  ASSERT_TRUE(publicFile.Write());
  EXPECT_EQ("", Contents(file));
  EXPECT_EQ("", Contents(LocalCopy()));
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(PublicFileOnPath, WriteCreatesAMissingFileAndLeavesNoTemporaryFiles) {
  CPublicCategoryFile publicFile(FileAt(file));
  publicFile.GetCategories() = {{"Nowa", 5}};
  ASSERT_TRUE(publicFile.Write()) << publicFile.GetLastErrorText();
  EXPECT_EQ("Nowa;5\r\n", Contents(file));
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA(scratch.WindowsPath("*").c_str(), &found);
  ASSERT_NE(INVALID_HANDLE_VALUE, find);
  int files = 0;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++files;
  } while (FindNextFileA(find, &found));
  FindClose(find);
  EXPECT_EQ(1, files) << "only the public file is left in its folder";
}

TEST_F(PublicFileOnPath, WriteToAReadOnlyFileFailsAndChangesNothing) {
  Put(file, "Stara;1\r\n");
  {
    ReadOnlyFile readOnly(scratch, "kategorie.txt");
    if (!readOnly.Applied()) GTEST_SKIP() << "this file system cannot make a file immutable (chattr +i)";
    CPublicCategoryFile publicFile(FileAt(file));
    publicFile.GetCategories() = {{"Nowa", 2}};
    EXPECT_FALSE(publicFile.Write());
    EXPECT_EQ(Qv::FormatText(IDS_CANNOT_OPEN_FILE, file), publicFile.GetLastErrorText());
  }
  EXPECT_EQ("Stara;1\r\n", Contents(file));

  CPublicCategoryFile inMissingFolder(FileAt(scratch.WindowsPath("brak\\k.txt")));
  EXPECT_FALSE(inMissingFolder.Write());
  EXPECT_EQ(Qv::FormatText(IDS_CANNOT_OPEN_FILE, scratch.WindowsPath("brak\\k.txt")),
            inMissingFolder.GetLastErrorText());
}

TEST_F(PublicFileOnPath, ReadersNeverSeeAHalfWrittenFile) {
  CCategoryItems small, large;
  for (int i = 0; i < 20; ++i) small.push_back({"Mala " + std::to_string(i), 1});
  for (int i = 0; i < 20000; ++i) large.push_back({"Duza kategoria numer " + std::to_string(i), 2});
  const std::string smallText = WriteLines(small, LineEnd::CrLf);
  const std::string largeText = WriteLines(large, LineEnd::CrLf);
  Put(file, smallText);

  std::atomic<bool> done{false};
  std::atomic<int> torn{0}, reads{0};
  std::thread reader([&] {
    while (!done) {
      std::string seen;
      DWORD error = 0;
      bool opened = false;
      if (ReadWholeFile(file, seen, error, opened)) {
        ++reads;
        if (seen != smallText && seen != largeText) ++torn;
      }
    }
  });
  for (int i = 0; i < 30; ++i) {
    CPublicCategoryFile publicFile(FileAt(file));
    publicFile.GetCategories() = (i % 2) ? small : large;
    EXPECT_TRUE(publicFile.Write()) << publicFile.GetLastErrorText();
  }
  done = true;
  reader.join();
  EXPECT_GT(reads.load(), 0);
  EXPECT_EQ(0, torn.load()) << "a reader saw a truncated or partly written file";
}

TEST_F(PublicFileOnPath, CheckAccess) {
  Put(file, "A;1\r\n");
  CPublicCategoryFile writable(FileAt(file));
  EXPECT_EQ(AccessReadWrite, writable.CheckAccess());
  EXPECT_EQ("", writable.GetLastErrorText());

  {
    ReadOnlyFile locked(scratch, "kategorie.txt");
    if (!locked.Applied()) GTEST_SKIP() << "this file system cannot make a file immutable (chattr +i)";
    CPublicCategoryFile readOnly(FileAt(file));
    EXPECT_EQ(AccessReadOnly, readOnly.CheckAccess());
    EXPECT_EQ(Qv::FormatText(IDS_NO_EDIT_RIGHTS, file), readOnly.GetLastErrorText());
  }

  CPublicCategoryFile missing(FileAt(scratch.WindowsPath("brak.txt")));
  missing.Read(false);
  const std::string before = missing.GetLastErrorText();
  EXPECT_EQ(AccessNotFound, missing.CheckAccess());
  EXPECT_EQ(before, missing.GetLastErrorText()) << "a missing file leaves the last error as it was";
  EXPECT_EQ("A;1\r\n", Contents(file)) << "probing changed nothing";
}

TEST_F(PublicFileOnPath, CreateMakesAnEmptyFileButNeverEmptiesOne) {
  CPublicCategoryFile fresh(FileAt(file));
  ASSERT_TRUE(fresh.Create());
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES == GetFileAttributesA(file.c_str()), false);
  EXPECT_EQ("", Contents(file));
  ASSERT_TRUE(fresh.Read(false));
  EXPECT_TRUE(fresh.GetCategories().empty());

  Put(file, "Kolegi;4\r\n");
  CPublicCategoryFile late(FileAt(file));
  EXPECT_TRUE(late.Create());
  EXPECT_EQ("Kolegi;4\r\n", Contents(file)) << "a file made meanwhile keeps its categories";

  const std::string nowhere = scratch.WindowsPath("brak\\k.txt");
  CPublicCategoryFile failing(FileAt(nowhere));
  EXPECT_FALSE(failing.Create());
  EXPECT_EQ(Qv::FormatText(IDS_FILE_CREATE_FAILED, nowhere), failing.GetLastErrorText());
}

TEST_F(PublicFileOnPath, UnwritableLocalCopyStillReadsButNothingCountsAsFresh) {
  Put(file, "Stara;1\r\n");
  ASSERT_TRUE(CPublicCategoryFile(FileAt(file)).Read(true));
  CLocalCopyTime::Instance().Reset();
  Put(file, "A;1\r\n");
  {
    ReadOnlyFile lockedCopy(LocalCopy());
    if (!lockedCopy.Applied()) GTEST_SKIP() << "this file system cannot make a file immutable (chattr +i)";
    CPublicCategoryFile publicFile(FileAt(file));
    ASSERT_TRUE(publicFile.Read(true)) << publicFile.GetLastErrorText();
    EXPECT_EQ("A=1 ", Names(publicFile.GetCategories()));
    EXPECT_EQ(0, CLocalCopyTime::Instance().Get()) << "the stale copy must not count as fresh";
  }
  EXPECT_EQ("Stara;1\r\n", Contents(LocalCopy()));

  Put(file, "B;2\r\n");
  CPublicCategoryFile next(FileAt(file));
  ASSERT_TRUE(next.Read(true));
  EXPECT_EQ("B=2 ", Names(next.GetCategories())) << "the next read goes to the file";
}

TEST_F(PublicFileOnPath, FileUrlIsReadAsAFile) {
  Put(file, "Z adresu;9\r\n");
  std::string url = "file:///" + file;
  for (char& c : url)
    if (c == '\\') c = '/';
  CPublicCategoryFile publicFile(FileAt(url));
  EXPECT_EQ(AFX_INET_SERVICE_FILE, publicFile.GetServiceType());
  ASSERT_TRUE(publicFile.Read(false)) << publicFile.GetLastErrorText();
  EXPECT_EQ("Z adresu=9 ", Names(publicFile.GetCategories()));
}

}  // namespace
