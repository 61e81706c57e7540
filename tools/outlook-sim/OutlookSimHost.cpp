#include "OutlookSimHost.h"

#include <objbase.h>
#include <ole2.h>

#include <cstdio>
#include <stdexcept>

#include "ExplorerWindow.h"
#include "SimMapiProvider.h"
#include "SimModel.h"
#include "SimObjects.h"
#include "qv/ComVariant.h"
#include "qv/Handles.h"
#include "qv/TypeLibDispatch.h"
#include "UiThread.h"

namespace OutlookSim {
namespace {

std::string Failure(HRESULT hr, const char* what) {
  char text[128];
  std::snprintf(text, sizeof(text), "%s failed, 0x%08lX", what, static_cast<unsigned long>(hr));
  return text;
}

}  // namespace

// One Outlook on the process's UI thread: everything here runs on that thread.
class OutlookSimHost::Impl {
 public:
  explicit Impl(const SimOptions& options) : ui_(UiThread::Instance()), options_(options) {
    ui_.Run([&] {
      try {
        Build();
      } catch (...) {
        Teardown();
        throw;
      }
    });
    ui_.ResetStall();
  }
  ~Impl() {
    ui_.Run([&] { Teardown(); });
  }

  UiThread& ui_;
  const SimOptions options_;
  Qv::UniqueHandle allClosed_{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  std::shared_ptr<SimModel> model_;
  DWORD cookie_ = 0;
  DWORD providerCookie_ = 0;

  // The open explorer of `window`; std::invalid_argument when there is none.
  std::shared_ptr<ExplorerRecord> Explorer(HWND window) const {
    auto record = model_->FindExplorer(window);
    if (!record) throw std::invalid_argument("no open explorer has that window");
    return record;
  }
  // The rest runs on the UI thread.
  EventResults Activate(const std::shared_ptr<ExplorerRecord>& record);
  bool Cancellable(const ExplorerRecord& record, DISPID before, DISPID after, const VARIANT& first);
  HWND Open(EventResults* newExplorer);
  EventResults Close(HWND window);

 private:
  void Build();
  void Teardown();

  Microsoft::WRL::ComPtr<IGlobalInterfaceTable> git_;
};

void OutlookSimHost::Impl::Build() {
  // An installed Outlook has its type library registered; COM needs it to marshal the
  // dual interfaces to other apartments. Registered by every host: a test may have
  // replaced HKEY_CLASSES_ROOT since the last one.
  HRESULT hr = Qv::ThisModuleTypeLibrary().Register();
  if (FAILED(hr)) throw std::runtime_error(Failure(hr, "registering the type library"));

  model_ = std::make_shared<SimModel>(options_, ui_.Id());
  // Before Outlook 12 the list is a registry value a test may have prepared: only an
  // explicit initial list replaces it.
  if (model_->HasCategoriesCollection() || !options_.categories.empty())
    model_->SetCategories(options_.categories);
  if (options_.explorer && !OpenExplorerWindow(model_, allClosed_.Get()))
    throw std::runtime_error("cannot create the explorer window");

  auto application = Qv::MakeComObject<ApplicationObject>(model_);
  model_->SetApplication(application);
  hr = ::CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                          IID_PPV_ARGS(&git_));
  if (SUCCEEDED(hr))
    hr = git_->RegisterInterfaceInGlobal(static_cast<IDispatch*>(application.Get()),
                                         IID_IDispatch, &cookie_);
  if (FAILED(hr)) throw std::runtime_error(Failure(hr, "registering Application in the GIT"));
  if (options_.fallbackMapiProvider) {
    providerCookie_ = RegisterMapiProvider(model_);
    if (!providerCookie_) throw std::runtime_error("cannot register the MAPI session provider");
  }
}

void OutlookSimHost::Impl::Teardown() {
  RevokeMapiProvider(providerCookie_);
  providerCookie_ = 0;
  if (git_ && cookie_) git_->RevokeInterfaceFromGlobal(cookie_);
  git_.Reset();
  if (!model_) return;
  // As Outlook quits: every explorer closes (its sinks hear Close), then the
  // collection's sinks are let go.
  for (const auto& explorer : model_->OpenExplorers())
    ::SendMessageW(explorer->window, WM_CLOSE, 0, 0);
  model_->ExplorersConnections()->Close();
  model_->Close();
  if (model_->LiveObjects() > 0) {
    std::string report = "simulated Outlook: objects still referenced at shutdown:";
    for (const auto& [kind, count] : model_->LiveObjectsByKind())
      report += " " + kind + " " + std::to_string(count);
    report += "\n";
    ::OutputDebugStringA(report.c_str());
    std::fputs(report.c_str(), stderr);
  }
}

// Event ids of ExplorerEvents and ExplorersEvents (Outlook's).
namespace {
constexpr DISPID kActivate = 0xF001, kFolderSwitch = 0xF002, kBeforeFolderSwitch = 0xF003,
                 kViewSwitch = 0xF004, kBeforeViewSwitch = 0xF005, kDeactivate = 0xF006,
                 kSelectionChange = 0xF007, kNewExplorer = 0xF001;
}  // namespace

EventResults OutlookSimHost::Impl::Activate(const std::shared_ptr<ExplorerRecord>& record) {
  if (const auto before = model_->Activate(record)) FireEvent(*before->connections, kDeactivate);
  return FireEvent(*record->connections, kActivate);
}

bool OutlookSimHost::Impl::Cancellable(const ExplorerRecord& record, DISPID before, DISPID after,
                                       const VARIANT& first) {
  VARIANT_BOOL cancel = VARIANT_FALSE;
  VARIANT cancelArgument;
  cancelArgument.vt = VT_BOOL | VT_BYREF;
  cancelArgument.pboolVal = &cancel;
  FireEvent(*record.connections, before, {first, cancelArgument});
  if (cancel != VARIANT_FALSE) return true;
  FireEvent(*record.connections, after);
  return false;
}

HWND OutlookSimHost::Impl::Open(EventResults* newExplorer) {
  const HWND window = OpenExplorerWindow(model_, allClosed_.Get());
  if (!window) throw std::runtime_error("cannot create an explorer window");
  ::ResetEvent(allClosed_.Get());
  const auto record = Explorer(window);
  EventResults delivered;
  {
    Microsoft::WRL::ComPtr<ExplorerObject> explorer = model_->ExplorerFor(record);
    VARIANT argument;
    argument.vt = VT_DISPATCH;
    argument.pdispVal = static_cast<_Explorer*>(explorer.Get());
    delivered = FireEvent(*model_->ExplorersConnections(), kNewExplorer, {argument});
  }
  // A sink may have closed it while it heard NewExplorer.
  if (model_->FindExplorer(window)) Activate(record);
  if (newExplorer) *newExplorer = std::move(delivered);
  return window;
}

EventResults OutlookSimHost::Impl::Close(HWND window) {
  Explorer(window);
  ClosedExplorer closed = model_->CloseExplorer(window);
  if (closed.closed) {
    if (closed.last) ::SetEvent(allClosed_.Get());
    ::DestroyWindow(window);
  }
  return std::move(closed.close);
}

// --- the public face ------------------------------------------------------------------

OutlookSimHost::OutlookSimHost(const SimOptions& options) : impl_(std::make_unique<Impl>(options)) {}

OutlookSimHost::~OutlookSimHost() = default;

Microsoft::WRL::ComPtr<IDispatch> OutlookSimHost::Application() const {
  Microsoft::WRL::ComPtr<IGlobalInterfaceTable> git;
  HRESULT hr = ::CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_PPV_ARGS(&git));
  Microsoft::WRL::ComPtr<IDispatch> application;
  if (SUCCEEDED(hr))
    hr = git->GetInterfaceFromGlobal(impl_->cookie_, IID_IDispatch,
                                     reinterpret_cast<void**>(application.GetAddressOf()));
  if (FAILED(hr))
    throw std::runtime_error(Failure(hr, "taking Application from the GIT (is COM initialised?)"));
  return application;
}

