#pragma once
// The running add-in: Outlook's Application as the explorer gave it, the MAPI session
// that start-up requires, the synchronisation thread and the command bars. One per
// process, owned by CAddinContext; initialised when an explorer is first available and
// uninitialised when Outlook disconnects the add-in or the followed explorer closes.
#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <memory>

#include "MapiSession.h"
#include "SynchThread.h"
#include "qv/RefCounted.h"

namespace Addin {
class CStartupAccessProbe;
}
class COutlookCommandBars;

class CTagsyExtension : public CRefCountedT<FreeThreadedModel> {
 public:
  CTagsyExtension();
  ~CTagsyExtension() override;
  CTagsyExtension(const CTagsyExtension&) = delete;
  CTagsyExtension& operator=(const CTagsyExtension&) = delete;

  // The start-up road, on Outlook's user-interface thread; runs once until Uninitialize.
  // Raises Error::QvException and _com_error to its caller.
  void Initialize(IDispatch* explorer);
  void Uninitialize();

  bool IsInitialised() const noexcept { return initialised_; }
  bool HasSession() const noexcept { return !session_.IsEmpty(); }
  IDispatch* Application() const noexcept { return application_.Get(); }
  CSynchThread& Thread() noexcept { return thread_; }

 private:
  void UnblockOutlookStep();
  void AccessStep();
  void AttachOutlookSession();
  void AttachFallbackSession();
  void RunWizardWhenDue();

  bool initialised_ = false;
  Microsoft::WRL::ComPtr<IDispatch> application_;
  QvIMAPISession session_;
  CSynchThread thread_;
  std::unique_ptr<Addin::CStartupAccessProbe> accessProbe_;
};
