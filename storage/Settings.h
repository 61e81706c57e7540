#pragma once
// One user's configuration of the add-in, kept in settings.ini in the settings folder.
// Nothing holds a CSettings for long: each task loads its own, changes it, saves it if it
// changed something, and drops it, so the file is the only state the threads share.
#include <string>

#include "qv/RefCounted.h"

// Where the public category file is, as the public-file classes need it.
struct CPublicFileLocation {
  std::string Path;  // DataFileUrl for an Internet file, DataFilePath otherwise
  bool AuthRequired = false;
  bool IsInternetFile = false;
  std::string User;
  std::string Password;  // plain text
};

class CSettings : public CRefCountedT<SingleThreadedModel> {
 public:
  CSettings() = default;
  CSettings(const CSettings& other) = default;
  CSettings& operator=(const CSettings& other) = default;

  // Reads every member from the file; a missing file, section or key gives the default.
  void Load();
  // Writes every key, whatever changed; write failures are ignored.
  void Save() const;
  // The file exists and the location to use is not blank. Does not reload.
  bool IsConfigured() const;
  CPublicFileLocation GetPublicFileLocation() const;
  CRefCountPtr<CSettings> Clone() const;

  bool GetIsInternetFile() const noexcept { return isInternetFile_; }
  void SetIsInternetFile(bool value) noexcept { isInternetFile_ = value; }
  bool GetAuthRequired() const noexcept { return authRequired_; }
  void SetAuthRequired(bool value) noexcept { authRequired_ = value; }
  bool GetCacheLifeTimeChanged() const noexcept { return cacheLifeTimeChanged_; }
  void SetCacheLifeTimeChanged(bool value) noexcept { cacheLifeTimeChanged_ = value; }
  bool GetOutlookUnblocked() const noexcept { return outlookUnblocked_; }
  void SetOutlookUnblocked(bool value) noexcept { outlookUnblocked_ = value; }
  int GetInterval() const noexcept { return interval_; }
  void SetInterval(int seconds) noexcept { interval_ = seconds; }
  std::string GetDataFilePath() const { return dataFilePath_; }
  void SetDataFilePath(const std::string& path) { dataFilePath_ = path; }
  std::string GetDataFileUrl() const { return dataFileUrl_; }
  void SetDataFileUrl(const std::string& url) { dataFileUrl_ = url; }
  std::string GetUser() const { return user_; }
  void SetUser(const std::string& user) { user_ = user; }
  std::string GetPassword() const { return password_; }
  void SetPassword(const std::string& password) { password_ = password; }

 private:
  bool isInternetFile_ = false;
  bool authRequired_ = false;
  bool cacheLifeTimeChanged_ = false;  // the user typed Interval; keep it on location changes
  bool outlookUnblocked_ = false;      // the firewall step has run once
  int interval_ = 0;                   // seconds the local copy of the public file is valid
  std::string dataFilePath_;
  std::string dataFileUrl_;
  std::string user_;
  std::string password_;  // plain in memory, shifted in the file
};

// The stored form of a password: every byte plus 10, modulo 256. Not encryption; it only
// keeps the password from being read at a glance.
std::string EncodePassword(const std::string& password);
// Every byte minus 10, modulo 256.
std::string DecodePassword(const std::string& stored);
