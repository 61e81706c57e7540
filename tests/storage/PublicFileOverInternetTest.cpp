// The public file on real loopback FTP and HTTP servers, checked from both sides.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "PublicFileTestSupport.h"
#include "ResourceIds.h"
#include "qv/ResourceText.h"

namespace {

bool AnyLineHas(const std::vector<std::string>& lines, const std::string& what) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& line) { return line.find(what) != std::string::npos; });
}

bool AnyLineEndsWith(const std::vector<std::string>& lines, const std::string& end) {
  return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
    return line.size() >= end.size() && line.compare(line.size() - end.size(), end.size(), end) == 0;
  });
}

class PublicFileOverFtp : public PublicFileTest {
 protected:
  CPublicFileLocation As(const char* user, const std::string& file = "kategorie.txt") const {
    CPublicFileLocation location;
    location.Path = ftp.Url(file);
    location.IsInternetFile = true;
    location.AuthRequired = user != nullptr;
    if (user) {
      location.User = user;
      location.Password = "secret";
    }
    return location;
  }
  std::string ServerFile(const std::string& name = "kategorie.txt") const { return scratch.WindowsPath(name); }

  LoopbackFtpServer ftp{scratch};
};

TEST_F(PublicFileOverFtp, ReadsTheFileAndKeepsTheCopy) {
  Put(ServerFile(), "Projekt;7\nKlient A;3\n\nPilne\n");
  CPublicCategoryFile publicFile(As("reader"));
  EXPECT_EQ(AFX_INET_SERVICE_FTP, publicFile.GetServiceType());
  EXPECT_EQ("/kategorie.txt", publicFile.GetObjectPath());
  ASSERT_TRUE(publicFile.Read(true)) << publicFile.GetLastErrorText();
  EXPECT_EQ("Projekt=7 Klient A=3 Pilne=0 ", Names(publicFile.GetCategories()));
  EXPECT_EQ("Projekt;7\r\nKlient A;3\r\nPilne\r\n", Contents(LocalCopy()));
  EXPECT_GT(CLocalCopyTime::Instance().Get(), 0);
}

TEST_F(PublicFileOverFtp, FreshCopyMeansNoRequestReachesTheServer) {
  Put(ServerFile(), "A;1\n");
  ASSERT_TRUE(CPublicCategoryFile(As("reader")).Read(true));
  ftp.ClearLog();
  CPublicCategoryFile again(As("reader"));
  ASSERT_TRUE(again.Read(true));
  EXPECT_EQ("A=1 ", Names(again.GetCategories()));
  EXPECT_TRUE(ftp.LoggedLines().empty()) << "the server saw: " << ftp.LoggedLines().front();
}

TEST_F(PublicFileOverFtp, WithoutAuthenticationTheLoginIsAnonymous) {
  Put(ServerFile(), "Dla wszystkich;2\n");
  CPublicFileLocation location = As(nullptr);
  location.User = "writer";  // ignored: no authentication asked for
  location.Password = "secret";
  CPublicCategoryFile publicFile(location);
  ASSERT_TRUE(publicFile.Read(false)) << publicFile.GetLastErrorText();
  EXPECT_EQ("Dla wszystkich=2 ", Names(publicFile.GetCategories()));
  EXPECT_TRUE(AnyLineHas(ftp.LoggedLines(), "USER anonymous"));
  EXPECT_FALSE(AnyLineHas(ftp.LoggedLines(), "USER writer"));
}

TEST_F(PublicFileOverFtp, RefusedLoginAndMissingFile) {
  Put(ServerFile(), "A;1\n");
  CPublicFileLocation wrong = As("writer");
  wrong.Password = "zle";
  CPublicCategoryFile refused(wrong);
  EXPECT_FALSE(refused.Read(false));
  EXPECT_EQ(Qv::FormatText(IDS_SERVER_CONNECTION_FAILED, "127.0.0.1"), refused.GetLastErrorText());
  EXPECT_EQ(AccessNoConnection, refused.CheckAccess());

  CPublicCategoryFile missing(As("reader", "brak.txt"));
  EXPECT_FALSE(missing.Read(false));
  EXPECT_EQ(Qv::LoadText(IDS_FTP_FILE_UNAVAILABLE), missing.GetLastErrorText());
  EXPECT_EQ(AccessNotFound, missing.CheckAccess());
  EXPECT_EQ(Qv::FormatText(IDS_FILE_DOES_NOT_EXIST, ftp.Url("brak.txt")), missing.GetLastErrorText());
}