DWORD OutlookSimHost::ApplicationCookie() const { return impl_->cookie_; }

void OutlookSimHost::RunOnUiThread(const std::function<void()>& task) const {
  impl_->ui_.Run(task);
}

std::vector<SimCategory> OutlookSimHost::Categories() const { return impl_->model_->Categories(); }

void OutlookSimHost::SetCategories(const std::vector<SimCategory>& categories) {
  impl_->model_->SetCategories(categories);
}

std::map<std::string, long> OutlookSimHost::CallCounts() const {
  return impl_->model_->counter.Snapshot();
}
long OutlookSimHost::CallCount(const std::string& member) const {
  return impl_->model_->counter.Get(member);
}
long OutlookSimHost::TotalCalls() const { return impl_->model_->counter.Total(); }
void OutlookSimHost::ResetCounts() { impl_->model_->counter.Reset(); }
long OutlookSimHost::WrongThreadCalls() const { return impl_->model_->WrongThreadCalls(); }

void OutlookSimHost::EnableJournal(bool enabled) { impl_->model_->journal.Enable(enabled); }
std::vector<JournalEntry> OutlookSimHost::Journal() const {
  return impl_->model_->journal.Snapshot();
}
void OutlookSimHost::ClearJournal() { impl_->model_->journal.Clear(); }

