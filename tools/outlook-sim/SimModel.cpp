#include "SimModel.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <stdexcept>
#include <utility>

#include "RegistryMasterList.h"
#include "SimObjects.h"

namespace OutlookSim {

bool SameCategoryName(std::wstring_view a, std::wstring_view b) noexcept {
  return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// --- counters and journal -------------------------------------------------------------

void CallCounter::Count(const char* object, const char* member) {
  char key[128];
  const int length = std::snprintf(key, sizeof(key), "%s.%s", object, member);
  const std::string_view name(key, length < 0 ? 0 : static_cast<size_t>(length));
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = counts_.find(name);
  if (found == counts_.end()) found = counts_.emplace(std::string(name), 0).first;
  ++found->second;
  ++total_;
  ++entries_;
}

std::map<std::string, long> CallCounter::Snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::map<std::string, long>(counts_.begin(), counts_.end());
}

long CallCounter::Get(const std::string& member) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = counts_.find(member);
  return found == counts_.end() ? 0 : found->second;
}

long CallCounter::Total() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return total_;
}

void CallCounter::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  counts_.clear();
  total_ = 0;
}

void CallJournal::Record(const char* op, const std::wstring& name, int color, HRESULT result) {
  if (!enabled_) return;
  const std::chrono::duration<double, std::milli> elapsed =
      std::chrono::steady_clock::now() - start_;
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.push_back({op, name, color, elapsed.count(), result});
}

std::vector<JournalEntry> CallJournal::Snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_;
}

void CallJournal::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.clear();
}

// --- the model ------------------------------------------------------------------------

namespace {

int MajorOf(const SimOptions& options) {
  if (options.outlookMajor > 0) return options.outlookMajor;
  const int major = std::wcstol(options.version.c_str(), nullptr, 10);
  return major > 0 ? major : 16;
}

}  // namespace

SimModel::SimModel(const SimOptions& options, DWORD uiThread)
    : mapiSession(options.mapiSession),
      journal(std::chrono::steady_clock::now()),
      uiThread_(uiThread),
      version_(options.version),
      major_(MajorOf(options)),
      explorersConnections_(std::make_shared<ConnectionList>(__uuidof(ExplorersEvents))),
      hideActive_(options.activeExplorerNull) {
  journal.Enable(options.journal);
}

HRESULT SimModel::Admit() noexcept {
  if (closed_) return RPC_E_DISCONNECTED;
  if (::GetCurrentThreadId() != uiThread_) {
    CountWrongThread();
    return RPC_E_WRONG_THREAD;
  }
  return S_OK;
}

void SimModel::SetApplication(Microsoft::WRL::ComPtr<ApplicationObject> application) {
  std::lock_guard<std::mutex> lock(mutex_);
  application_ = std::move(application);
}

Microsoft::WRL::ComPtr<ApplicationObject> SimModel::Application() {
  std::lock_guard<std::mutex> lock(mutex_);
  return application_;
}

void SimModel::Close() {
  closed_ = true;
  Microsoft::WRL::ComPtr<ApplicationObject> root;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    root.Swap(application_);
  }
  // The apartment outlives this Outlook, so its stubs would keep serving (and keep the
  // objects alive) until the proxies go: cut them, as a closing Outlook does.
  std::vector<Microsoft::WRL::ComPtr<IUnknown>> live;
  {
    std::lock_guard<std::mutex> lock(liveMutex_);
    for (LiveObject* object : liveObjects_)
      if (object->TryTakeReference()) live.push_back(Qv::AdoptReference(object->LiveIdentity()));
  }
  for (const auto& object : live) ::CoDisconnectObject(object.Get(), 0);
  // Released outside the locks: destructors take them.
}

std::shared_ptr<ExplorerRecord> SimModel::AddExplorer(HWND window) {
  auto record = std::make_shared<ExplorerRecord>();
  record->window = window;
  record->connections = std::make_shared<ConnectionList>(__uuidof(ExplorerEvents));
  std::lock_guard<std::mutex> lock(mutex_);
  explorers_.push_back(record);
  if (!active_) active_ = record;
  return record;
}

ClosedExplorer SimModel::CloseExplorer(HWND window) {
  ClosedExplorer result;
  const auto record = FindExplorer(window);
  // A sink of another apartment is called through a modal loop that may dispatch a
  // second WM_CLOSE for the same window: only the first one closes it.
  if (!record || record->closing) return result;
  record->closing = true;
  // Outlook tells the sinks first; the explorer is still in Explorers while they hear it.
  result.close = FireEvent(*record->connections, 0xF008);
  result.closed = true;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    record->closed = true;
    explorers_.erase(std::remove(explorers_.begin(), explorers_.end(), record), explorers_.end());
    if (active_ == record) active_ = explorers_.empty() ? nullptr : explorers_.front();
    result.last = explorers_.empty();
  }
  // Released here, outside the locks.
  record->connections->Close();
  return result;
}

std::shared_ptr<ExplorerRecord> SimModel::FindExplorer(HWND window) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& record : explorers_)
    if (record->window == window) return record;
  return nullptr;
}

std::shared_ptr<ExplorerRecord> SimModel::ActiveExplorer() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return hideActive_ ? nullptr : active_;
}

