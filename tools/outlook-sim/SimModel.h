#pragma once
// What the simulated Outlook knows, shared by its COM objects (which run on the UI
// thread only) and the host's own side (any thread): the master category list, the open
// explorers (the active one, their event connections), the objects handed out (so that
// one entity keeps one COM identity while it is referenced), call counts and the
// journal. `mutex_` guards the list, the explorers and the identity slots; the counters
// and the connection lists have their own.
#include <windows.h>
#include <wrl/client.h>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "OutlookSimHost.h"
#include "SimConnections.h"
#include "qv/ComObject.h"

namespace OutlookSim {

class ApplicationObject;
class CategoryObject;
class CategoriesObject;
class ExplorerObject;
class ExplorersObject;
class MapiSessionObject;
class NameSpaceObject;

// Outlook's rule for category names: one name whatever the letter case, over all of
// Unicode ("Ą" and "ą" are one name).
bool SameCategoryName(std::wstring_view a, std::wstring_view b) noexcept;

// An object handed out and not owned: the slot forgets it when it is destroyed, and a
// lookup takes a reference only while it is not being destroyed. Used under the
// model's mutex only.
template <class T>
class WeakObject {
 public:
  Microsoft::WRL::ComPtr<T> Lock() const {
    if (object_ && object_->TryAddRef()) return Qv::AdoptReference(object_);
    return nullptr;
  }
  void Set(T* object) noexcept { object_ = object; }
  void Forget(const T* object) noexcept {
    if (object_ == object) object_ = nullptr;
  }

 private:
  T* object_ = nullptr;
};

// What the model knows of every COM object it handed out: enough to cut the object's
// connections to other apartments when Outlook shuts down.
class LiveObject {
 public:
  virtual IUnknown* LiveIdentity() noexcept = 0;
  // A reference, unless the object is already being destroyed.
  virtual bool TryTakeReference() noexcept = 0;

 protected:
  ~LiveObject() = default;
};

// One category of the object-model list; a Category object reads it live.
struct CategoryRecord {
  std::wstring name;
  int color = 0;
  int shortcutKey = 0;
  bool removed = false;
  WeakObject<CategoryObject> object;
};

// One explorer. Its event connections (ExplorerEvents) belong here and not in an
// ExplorerObject, so that they outlive any one object handed out for it.
struct ExplorerRecord {
  HWND window = nullptr;
  bool closing = false;  // Close is being delivered (UI thread only)
  bool closed = false;   // under the model's mutex
  std::shared_ptr<ConnectionList> connections;
  WeakObject<ExplorerObject> object;
};

// What closing an explorer did.
struct ClosedExplorer {
  bool closed = false;  // false: no open explorer has that window, or it is closing already
  bool last = false;    // it was the last open one
  EventResults close;   // the Close event's deliveries
};

class CallCounter {
 public:
  void Count(const char* object, const char* member);
  std::map<std::string, long> Snapshot() const;
  long Get(const std::string& member) const;
  long Total() const;
  void Reset();
  // Never reset; read on the UI thread to see whether an Invoke reached a member.
  long Entries() const noexcept { return entries_.load(); }

 private:
  mutable std::mutex mutex_;
  std::map<std::string, long, std::less<>> counts_;
  long total_ = 0;
  std::atomic<long> entries_{0};
};

class CallJournal {
 public:
  explicit CallJournal(std::chrono::steady_clock::time_point start) : start_(start) {}
  void Enable(bool enabled) noexcept { enabled_ = enabled; }
  void Record(const char* op, const std::wstring& name, int color, HRESULT result);
  std::vector<JournalEntry> Snapshot() const;
  void Clear();

 private:
  const std::chrono::steady_clock::time_point start_;
  std::atomic<bool> enabled_{false};
  mutable std::mutex mutex_;
  std::vector<JournalEntry> entries_;
};

class SimModel : public std::enable_shared_from_this<SimModel> {
 public:
  SimModel(const SimOptions& options, DWORD uiThread);
  const bool mapiSession;  // NameSpace.MAPIOBJECT answers
  SimModel(const SimModel&) = delete;
  SimModel& operator=(const SimModel&) = delete;

  // Outlook's threading rule for every member but IUnknown's: S_OK on the UI thread,
  // RPC_E_WRONG_THREAD from any other, RPC_E_DISCONNECTED once Outlook has shut down.
  HRESULT Admit() noexcept;
  DWORD UiThread() const noexcept { return uiThread_; }
  const std::wstring& Version() const noexcept { return version_; }
  int Major() const noexcept { return major_; }
  // NameSpace.Categories arrived with Outlook 12; before, the registry holds the list.
  bool HasCategoriesCollection() const noexcept { return major_ >= 12; }

