// The add-in object's container of event subscriptions.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "OutlookEventSinks.h"
#include "qv/ComObject.h"

namespace {

// A subscription that only records what the container asks of it.
class RecordingSink final : public Qv::ComObject<Outlook::IQvOutlookEventSink> {
 public:
  explicit RecordingSink(std::vector<int>* unadvised, int name, bool advised = true)
      : unadvised_(unadvised), name_(name), advised_(advised) {}
  HRESULT STDMETHODCALLTYPE Advise(IDispatch*, VARIANT_BOOL* result) override {
    if (result) *result = VARIANT_TRUE;
    advised_ = true;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Unadvise() override {
    unadvised_->push_back(name_);
    advised_ = false;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE IsAdvised(VARIANT_BOOL* result) override {
    *result = advised_ ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }

 private:
  std::vector<int>* unadvised_;
  int name_;
  bool advised_;
};

TEST(EventSinksContainer, IdsStartAtOneAndAreNeverReused) {
  std::vector<int> unadvised;
  Outlook::COutlookEventSinksContainer sinks(false);
  EXPECT_EQ(1, sinks.Add(Qv::MakeComObject<RecordingSink>(&unadvised, 1).Get()));
  sinks.Remove(1);
  EXPECT_EQ((std::vector<int>{1}), unadvised) << "removal withdraws the subscription";
  EXPECT_EQ(nullptr, sinks.Get(1));
  EXPECT_EQ(2, sinks.Add(Qv::MakeComObject<RecordingSink>(&unadvised, 2).Get()));
  EXPECT_NE(nullptr, sinks.Get(2));
  sinks.Remove(7);  // nothing there: nothing happens
  EXPECT_EQ(1u, sinks.Size());
}

TEST(EventSinksContainer, ClearUnadvisesEverySinkInIdOrder) {
  std::vector<int> unadvised;
  Outlook::COutlookEventSinksContainer sinks(false);
  sinks.Clear();
  EXPECT_TRUE(unadvised.empty()) << "an empty container does nothing";
  for (int name : {10, 20, 30}) sinks.Add(Qv::MakeComObject<RecordingSink>(&unadvised, name).Get());
  sinks.Clear();
  EXPECT_EQ((std::vector<int>{10, 20, 30}), unadvised);
  EXPECT_EQ(0u, sinks.Size());
}

TEST(EventSinksContainer, PurgeDropsOnlyUnsubscribedSinksAndRunsOnChangeWhenAsked) {
  std::vector<int> unadvised;
  Outlook::COutlookEventSinksContainer kept(false);
  kept.Add(Qv::MakeComObject<RecordingSink>(&unadvised, 1, false).Get());
  kept.Add(Qv::MakeComObject<RecordingSink>(&unadvised, 2, true).Get());
  EXPECT_EQ(2u, kept.Size()) << "no purging unless asked";
  kept.Purge();
  EXPECT_EQ(1u, kept.Size());
  EXPECT_NE(nullptr, kept.Get(2));

  Outlook::COutlookEventSinksContainer purging(true);
  purging.Add(Qv::MakeComObject<RecordingSink>(&unadvised, 3, false).Get());
  purging.Add(Qv::MakeComObject<RecordingSink>(&unadvised, 4, true).Get());
  EXPECT_EQ(nullptr, purging.Get(1)) << "the unsubscribed one went at the next Add";
  EXPECT_EQ(1u, purging.Size());
}

}  // namespace