TEST_F(PublicFileOverFtp, CheckAccessLearnsWritePermissionWithoutChangingAnything) {
  Put(ServerFile(), "A;1\n");
  ftp.ClearLog();
  CPublicCategoryFile writer(As("writer"));
  EXPECT_EQ(AccessReadWrite, writer.CheckAccess()) << writer.GetLastErrorText();
  CPublicCategoryFile reader(As("reader"));
  EXPECT_EQ(AccessReadOnly, reader.CheckAccess());
  EXPECT_EQ(Qv::FormatText(IDS_NO_EDIT_RIGHTS, ftp.Url("kategorie.txt")), reader.GetLastErrorText());
  CPublicCategoryFile anonymous(As(nullptr));
  EXPECT_EQ(AccessReadOnly, anonymous.CheckAccess());

  const std::vector<std::string> log = ftp.LoggedLines();
  for (const char* changing : {"STOR", "APPE", "DELE", "RNFR", "RNTO", "MKD", "RMD", "STOU"})
    EXPECT_FALSE(AnyLineHas(log, changing)) << changing << " sent during an access probe";
  EXPECT_EQ("A;1\n", Contents(ServerFile()));
}

TEST_F(PublicFileOverFtp, WriteUploadsWholeAndRenamesOverTheFile) {
  Put(ServerFile(), "Stara;1\n");
  CPublicCategoryFile publicFile(As("writer"));
  publicFile.GetCategories() = {{"Alfa", 3}, {"Beta", 0}};
  ftp.ClearLog();
  ASSERT_TRUE(publicFile.Write()) << (boxes.shown.empty() ? "" : boxes.shown[0].text);
  std::string stored = Contents(ServerFile());
  stored.erase(std::remove(stored.begin(), stored.end(), '\r'), stored.end());
  EXPECT_EQ("Alfa;3\nBeta;0\n", stored);
  EXPECT_EQ("Alfa;3\r\nBeta;0\r\n", Contents(LocalCopy()));
  const std::vector<std::string> log = ftp.LoggedLines();
  EXPECT_FALSE(AnyLineEndsWith(log, "STOR /kategorie.txt")) << "the file itself is never written in place";
  EXPECT_TRUE(AnyLineHas(log, "STOR /kategorie.txt."));
  EXPECT_TRUE(AnyLineEndsWith(log, "RNTO /kategorie.txt"));
  EXPECT_TRUE(boxes.shown.empty());

  CPublicCategoryFile back(As("reader"));
  ASSERT_TRUE(back.Read(false));
  EXPECT_EQ("Alfa=3 Beta=0 ", Names(back.GetCategories()));
}

TEST_F(PublicFileOverFtp, WriteRefusedShowsTheServersTextAndKeepsTheFile) {
  Put(ServerFile(), "Stara;1\n");
  CPublicCategoryFile publicFile(As("reader"));
  publicFile.GetCategories() = {{"Nowa", 2}};
  EXPECT_FALSE(publicFile.Write());
  ASSERT_EQ(1u, boxes.shown.size()) << "the failure is shown at once";
  EXPECT_FALSE(boxes.shown[0].text.empty());
  EXPECT_EQ("", publicFile.GetLastErrorText()) << "the last error is left as it was";
  EXPECT_EQ("Stara;1\n", Contents(ServerFile()));
}

TEST_F(PublicFileOverFtp, CreateUploadsAnEmptyFileButNeverEmptiesOne) {
  CPublicCategoryFile missing(As("writer", "nowy.txt"));
  EXPECT_EQ(AccessNotFound, missing.CheckAccess());
  ASSERT_TRUE(missing.Create()) << missing.GetLastErrorText();
  EXPECT_EQ("", Contents(ServerFile("nowy.txt")));
  CPublicCategoryFile read(As("writer", "nowy.txt"));
  ASSERT_TRUE(read.Read(false));
  EXPECT_TRUE(read.GetCategories().empty());

  Put(ServerFile(), "Kolegi;4\n");
  CPublicCategoryFile late(As("writer"));
  EXPECT_TRUE(late.Create());
  EXPECT_EQ("Kolegi;4\n", Contents(ServerFile())) << "a file made meanwhile keeps its categories";

  CPublicCategoryFile refused(As("reader", "inny.txt"));
  EXPECT_FALSE(refused.Create());
  EXPECT_EQ(Qv::FormatText(IDS_SERVER_CREATE_FAILED, "127.0.0.1"), refused.GetLastErrorText());
}

