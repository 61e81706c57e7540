#pragma once
// The simulated Outlook host: Outlook's object model (Application, Explorers, Explorer,
// NameSpace, Categories, Category) served from a user-interface thread, a
// single-threaded apartment with a real message loop and real explorer windows, the
// way Outlook serves it, with the explorers' events through connection points and
// Office's ribbon objects. Tests, benchmarks and the demo prove the add-in against it;
// AddinLoader.h loads COM add-ins into it as Office does.
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
// The host side of this class (snapshots, counters, journal, the explorers' events) is
// not an Outlook call: it is never counted and works from any thread.
#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace OutlookSim {

class SimModel;

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
  // ActiveExplorer() answers null although Explorers holds the explorer, as Outlook
  // does at some start-ups, until the host activates or opens an explorer.
  bool activeExplorerNull = false;
  // false: NameSpace.MAPIOBJECT fails, as in an Outlook whose profile gives no session.
  bool mapiSession = true;
  // Registers, for the host's process, the fallback MAPI session provider
  // (qv/MapiSessionProvider.h) that hands out a session when Outlook gives none.
  bool fallbackMapiProvider = false;
  std::vector<SimCategory> categories;  // the initial master list
  bool journal = false;  // record Add and Remove calls from the start
};

// What one event met: the IDispatch::Invoke result of every sink it was delivered to,
// in the order they were advised.
using EventResults = std::vector<HRESULT>;

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

  // Explorers and their events. An explorer is named by its frame window. Events are
  // delivered on the UI thread, by IDispatch::Invoke with Outlook's DISPIDs, to the
  // sinks advised at that moment; a failing sink does not stop the others. Each call
  // throws std::invalid_argument for a window that is no open explorer.
  //
  // The open explorers' windows, in the order of the Explorers collection.
  std::vector<HWND> ExplorerWindows() const;
  // What ActiveExplorer() answers, as a window; null when it answers null.
  HWND ActiveExplorerWindow() const;
  // Deactivate to the explorer that was active (when it is another one), then Activate.
  EventResults ActivateExplorer(HWND explorer);
  // SelectionChange.
  EventResults ChangeSelection(HWND explorer);
  // BeforeFolderSwitch (NewFolder null, Cancel false), then FolderSwitch unless a sink
  // set Cancel. True when a sink cancelled.
  bool SwitchFolder(HWND explorer);
  // BeforeViewSwitch (NewView the view's name, Cancel false), then ViewSwitch unless a
  // sink set Cancel. True when a sink cancelled.
  bool SwitchView(HWND explorer, const std::wstring& view);
  // A new explorer window: it joins Explorers, NewExplorer (with its Explorer) goes to
  // the collection's sinks, and it becomes the active explorer as ActivateExplorer
  // makes it. Returns its window; `newExplorer` receives NewExplorer's deliveries.
  HWND OpenExplorer(EventResults* newExplorer = nullptr);
  // Close to the explorer's sinks; then it leaves Explorers, its sinks are released and
  // its window destroyed. ActiveExplorer moves to the first explorer left, or null.
  EventResults CloseExplorer(HWND explorer);
  // Live connections on an explorer's connection point (ExplorerEvents) and on that of
  // the explorers collection (ExplorersEvents).
  long ExplorerConnections(HWND explorer) const;
  long ExplorersConnections() const;

  // Office's ribbon objects, as Office hands them to an add-in's callbacks: an
  // IRibbonControl (Id `id`, Context the active explorer, Tag empty) and an IRibbonUI.
  // Objects of the UI thread: call these there (RunOnUiThread); std::logic_error elsewhere.
  Microsoft::WRL::ComPtr<IDispatch> NewRibbonControl(const std::wstring& id) const;
  Microsoft::WRL::ComPtr<IDispatch> NewRibbonUI() const;

  // Waits until the last explorer window has been closed; false on timeout.
  bool WaitForExplorersClosed(DWORD milliseconds) const;
  DWORD UiThreadId() const;
  int OutlookMajor() const;
  // The host's COM objects alive now, not counting the Application, which the host
  // holds for its whole life. 0 once every caller has released what it took.
  long LiveObjects() const;

 private:
  // The loader makes Office's AddIn objects in this Outlook's model.
  friend class AddinLoader;
  const std::shared_ptr<SimModel>& Model() const;

  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace OutlookSim
