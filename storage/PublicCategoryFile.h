#pragma once
// The one way the add-in reads, writes, probes and creates the public category file,
// wherever it lives: a local or UNC path (or file URL), an FTP server or a web server.
// A caller builds one for one task, looks at the result and at GetLastErrorText, drops it.
#include <windows.h>

#include <cstdint>
#include <string>

#include "CategoryVector.h"
#include "PublicFileLocationParser.h"
#include "Settings.h"
#include "qv/InternetHandle.h"
#include "qv/RefCounted.h"

class CPassCancellation;

enum PublicFileAccess {
  AccessStatusFailed = 0,  // the file exists but its status cannot be learned
  AccessNoConnection = 1,  // unreachable, or a kind of location we do not support
  AccessNotFound = 2,
  AccessReadOnly = 3,
  AccessReadWrite = 4,
};

class CPublicCategoryFile : public CRefCountedT<SingleThreadedModel> {
 public:
  // Opens the internet session; raises Net::CInternetException when it cannot. With a
  // `cancellation`, another thread may cut a Read over FTP or HTTP short (the pass run
  // by the synchronisation thread); it must outlive this object.
  explicit CPublicCategoryFile(const CPublicFileLocation& location,
                               CPassCancellation* cancellation = nullptr);
  ~CPublicCategoryFile() override = default;
  CPublicCategoryFile(const CPublicCategoryFile&) = delete;
  CPublicCategoryFile& operator=(const CPublicCategoryFile&) = delete;

  // Fills the categories from the file, or from the local copy while that is fresh and
  // `useLocalCopy` is set. The local copy is replaced only after a whole successful read.
  bool Read(bool useLocalCopy);
  // Stores the categories. Readers never see a half-written file: the new text is
  // written beside the old and swapped in whole.
  bool Write();
  PublicFileAccess CheckAccess();
  // Makes an empty public file; a file that already exists is left as it is.
  bool Create();

  std::string GetLastErrorText() const { return lastError_; }
  DWORD GetServiceType() const { return serviceType_; }
  std::string GetObjectPath() const { return object_; }
  CCategoryItems& GetCategories() { return categories_; }
  const std::string& GetLocalCopyPath() const { return localCopyPath_; }

 private:
  bool SwitchToFreshLocalCopy();
  bool ReadFromPath();
  bool WriteToPath();
  PublicFileAccess CheckAccessOnPath();
  bool CreateOnPath();

  bool ReadOverFtp();
  bool WriteOverFtp();
  PublicFileAccess CheckAccessOverFtp();
  bool CreateOverFtp();
  Qv::UniqueInternet ConnectFtp();

  bool ReadOverHttp();
  PublicFileAccess CheckAccessOverHttp();

  // Parses text read from the real location and, on success, makes it the local copy.
  void TakeCategoriesFrom(const std::string& text, std::int64_t readStarted);
  // Rewrites the local copy from the categories after a successful write.
  void RefreshLocalCopy();
  void SetError(UINT id, const std::string& argument = std::string());

  CCategoryItems categories_;
  Qv::UniqueInternet session_;
  std::string path_;
  std::string server_;
  std::string object_;
  DWORD serviceType_ = AFX_INET_SERVICE_UNK;
  unsigned short port_ = 0;
  bool authRequired_ = false;
  std::string user_;
  std::string password_;
  std::string localCopyPath_;
  std::string lastError_;
  bool isInternetFile_ = false;
  int interval_ = 0;
  bool readingLocalCopy_ = false;
  bool locationParsed_ = false;
  std::string filePath_;  // the file to open for a file location
  CPassCancellation* cancellation_ = nullptr;  // may be cancelled from another thread
};
