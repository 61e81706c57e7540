#pragma once
// The simulated Outlook host: Outlook's object model (Application, Explorers, Explorer,
// NameSpace, Categories, Category) served from a user-interface thread, a
// single-threaded apartment with a real message loop and a real explorer window, the
// way Outlook serves it. Tests, benchmarks and the demo prove the add-in against it.
// One UI thread serves every host of a process (see UiThread.h for why); it outlives
// them, as a thread outside the add-in's control should.
//
// Its objects keep Outlook's rules: they answer only on the UI thread (any other thread
// gets RPC_E_WRONG_THREAD and must go through COM marshaling, e.g. the Global Interface
// Table), late binding by name works on every member, category names compare
// case-insensitively over Unicode, failures carry error information from
// "Microsoft Outlook". Before Outlook 12 the master list is the registry value Outlook
// kept then, and NameSpace has no Categories.
//
// The host side of this class (snapshots, counters, journal) is not an Outlook call:
// it is never counted and works from any thread.
#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace OutlookSim {

// IMAPISession, which NameSpace.MAPIOBJECT answers.
inline constexpr IID kIidMapiSession = {0x00020300, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

struct SimCategory {
  std::wstring name;
  int color = 0;  // Outlook's numbering: 0 none, 1 to 25
  bool operator==(const SimCategory& other) const {
    return name == other.name && color == other.color;
  }
};

struct SimOptions {
  std::wstring version = L"16.0.0.0";  // what Application.Version reports
  // The Outlook generation that decides where the master list lives (the registry
  // before 12); 0 takes the first number of `version`.
  int outlookMajor = 0;
  bool explorer = true;  // false: Outlook started without a window
  std::vector<SimCategory> categories;  // the initial master list
  bool journal = false;  // record Add and Remove calls from the start
};

struct JournalEntry {
  std::string op;  // "Add" or "Remove"
  std::wstring name;
  int color = 0;
  double ms = 0;  // since the host started (steady clock)
  HRESULT result = S_OK;  // what the caller got back
};

class OutlookSimHost {
 public:
  // Builds the object model and the explorer window on the UI thread (starting it
  // first if needed) and returns when Outlook is ready. Throws std::runtime_error when
  // it cannot start.
  explicit OutlookSimHost(const SimOptions& options = SimOptions());
  // Shuts this Outlook down: closes its windows, disconnects every proxy other
  // apartments hold (their calls then fail: RPC_E_DISCONNECTED on Windows, 0x800706B5
  // under Wine 8), and reports on the
  // debugger output and standard error any object still referenced in the apartment.
  ~OutlookSimHost();
  OutlookSimHost(const OutlookSimHost&) = delete;
  OutlookSimHost& operator=(const OutlookSimHost&) = delete;

  // Outlook's Application for the calling thread's apartment, taken from the Global
  // Interface Table: the object itself on the UI thread, a proxy elsewhere. COM must be
  // initialised on the calling thread; throws std::runtime_error otherwise.
  Microsoft::WRL::ComPtr<IDispatch> Application() const;
  // The host's own Global Interface Table registration of the Application (IDispatch).
  DWORD ApplicationCookie() const;

  // Runs `task` on the UI thread and waits for it; an exception it throws comes back
  // here. While waiting, an STA caller keeps serving incoming COM calls, so a task may
  // call back into the caller's apartment. Called on the UI thread, it runs at once.
  void RunOnUiThread(const std::function<void()>& task) const;

  // The master list as Outlook holds it, in collection order (registry: colour 0).
  std::vector<SimCategory> Categories() const;
  // Replaces it as a whole. Categories whose names stay keep their identity (a Category
  // object read before still answers). Throws std::invalid_argument for two names
  // Outlook would take as one.
  void SetCategories(const std::vector<SimCategory>& categories);

  // Calls by "Object.Member" ("Categories.Item", "Category.Name",
  // "Categories.GetIDsOfNames", ...), counted on the UI thread: every entry through a
  // vtable or through Invoke (a late-bound call counts once, under its member).
  std::map<std::string, long> CallCounts() const;
  long CallCount(const std::string& member) const;
  long TotalCalls() const;
  void ResetCounts();
  // Calls refused because they came straight from another thread.
  long WrongThreadCalls() const;

  void EnableJournal(bool enabled);
  std::vector<JournalEntry> Journal() const;
  void ClearJournal();

  // The longest time one message dispatched by the UI thread's loop (an incoming COM
  // call, a RunOnUiThread task, a window message) kept it from pumping.
  double LongestStallMs() const;
  void ResetStall();

  // The (first) explorer's frame window; null without an explorer.
  HWND ExplorerWindow() const;
  // Waits until the last explorer window has been closed; false on timeout.
  bool WaitForExplorersClosed(DWORD milliseconds) const;
  DWORD UiThreadId() const;
  int OutlookMajor() const;
  // The host's COM objects alive now, not counting the Application, which the host
  // holds for its whole life. 0 once every caller has released what it took.
  long LiveObjects() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace OutlookSim