std::shared_ptr<ExplorerRecord> SimModel::Activate(const std::shared_ptr<ExplorerRecord>& record) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto before = std::exchange(active_, record);
  const bool wasHidden = std::exchange(hideActive_, false);
  return before == record || wasHidden ? nullptr : before;
}

std::vector<std::shared_ptr<ExplorerRecord>> SimModel::OpenExplorers() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return explorers_;
}

bool SimModel::IsExplorerOpen(const ExplorerRecord& record) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !record.closed;
}

Microsoft::WRL::ComPtr<ExplorerObject> SimModel::ExplorerFor(
    const std::shared_ptr<ExplorerRecord>& record) {
  return Shared(record->object, [&] { return Qv::MakeComObject<ExplorerObject>(shared_from_this(), record); });
}

void SimModel::ForgetExplorer(ExplorerRecord& record, const ExplorerObject* object) {
  Forget(record.object, object);
}

std::vector<SimCategory> SimModel::Categories() const {
  if (!HasCategoriesCollection()) return ReadRegistryMasterList(major_);
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<SimCategory> snapshot;
  snapshot.reserve(categories_.size());
  for (const auto& record : categories_) snapshot.push_back({record->name, record->color});
  return snapshot;
}

void SimModel::SetCategories(const std::vector<SimCategory>& categories) {
  for (size_t i = 0; i < categories.size(); ++i)
    for (size_t j = 0; j < i; ++j)
      if (SameCategoryName(categories[i].name, categories[j].name))
        throw std::invalid_argument("Outlook cannot hold two categories of one name");
  if (!HasCategoriesCollection()) {
    WriteRegistryMasterList(major_, categories);
  } else {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::shared_ptr<CategoryRecord>> replaced;
    for (const SimCategory& category : categories) {
      std::shared_ptr<CategoryRecord> record;
      for (auto& old : categories_)
        if (old && SameCategoryName(old->name, category.name)) record = std::move(old);
      if (!record) record = std::make_shared<CategoryRecord>();
      record->name = category.name;
      record->color = category.color;
      replaced.push_back(std::move(record));
    }
    for (const auto& gone : categories_)
      if (gone) gone->removed = true;
    categories_ = std::move(replaced);
  }
  Repaint();
}

long SimModel::CategoryCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<long>(categories_.size());
}

std::shared_ptr<CategoryRecord> SimModel::CategoryAt(long index) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (index < 1 || index > static_cast<long>(categories_.size())) return nullptr;
  return categories_[static_cast<size_t>(index - 1)];
}

std::shared_ptr<CategoryRecord> SimModel::FindCategory(std::wstring_view name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& record : categories_)
    if (SameCategoryName(record->name, name)) return record;
  return nullptr;
}

std::shared_ptr<CategoryRecord> SimModel::AddCategory(const std::wstring& name, int color,
                                                      int shortcutKey) {
  std::shared_ptr<CategoryRecord> record;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& existing : categories_)
      if (SameCategoryName(existing->name, name)) return nullptr;
    record = std::make_shared<CategoryRecord>();
    record->name = name;
    record->color = color;
    record->shortcutKey = shortcutKey;
    categories_.push_back(record);
  }
  Repaint();
  return record;
}

void SimModel::RemoveCategory(const std::shared_ptr<CategoryRecord>& record) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = categories_.begin(); it != categories_.end(); ++it) {
      if (*it != record) continue;
      record->removed = true;
      categories_.erase(it);
      break;
    }
  }
  Repaint();
}

CategoryRecord SimModel::ReadCategory(const CategoryRecord& record) const {
  std::lock_guard<std::mutex> lock(mutex_);
  CategoryRecord copy;
  copy.name = record.name;
  copy.color = record.color;
  copy.shortcutKey = record.shortcutKey;
  copy.removed = record.removed;
  return copy;
}

Microsoft::WRL::ComPtr<CategoryObject> SimModel::CategoryFor(
    const std::shared_ptr<CategoryRecord>& record) {
  return Shared(record->object, [&] { return Qv::MakeComObject<CategoryObject>(shared_from_this(), record); });
}

void SimModel::ForgetCategory(CategoryRecord& record, const CategoryObject* object) {
  Forget(record.object, object);
}

void SimModel::Repaint() const {
  for (const auto& explorer : OpenExplorers()) ::InvalidateRect(explorer->window, nullptr, TRUE);
}

// --- accounting -----------------------------------------------------------------------

void SimModel::ObjectCreated(const char* kind, LiveObject* object) {
  ++live_;
  std::lock_guard<std::mutex> lock(liveMutex_);
  ++liveByKind_[kind];
  liveObjects_.push_back(object);
}

void SimModel::ObjectDestroyed(const char* kind, LiveObject* object) {
  --live_;
  std::lock_guard<std::mutex> lock(liveMutex_);
  if (--liveByKind_[kind] == 0) liveByKind_.erase(kind);
  liveObjects_.erase(std::remove(liveObjects_.begin(), liveObjects_.end(), object), liveObjects_.end());
}

std::map<std::string, long> SimModel::LiveObjectsByKind() const {
  std::lock_guard<std::mutex> lock(liveMutex_);
  return liveByKind_;
}

}  // namespace OutlookSim
