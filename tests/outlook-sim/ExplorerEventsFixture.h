#pragma once
// What the explorer-event tests share: Outlook's event ids, sinks, and a sink advised
// from a worker apartment that serves its events while the test fires them.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <functional>
#include <thread>

#include "EventSink.h"
#include "OutlookSim.h"
#include "SimFixture.h"
#include "qv/ApartmentWait.h"
#include "qv/Handles.h"

inline constexpr DISPID kActivate = 0xF001, kFolderSwitch = 0xF002, kBeforeFolderSwitch = 0xF003,
                        kViewSwitch = 0xF004, kBeforeViewSwitch = 0xF005, kDeactivate = 0xF006,
                        kSelectionChange = 0xF007, kClose = 0xF008, kNewExplorer = 0xF001;

inline const IID& kExplorerEvents = __uuidof(ExplorerEvents);
inline const IID& kExplorersEvents = __uuidof(ExplorersEvents);
// Outlook's type library.
inline constexpr GUID kOutlookLibrary = {0x00062FFF, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

inline Microsoft::WRL::ComPtr<RecordingSink> NewSink(const IID& events,
                                                     SinkAnswers answers = SinkAnswers::EventInterface) {
  return Qv::MakeComObject<RecordingSink>(events, answers);
}

// The active explorer as the calling apartment sees it.
inline Microsoft::WRL::ComPtr<IDispatch> ActiveExplorer(const OutlookSim::OutlookSimHost& host) {
  return Walk(host.Application().Get(), {L"ActiveExplorer"});
}

// Advises `sink` on the active explorer or on Explorers (by `events`) from a worker of
// `apartment`, through COM marshaling; keeps the worker serving its apartment while
// `fire` runs on the calling thread, then unadvises there.
inline void WithSinkOnWorker(const OutlookSim::OutlookSimHost& host, Apartment apartment, const IID& events,
                             RecordingSink* sink, const std::function<void()>& fire, DWORD* workerThread) {
  Qv::UniqueHandle ready(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  Qv::UniqueHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  HRESULT advised = E_FAIL, unadvised = E_FAIL;
  std::thread worker([&] {
    ::CoInitializeEx(nullptr, apartment == Apartment::Sta ? COINIT_APARTMENTTHREADED : COINIT_MULTITHREADED);
    *workerThread = ::GetCurrentThreadId();
    {
      auto application = host.Application();
      Microsoft::WRL::ComPtr<IDispatch> source = ::IsEqualIID(events, kExplorerEvents)
                                                     ? Walk(application.Get(), {L"ActiveExplorer"})
                                                     : Walk(application.Get(), {L"Explorers"});
      DWORD cookie = 0;
      Microsoft::WRL::ComPtr<IConnectionPoint> point;
      advised = AdviseSink(source.Get(), events, sink, &cookie, &point);
      ::SetEvent(ready.Get());
      // An STA serves the events it receives while it waits.
      HANDLE wait = done.Get();
      Qv::WaitServingCalls(1, &wait, INFINITE);
      if (point) unadvised = point->Unadvise(cookie);
    }
    ::CoUninitialize();
  });
  ::WaitForSingleObject(ready.Get(), INFINITE);
  if (advised == S_OK) fire();
  ::SetEvent(done.Get());
  worker.join();
  EXPECT_EQ(advised, S_OK);
  EXPECT_EQ(unadvised, S_OK);
}