  // The root object; set once by the host, dropped at Close.
  void SetApplication(Microsoft::WRL::ComPtr<ApplicationObject> application);
  Microsoft::WRL::ComPtr<ApplicationObject> Application();
  // Marks Outlook as gone, drops the root and disconnects every object from the
  // proxies other apartments hold (UI thread, at shutdown).
  void Close();

  // The one live object for a singleton (or an entity), made by `make` when none is.
  template <class T, class Make>
  Microsoft::WRL::ComPtr<T> Shared(WeakObject<T>& slot, Make make) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (auto existing = slot.Lock()) return existing;
    Microsoft::WRL::ComPtr<T> made = make();
    slot.Set(made.Get());
    return made;
  }
  template <class T>
  void Forget(WeakObject<T>& slot, const T* object) {
    std::lock_guard<std::mutex> lock(mutex_);
    slot.Forget(object);
  }
  WeakObject<ExplorersObject> explorersSlot;
  WeakObject<NameSpaceObject> nameSpaceSlot;
  WeakObject<CategoriesObject> categoriesSlot;
  WeakObject<MapiSessionObject> mapiSessionSlot;

  // Explorers, in opening order (UI thread adds and closes them). The first one added
  // becomes the active one.
  std::shared_ptr<ExplorerRecord> AddExplorer(HWND window);
  // Delivers Close to the explorer's sinks, then takes it out of the list and releases
  // its sinks. The window is the caller's to destroy. UI thread.
  ClosedExplorer CloseExplorer(HWND window);
  std::vector<std::shared_ptr<ExplorerRecord>> OpenExplorers() const;
  // The open explorer of that frame window, or null.
  std::shared_ptr<ExplorerRecord> FindExplorer(HWND window) const;
  // What ActiveExplorer answers: null without an explorer, and while Outlook hides it at
  // start-up (SimOptions::activeExplorerNull) until an explorer is activated.
  std::shared_ptr<ExplorerRecord> ActiveExplorer() const;
  // Makes `record` the active explorer; returns the one that was active before when it
  // was another one, else null.
  std::shared_ptr<ExplorerRecord> Activate(const std::shared_ptr<ExplorerRecord>& record);
  // The sinks of the explorers collection (ExplorersEvents); they belong to Outlook, not
  // to an Explorers object.
  const std::shared_ptr<ConnectionList>& ExplorersConnections() const noexcept {
    return explorersConnections_;
  }
  Microsoft::WRL::ComPtr<ExplorerObject> ExplorerFor(const std::shared_ptr<ExplorerRecord>& record);
  void ForgetExplorer(ExplorerRecord& record, const ExplorerObject* object);
  bool IsExplorerOpen(const ExplorerRecord& record) const;

  // The master list as Outlook holds it (the registry before 12), for the host side
  // and the explorer window.
  std::vector<SimCategory> Categories() const;
  void SetCategories(const std::vector<SimCategory>& categories);

  // The object-model list (12 on), for the Categories and Category objects.
  long CategoryCount() const;
  std::shared_ptr<CategoryRecord> CategoryAt(long index) const;  // from 1; null outside
  std::shared_ptr<CategoryRecord> FindCategory(std::wstring_view name) const;
  // Null when Outlook already holds the name.
  std::shared_ptr<CategoryRecord> AddCategory(const std::wstring& name, int color, int shortcutKey);
  void RemoveCategory(const std::shared_ptr<CategoryRecord>& record);
  CategoryRecord ReadCategory(const CategoryRecord& record) const;  // without its slot
  Microsoft::WRL::ComPtr<CategoryObject> CategoryFor(const std::shared_ptr<CategoryRecord>& record);
  void ForgetCategory(CategoryRecord& record, const CategoryObject* object);

  // Accounting.
  void ObjectCreated(const char* kind, LiveObject* object);
  void ObjectDestroyed(const char* kind, LiveObject* object);
  long LiveObjects() const noexcept { return live_.load(); }
  std::map<std::string, long> LiveObjectsByKind() const;
  void CountWrongThread() noexcept { ++wrongThread_; }
  long WrongThreadCalls() const noexcept { return wrongThread_.load(); }

  CallCounter counter;
  CallJournal journal;

 private:
  void Repaint() const;

  const DWORD uiThread_;
  const std::wstring version_;
  const int major_;
  std::atomic<bool> closed_{false};

  const std::shared_ptr<ConnectionList> explorersConnections_;

  mutable std::mutex mutex_;
  Microsoft::WRL::ComPtr<ApplicationObject> application_;
  std::vector<std::shared_ptr<ExplorerRecord>> explorers_;
  std::shared_ptr<ExplorerRecord> active_;
  bool hideActive_ = false;
  std::vector<std::shared_ptr<CategoryRecord>> categories_;

  std::atomic<long> live_{0};
  std::atomic<long> wrongThread_{0};
  mutable std::mutex liveMutex_;
  std::map<std::string, long> liveByKind_;
  std::vector<LiveObject*> liveObjects_;
};

}  // namespace OutlookSim