double OutlookSimHost::LongestStallMs() const { return impl_->ui_.LongestStallMs(); }
void OutlookSimHost::ResetStall() { impl_->ui_.ResetStall(); }

HWND OutlookSimHost::ExplorerWindow() const {
  const auto open = impl_->model_->OpenExplorers();
  return open.empty() ? nullptr : open.front()->window;
}

std::vector<HWND> OutlookSimHost::ExplorerWindows() const {
  std::vector<HWND> windows;
  for (const auto& record : impl_->model_->OpenExplorers()) windows.push_back(record->window);
  return windows;
}

HWND OutlookSimHost::ActiveExplorerWindow() const {
  const auto active = impl_->model_->ActiveExplorer();
  return active ? active->window : nullptr;
}

EventResults OutlookSimHost::ActivateExplorer(HWND explorer) {
  EventResults results;
  impl_->ui_.Run([&] { results = impl_->Activate(impl_->Explorer(explorer)); });
  return results;
}

EventResults OutlookSimHost::ChangeSelection(HWND explorer) {
  EventResults results;
  impl_->ui_.Run(
      [&] { results = FireEvent(*impl_->Explorer(explorer)->connections, kSelectionChange); });
  return results;
}

bool OutlookSimHost::SwitchFolder(HWND explorer) {
  bool cancelled = false;
  impl_->ui_.Run([&] {
    VARIANT folder;
    folder.vt = VT_DISPATCH;
    folder.pdispVal = nullptr;
    cancelled = impl_->Cancellable(*impl_->Explorer(explorer), kBeforeFolderSwitch, kFolderSwitch,
                                   folder);
  });
  return cancelled;
}

bool OutlookSimHost::SwitchView(HWND explorer, const std::wstring& view) {
  bool cancelled = false;
  impl_->ui_.Run([&] {
    const Qv::ScopedVariant name(view);
    cancelled = impl_->Cancellable(*impl_->Explorer(explorer), kBeforeViewSwitch, kViewSwitch, *name);
  });
  return cancelled;
}

HWND OutlookSimHost::OpenExplorer(EventResults* newExplorer) {
  HWND window = nullptr;
  impl_->ui_.Run([&] { window = impl_->Open(newExplorer); });
  return window;
}

EventResults OutlookSimHost::CloseExplorer(HWND explorer) {
  EventResults results;
  impl_->ui_.Run([&] { results = impl_->Close(explorer); });
  return results;
}

long OutlookSimHost::ExplorerConnections(HWND explorer) const {
  return impl_->Explorer(explorer)->connections->Count();
}

long OutlookSimHost::ExplorersConnections() const {
  return impl_->model_->ExplorersConnections()->Count();
}

bool OutlookSimHost::WaitForExplorersClosed(DWORD milliseconds) const {
  return ::WaitForSingleObject(impl_->allClosed_.Get(), milliseconds) == WAIT_OBJECT_0;
}

DWORD OutlookSimHost::UiThreadId() const { return impl_->ui_.Id(); }
int OutlookSimHost::OutlookMajor() const { return impl_->model_->Major(); }

Microsoft::WRL::ComPtr<IDispatch> OutlookSimHost::NewRibbonControl(const std::wstring& id) const {
  if (::GetCurrentThreadId() != impl_->ui_.Id())
    throw std::logic_error("Office's ribbon objects are made on the UI thread");
  Microsoft::WRL::ComPtr<IDispatch> context;
  if (const auto active = impl_->model_->ActiveExplorer())
    context = static_cast<_Explorer*>(impl_->model_->ExplorerFor(active).Get());
  return static_cast<IRibbonControl*>(
      Qv::MakeComObject<RibbonControlObject>(impl_->model_, id, std::move(context)).Get());
}

Microsoft::WRL::ComPtr<IDispatch> OutlookSimHost::NewRibbonUI() const {
  if (::GetCurrentThreadId() != impl_->ui_.Id())
    throw std::logic_error("Office's ribbon objects are made on the UI thread");
  return static_cast<IRibbonUI*>(Qv::MakeComObject<RibbonUIObject>(impl_->model_).Get());
}

const std::shared_ptr<SimModel>& OutlookSimHost::Model() const { return impl_->model_; }

long OutlookSimHost::LiveObjects() const {
  const long live = impl_->model_->LiveObjects();
  return impl_->model_->Application() ? live - 1 : live;
}

}  // namespace OutlookSim