TEST_F(PublicFileOverFtp, CreateDoesNotLeaveAnEmptyCopyThatCountsAsFresh) {
  Put(ServerFile(), "A;1\n");
  ASSERT_TRUE(CPublicCategoryFile(As("writer")).Read(true));
  CPublicCategoryFile other(As("writer", "drugi.txt"));
  ASSERT_TRUE(other.Create());
  CPublicCategoryFile next(As("writer"));
  ASSERT_TRUE(next.Read(true));
  EXPECT_EQ("A=1 ", Names(next.GetCategories())) << "the emptied copy must not stand in for the file";
}

TEST_F(PublicFileOverFtp, TransferCutShortFailsAndKeepsTheOldCopy) {
  std::string content;
  for (int i = 0; i < 5000; ++i) content += "Kategoria " + std::to_string(i) + ";1\n";
  Put(ServerFile("drop.txt"), content);
  Put(ServerFile(), "Dobra;2\n");
  ASSERT_TRUE(CPublicCategoryFile(As("reader")).Read(true));
  CLocalCopyTime::Instance().Reset();

  CPublicCategoryFile cut(As("reader", "drop.txt"));
  EXPECT_FALSE(cut.Read(true)) << "a partial file must not be taken for the whole list";
  EXPECT_EQ(0, CLocalCopyTime::Instance().Get());
  EXPECT_EQ("Dobra;2\r\n", Contents(LocalCopy())) << "the old copy is kept";
}

TEST_F(PublicFileOverFtp, ServerThatIsGone) {
  const CPublicFileLocation location = As("reader");
  ftp.Stop();
  CPublicCategoryFile publicFile(location);
  EXPECT_FALSE(publicFile.Read(false));
  EXPECT_EQ(Qv::FormatText(IDS_SERVER_CONNECTION_FAILED, "127.0.0.1"), publicFile.GetLastErrorText());
  EXPECT_EQ(AccessNoConnection, publicFile.CheckAccess());
}

class PublicFileOverHttp : public PublicFileTest {
 protected:
  CPublicFileLocation At(const std::string& file) const {
    CPublicFileLocation location;
    location.Path = http.Url(file);
    location.IsInternetFile = true;
    return location;
  }
  LoopbackHttpServer http{scratch};
};

TEST_F(PublicFileOverHttp, ReadsTheFileAfterTheAccessCheck) {
  Put(scratch.WindowsPath("kategorie.txt"), "Projekt;7\r\nKlient A;3\r\n");
  CPublicCategoryFile publicFile(At("kategorie.txt"));
  EXPECT_EQ(AFX_INET_SERVICE_HTTP, publicFile.GetServiceType());
  EXPECT_EQ(AccessReadOnly, publicFile.CheckAccess());
  EXPECT_EQ(Qv::LoadText(IDS_HTTP_FILE_READ_ONLY), publicFile.GetLastErrorText());
  ASSERT_TRUE(publicFile.Read(true)) << publicFile.GetLastErrorText();
  EXPECT_EQ("Projekt=7 Klient A=3 ", Names(publicFile.GetCategories()));
  EXPECT_EQ(Qv::LoadText(IDS_HTTP_FILE_READ_ONLY), publicFile.GetLastErrorText());
  EXPECT_EQ("Projekt;7\r\nKlient A;3\r\n", Contents(LocalCopy()));
  const std::vector<std::string> log = http.LoggedLines();
  EXPECT_TRUE(AnyLineHas(log, "POST /kategorie.txt"));
  EXPECT_TRUE(AnyLineHas(log, "GET /kategorie.txt"));
}

