#include <windows.h>

#include <gtest/gtest.h>

#include "MapiSession.h"

namespace {

// A COM object that answers IMAPISession or not, and counts its references.
class FakeMapiObject : public IUnknown {
 public:
  explicit FakeMapiObject(bool isSession) : isSession_(isSession) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || (isSession_ && iid == kIID_IMAPISession)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }
  ULONG refs = 1;

 private:
  bool isSession_;
};

TEST(QvIMAPISession, HoldsTheSessionInterfaceAndReleasesIt) {
  FakeMapiObject session(true);
  {
    QvIMAPISession holder;
    EXPECT_TRUE(holder.IsEmpty());
    holder.Attach(&session);
    EXPECT_FALSE(holder.IsEmpty());
    EXPECT_EQ(2u, session.refs);
    holder.Attach(holder.Get());
    EXPECT_EQ(2u, session.refs) << "attaching what is held keeps the same reference";
    holder.Release();
    EXPECT_TRUE(holder.IsEmpty());
    EXPECT_EQ(1u, session.refs);
    holder.Attach(&session);
  }
  EXPECT_EQ(1u, session.refs) << "destruction releases";
}

TEST(QvIMAPISession, AnObjectWithoutTheSessionInterfaceEmptiesTheHolder) {
  FakeMapiObject session(true), other(false);
  QvIMAPISession holder;
  holder.Attach(&session);
  holder.Attach(&other);
  EXPECT_TRUE(holder.IsEmpty());
  EXPECT_EQ(1u, session.refs) << "the earlier session was released";
  EXPECT_EQ(1u, other.refs);
  holder.Attach(&session);
  holder.Attach(nullptr);
  EXPECT_TRUE(holder.IsEmpty());
  EXPECT_EQ(1u, session.refs);
}

}  // namespace
