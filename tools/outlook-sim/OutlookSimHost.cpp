#include "OutlookSimHost.h"

#include <objbase.h>
#include <ole2.h>

#include <cstdio>
#include <stdexcept>

#include "ExplorerWindow.h"
#include "SimModel.h"
#include "SimObjects.h"
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
}

void OutlookSimHost::Impl::Teardown() {
  if (git_ && cookie_) git_->RevokeInterfaceFromGlobal(cookie_);
  git_.Reset();
  if (!model_) return;
  for (const auto& explorer : model_->OpenExplorers())
    ::SendMessageW(explorer->window, WM_CLOSE, 0, 0);
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

bool OutlookSimHost::WaitForExplorersClosed(DWORD milliseconds) const {
  return ::WaitForSingleObject(impl_->allClosed_.Get(), milliseconds) == WAIT_OBJECT_0;
}

DWORD OutlookSimHost::UiThreadId() const { return impl_->ui_.Id(); }
int OutlookSimHost::OutlookMajor() const { return impl_->model_->Major(); }

long OutlookSimHost::LiveObjects() const {
  const long live = impl_->model_->LiveObjects();
  return impl_->model_->Application() ? live - 1 : live;
}

}  // namespace OutlookSim
