#pragma once
// The MAPI session of the Outlook profile the add-in runs in: held, tested, released.
// Nothing calls into it; start-up only insists that there is one.
#include <windows.h>
#include <unknwn.h>
#include <wrl/client.h>

// {00020300-0000-0000-C000-000000000046}
inline constexpr IID kIID_IMAPISession = {0x00020300, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// Keeps one counted reference to interface `iid` of a MAPI object.
template <class Holder, const IID& iid>
class QvMAPIContainerT {
 public:
  QvMAPIContainerT() = default;
  QvMAPIContainerT(const QvMAPIContainerT&) = delete;
  QvMAPIContainerT& operator=(const QvMAPIContainerT&) = delete;
  virtual ~QvMAPIContainerT() = default;

  // Holds `object`'s `iid` interface instead of what was held; empty when it has none.
  void Attach(IUnknown* object) {
    if (object != nullptr && object == held_.Get()) return;
    Microsoft::WRL::ComPtr<IUnknown> queried;
    if (object == nullptr ||
        FAILED(object->QueryInterface(iid, reinterpret_cast<void**>(queried.GetAddressOf()))))
      queried.Reset();
    held_.Swap(queried);
  }
  void Release() { held_.Reset(); }
  bool IsEmpty() const noexcept { return held_ == nullptr; }
  IUnknown* Get() const noexcept { return held_.Get(); }

 private:
  Microsoft::WRL::ComPtr<IUnknown> held_;  // the `iid` interface; nothing calls its methods
};

class QvIMAPISession : public QvMAPIContainerT<QvIMAPISession, kIID_IMAPISession> {};
