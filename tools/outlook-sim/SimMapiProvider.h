#pragma once
// The fallback MAPI session provider as a host may offer it: a class object registered
// for the host's process only (CoRegisterClassObject), handing out the same kind of
// session object NameSpace.MAPIOBJECT gives.
#include <windows.h>

#include <memory>

namespace OutlookSim {

class SimModel;

// Registers the provider's class on the calling thread (the UI thread); returns the
// registration cookie for RevokeMapiProvider, 0 on failure.
DWORD RegisterMapiProvider(std::shared_ptr<SimModel> model);
void RevokeMapiProvider(DWORD cookie);

}  // namespace OutlookSim
