#include <gtest/gtest.h>

#include "PublicFileLocationParser.h"

namespace {

struct LocationCase {
  const char* text;
  bool parsed;
  DWORD kind;
  const char* server;
  unsigned short port;
  const char* object;
  const char* filePath;
};

const LocationCase kLocations[] = {
    {"C:\\Wsp\xF3lne\\kategorie.txt", true, AFX_INET_SERVICE_FILE, "", 0,
     "C:\\Wsp\xF3lne\\kategorie.txt", "C:\\Wsp\xF3lne\\kategorie.txt"},
    {"d:/dane/kategorie.txt", true, AFX_INET_SERVICE_FILE, "", 0, "d:/dane/kategorie.txt",
     "d:/dane/kategorie.txt"},
    {"\\\\serwer\\udzial\\kategorie.txt", true, AFX_INET_SERVICE_FILE, "", 0,
     "\\\\serwer\\udzial\\kategorie.txt", "\\\\serwer\\udzial\\kategorie.txt"},
    {"file:///C:/dane/kat%20egorie.txt", true, AFX_INET_SERVICE_FILE, "", 0,
     "C:\\dane\\kat egorie.txt", "C:\\dane\\kat egorie.txt"},
    {"ftp://ftp.firma.pl/pub/kategorie.txt", true, AFX_INET_SERVICE_FTP, "ftp.firma.pl", 21,
     "/pub/kategorie.txt", ""},
    {"ftp://127.0.0.1:2121/k.txt", true, AFX_INET_SERVICE_FTP, "127.0.0.1", 2121, "/k.txt", ""},
    {"http://www.firma.pl/kategorie.txt", true, AFX_INET_SERVICE_HTTP, "www.firma.pl", 80,
     "/kategorie.txt", ""},
    {"http://localhost:8080/a/k.txt?v=2", true, AFX_INET_SERVICE_HTTP, "localhost", 8080,
     "/a/k.txt?v=2", ""},
    {"https://www.firma.pl/kategorie.txt", true, AFX_INET_SERVICE_HTTPS, "www.firma.pl", 443,
     "/kategorie.txt", ""},
    {"", false, AFX_INET_SERVICE_UNK, "", 0, "", ""},
    {"kategorie.txt", false, AFX_INET_SERVICE_UNK, "", 0, "", ""},
    {"dane\\kategorie.txt", false, AFX_INET_SERVICE_UNK, "", 0, "", ""},
    {"zwyk\xB3y tekst", false, AFX_INET_SERVICE_UNK, "", 0, "", ""},
};

class ParseLocation : public ::testing::TestWithParam<LocationCase> {};

TEST_P(ParseLocation, GivesKindServerPortAndObject) {
  const LocationCase& c = GetParam();
  const ParsedPublicFileLocation parsed = ParsePublicFileLocation(c.text);
  EXPECT_EQ(c.parsed, parsed.parsed);
  EXPECT_EQ(c.kind, parsed.serviceType);
  EXPECT_EQ(c.server, parsed.server);
  EXPECT_EQ(c.port, parsed.port);
  EXPECT_EQ(c.object, parsed.object);
  EXPECT_EQ(c.filePath, parsed.filePath);
}

INSTANTIATE_TEST_SUITE_P(Kinds, ParseLocation, ::testing::ValuesIn(kLocations));

TEST(ParseLocation, OtherSchemesAreParsedButNotFilesOrServers) {
  for (const char* text : {"gopher://host/x.txt", "mailto:ktos@firma.pl", "news://host/grupa"}) {
    const ParsedPublicFileLocation parsed = ParsePublicFileLocation(text);
    EXPECT_TRUE(parsed.parsed) << text;
    EXPECT_NE(AFX_INET_SERVICE_FILE, parsed.serviceType) << text;
    EXPECT_NE(AFX_INET_SERVICE_FTP, parsed.serviceType) << text;
    EXPECT_NE(AFX_INET_SERVICE_HTTP, parsed.serviceType) << text;
  }
}

}  // namespace