TEST_F(PublicFileOverHttp, FreshCopyMeansNoRequestReachesTheServer) {
  Put(scratch.WindowsPath("kategorie.txt"), "A;1\r\n");
  ASSERT_TRUE(CPublicCategoryFile(At("kategorie.txt")).Read(true));
  http.ClearLog();
  CPublicCategoryFile again(At("kategorie.txt"));
  ASSERT_TRUE(again.Read(true));
  EXPECT_EQ("A=1 ", Names(again.GetCategories()));
  EXPECT_TRUE(http.LoggedLines().empty());
}

TEST_F(PublicFileOverHttp, MissingFile) {
  CPublicCategoryFile publicFile(At("brak.txt"));
  EXPECT_EQ(AccessNotFound, publicFile.CheckAccess());
  EXPECT_FALSE(publicFile.Read(false));
  EXPECT_EQ(Qv::FormatText(IDS_FILE_DOES_NOT_EXIST, http.Url("brak.txt")), publicFile.GetLastErrorText());
}

TEST_F(PublicFileOverHttp, ErrorPagesAreNeverTakenForCategories) {
  Put(scratch.WindowsPath("kategorie.txt"), "Dobra;2\r\n");
  ASSERT_TRUE(CPublicCategoryFile(At("kategorie.txt")).Read(true));
  for (const char* status : {"401", "500", "403"}) {
    CLocalCopyTime::Instance().Reset();
    const std::string file = std::string("status/") + status + "/kategorie.txt";
    CPublicCategoryFile publicFile(At(file));
    EXPECT_EQ(AccessReadOnly, publicFile.CheckAccess()) << status;
    EXPECT_FALSE(publicFile.Read(true)) << status;
    EXPECT_EQ(Qv::FormatText(IDS_HTTP_ERROR_STATUS, http.Url(file)), publicFile.GetLastErrorText());
    EXPECT_TRUE(publicFile.GetCategories().empty());
    EXPECT_EQ("Dobra;2\r\n", Contents(LocalCopy())) << status;
  }
}

TEST_F(PublicFileOverHttp, BodyCutShortFailsAndNothingCountsAsFresh) {
  std::string content;
  for (int i = 0; i < 5000; ++i) content += "Kategoria " + std::to_string(i) + ";1\r\n";
  Put(scratch.WindowsPath("kategorie.txt"), content);
  CPublicCategoryFile publicFile(At("drop/kategorie.txt"));
  EXPECT_FALSE(publicFile.Read(true));
  EXPECT_EQ(0, CLocalCopyTime::Instance().Get());
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(LocalCopy().c_str()));
}

TEST_F(PublicFileOverHttp, SlowServerIsWaitedFor) {
  Put(scratch.WindowsPath("kategorie.txt"), "Cierpliwa;5\r\n");
  CPublicCategoryFile publicFile(At("slow/1500/kategorie.txt"));
  ASSERT_TRUE(publicFile.Read(false)) << publicFile.GetLastErrorText();
  EXPECT_EQ("Cierpliwa=5 ", Names(publicFile.GetCategories()));
}

TEST_F(PublicFileOverHttp, IsNeverWrittenOrCreated) {
  Put(scratch.WindowsPath("kategorie.txt"), "A;1\r\n");
  CPublicCategoryFile publicFile(At("kategorie.txt"));
  publicFile.GetCategories() = {{"B", 2}};
  EXPECT_FALSE(publicFile.Write());
  EXPECT_FALSE(publicFile.Create());
  EXPECT_EQ(Qv::LoadText(IDS_HTTP_CANNOT_CREATE), publicFile.GetLastErrorText());
  EXPECT_EQ("A;1\r\n", Contents(scratch.WindowsPath("kategorie.txt")));
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(PublicFileOverHttp, ServerThatIsGone) {
  const CPublicFileLocation location = At("kategorie.txt");
  http.Stop();
  CPublicCategoryFile publicFile(location);
  EXPECT_FALSE(publicFile.Read(false));
  EXPECT_EQ(Qv::FormatText(IDS_SERVER_CONNECTION_FAILED, "127.0.0.1"), publicFile.GetLastErrorText());
  EXPECT_EQ(AccessNoConnection, publicFile.CheckAccess());
}

}  // namespace
