// The simulated object model called late-bound by name, as the add-in calls Outlook:
// every case runs on Outlook's UI thread, from an MTA worker and from an STA worker.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SimFixture.h"

using OutlookSim::OutlookSimHost;
using OutlookSim::SimCategory;
using OutlookSim::SimOptions;

namespace {

const std::vector<SimCategory> kInitial = {{L"Klient A", 8}, {L"Faktury", 3}, {L"Pilne", 1}};

class ObjectModel : public testing::TestWithParam<Apartment> {
 protected:
  ObjectModel() : host_(Options()) {}

  static SimOptions Options() {
    SimOptions options;
    options.version = L"16.0.4266.1001";
    options.categories = kInitial;
    return options;
  }

  // Runs `body` with the Categories collection as this case's apartment sees it.
  void WithCategories(const std::function<void(IDispatch*)>& body) {
    WithApplication(host_, GetParam(), [&](IDispatch* application) {
      auto categories = Walk(application, {L"Session", L"Categories"});
      ASSERT_TRUE(categories);
      body(categories.Get());
    });
  }

  OutlookSimHost host_;
};

INSTANTIATE_TEST_SUITE_P(Apartments, ObjectModel,
                         testing::Values(Apartment::UiThread, Apartment::Mta, Apartment::Sta),
                         testing::PrintToStringParamName());

// What a failed call gives a late-bound caller: DISP_E_EXCEPTION, with Outlook's failure
// in the EXCEPINFO.
void ExpectOutlookFailure(const DispatchResult& result, HRESULT scode) {
  EXPECT_EQ(result.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(result.scode, scode);
  EXPECT_EQ(result.source, L"Microsoft Outlook");
  EXPECT_FALSE(result.description.empty());
}

struct MemberCase {
  std::initializer_list<const wchar_t*> path;  // from Application
  const wchar_t* member;
  WORD flags;
  const wchar_t* textArgument;  // or null
  int numberArgument;           // used when above 0
  VARTYPE type;                 // of the result
  const wchar_t* text;          // the result as text, or null for an object
};

const MemberCase kMembers[] = {
    {{}, L"Version", DISPATCH_PROPERTYGET, nullptr, 0, VT_BSTR, L"16.0.4266.1001"},
    {{}, L"Explorers", DISPATCH_PROPERTYGET, nullptr, 0, VT_DISPATCH, nullptr},
    {{}, L"ActiveExplorer", DISPATCH_METHOD, nullptr, 0, VT_DISPATCH, nullptr},
    {{}, L"Session", DISPATCH_PROPERTYGET, nullptr, 0, VT_DISPATCH, nullptr},
    {{}, L"GetNamespace", DISPATCH_METHOD, L"MAPI", 0, VT_DISPATCH, nullptr},
    {{L"Explorers"}, L"Count", DISPATCH_PROPERTYGET, nullptr, 0, VT_I4, L"1"},
    {{L"Explorers"}, L"Item", DISPATCH_METHOD, nullptr, 1, VT_DISPATCH, nullptr},
    {{L"ActiveExplorer"}, L"Application", DISPATCH_PROPERTYGET, nullptr, 0, VT_DISPATCH, nullptr},
    {{L"Session"}, L"MAPIOBJECT", DISPATCH_PROPERTYGET, nullptr, 0, VT_UNKNOWN, nullptr},
    {{L"Session"}, L"Categories", DISPATCH_PROPERTYGET, nullptr, 0, VT_DISPATCH, nullptr},
    {{L"Session", L"Categories"}, L"Count", DISPATCH_PROPERTYGET, nullptr, 0, VT_I4, L"3"},
    {{L"Session", L"Categories"}, L"Item", DISPATCH_METHOD, nullptr, 2, VT_DISPATCH, nullptr},
    {{L"Session", L"Categories"}, L"Add", DISPATCH_METHOD, L"Nowa", 0, VT_DISPATCH, nullptr},
    {{L"Session", L"Categories"}, L"Remove", DISPATCH_METHOD, L"Pilne", 0, VT_EMPTY, nullptr},
};

TEST_P(ObjectModel, EveryMemberAnswersByName) {
  for (const MemberCase& c : kMembers) {
    SCOPED_TRACE(testing::Message() << "member " << testing::PrintToString(std::wstring(c.member)));
    host_.SetCategories(kInitial);
    WithApplication(host_, GetParam(), [&](IDispatch* application) {
      auto object = Walk(application, c.path);
      ASSERT_TRUE(object);
      const DispatchResult result =
          c.textArgument ? InvokeByName(object.Get(), c.member, c.flags, c.textArgument)
          : c.numberArgument > 0 ? InvokeByName(object.Get(), c.member, c.flags, c.numberArgument)
                                 : InvokeByName(object.Get(), c.member, c.flags);
      ASSERT_EQ(result.hr, S_OK);
      EXPECT_EQ(result.value.Type(), c.type);
      if (c.text) {
        EXPECT_EQ(result.Text(), c.text);
      }
      if (c.type == VT_DISPATCH) {
        EXPECT_TRUE(result.Object());
      }
    });
  }
}

TEST_P(ObjectModel, CategoryMembersAnswerByName) {
  WithCategories([](IDispatch* categories) {
    auto category = Call(categories, L"Item", 1).Object();
    ASSERT_TRUE(category);
    EXPECT_EQ(Get(category.Get(), L"Name").Text(), L"Klient A");
    const DispatchResult color = Get(category.Get(), L"Color");
    EXPECT_EQ(color.value.Type(), VT_I4);
    EXPECT_EQ(color.Number(), 8);
    EXPECT_EQ(Get(category.Get(), L"ShortcutKey").Number(), 0);
  });
}

// One entity, one object: what the add-in compares and keeps.
TEST_P(ObjectModel, AnEntityIsOneObject) {
  WithApplication(host_, GetParam(), [](IDispatch* application) {
    auto session = Walk(application, {L"Session"});
    auto mapi = Call(application, L"GetNamespace", L"MAPI").Object();
    EXPECT_EQ(IdentityOf(session.Get()), IdentityOf(mapi.Get()));
    auto explorerApplication = Walk(application, {L"ActiveExplorer", L"Application"});
    EXPECT_EQ(IdentityOf(explorerApplication.Get()), IdentityOf(application));
    auto active = Walk(application, {L"ActiveExplorer"});
    auto first = Call(Walk(application, {L"Explorers"}).Get(), L"Item", 1).Object();
    EXPECT_EQ(IdentityOf(active.Get()), IdentityOf(first.Get()));
  });
}

struct ItemCase {
  Qv::ScopedVariant (*index)();
  const wchar_t* name;  // null: the call fails with `scode`
  int color;
  HRESULT scode;
};

const ItemCase kItems[] = {
    {[] { return Qv::ScopedVariant::Long(1); }, L"Klient A", 8, S_OK},
    {[] { return Qv::ScopedVariant::Long(3); }, L"Pilne", 1, S_OK},
    // The add-in passes its index as VT_INT.
    {[] { return Qv::ScopedVariant::Int(2); }, L"Faktury", 3, S_OK},
    {[] { return Qv::ScopedVariant(L"faktury"); }, L"Faktury", 3, S_OK},
    {[] { return Qv::ScopedVariant(L"PILNE"); }, L"Pilne", 1, S_OK},
    {[] { return Qv::ScopedVariant::Long(0); }, nullptr, 0, DISP_E_BADINDEX},
    {[] { return Qv::ScopedVariant::Long(4); }, nullptr, 0, DISP_E_BADINDEX},
    {[] { return Qv::ScopedVariant(L"Brak"); }, nullptr, 0, MAPI_E_NOT_FOUND},
    {[] { return Qv::ScopedVariant(L"Pilne "); }, nullptr, 0, MAPI_E_NOT_FOUND},
};

TEST_P(ObjectModel, ItemCountsFromOneOrFindsAName) {
  WithCategories([](IDispatch* categories) {
    for (const ItemCase& c : kItems) {
      const DispatchResult result = Call(categories, L"Item", c.index());
      SCOPED_TRACE(testing::Message() << "expected " << (c.name ? "a category" : "a failure"));
      if (!c.name) {
        ExpectOutlookFailure(result, c.scode);
        continue;
      }
      ASSERT_EQ(result.hr, S_OK);
      EXPECT_EQ(Get(result.Object().Get(), L"Name").Text(), c.name);
      EXPECT_EQ(Get(result.Object().Get(), L"Color").Number(), c.color);
    }
  });
}

TEST_P(ObjectModel, AddAppendsAtTheEnd) {
  WithCategories([](IDispatch* categories) {
    const DispatchResult added = Call(categories, L"Add", L"Nowa", 5);
    ASSERT_EQ(added.hr, S_OK);
    EXPECT_EQ(Get(added.Object().Get(), L"Name").Text(), L"Nowa");
    EXPECT_EQ(Get(added.Object().Get(), L"Color").Number(), 5);
    // Colour and shortcut key are optional; the add-in leaves the key out.
    ASSERT_EQ(Call(categories, L"Add", L"Bez koloru").hr, S_OK);
    ASSERT_EQ(Call(categories, L"Add", L"Int", Qv::ScopedVariant::Int(7),
                   Qv::ScopedVariant::Missing()).hr, S_OK);
    EXPECT_EQ(Get(categories, L"Count").Number(), 6);
    EXPECT_EQ(Get(Call(categories, L"Item", 4).Object().Get(), L"Name").Text(), L"Nowa");
  });
  const std::vector<SimCategory> expected = {kInitial[0], kInitial[1], kInitial[2],
                                             {L"Nowa", 5},  {L"Bez koloru", 0}, {L"Int", 7}};
  EXPECT_EQ(host_.Categories(), expected);
}

// Outlook takes names that differ only in letter case as one, over all of Unicode.
TEST_P(ObjectModel, AddRefusesANameOutlookHolds) {
  host_.SetCategories({{L"Ąlbum", 1}, {L"Ωmega", 2}, {L"Жёлтый", 3}, {L"Klient A", 8}});
  const wchar_t* const kSameNames[] = {L"ąlbum", L"ĄLBUM", L"ωMEGA", L"жЁЛТЫЙ", L"klient a"};
  WithCategories([&](IDispatch* categories) {
    for (const wchar_t* name : kSameNames) {
      SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
      const DispatchResult result = Call(categories, L"Add", name, 4);
      ExpectOutlookFailure(result, MAPI_E_COLLISION);
      EXPECT_EQ(result.description, L"The category already exists.");
    }
    EXPECT_EQ(Get(categories, L"Count").Number(), 4);
  });
}

TEST_P(ObjectModel, AddRefusesArgumentsOutlookRefuses) {
  WithCategories([](IDispatch* categories) {
    ExpectOutlookFailure(Call(categories, L"Add", L""), E_INVALIDARG);
    ExpectOutlookFailure(Call(categories, L"Add", L"Kolor", 26), E_INVALIDARG);
    ExpectOutlookFailure(Call(categories, L"Add", L"Kolor", -1), E_INVALIDARG);
    ExpectOutlookFailure(Call(categories, L"Add", L"Klawisz", 1, 12), E_INVALIDARG);
    EXPECT_EQ(Get(categories, L"Count").Number(), 3);
  });
}

TEST_P(ObjectModel, RemoveKeepsTheOrderOfTheOthers) {
  WithCategories([](IDispatch* categories) {
    EXPECT_EQ(Call(categories, L"Remove", L"fAKTURY").hr, S_OK);
    EXPECT_EQ(Call(categories, L"Remove", 2).hr, S_OK);
  });
  EXPECT_EQ(host_.Categories(), std::vector<SimCategory>{kInitial[0]});
}

TEST_P(ObjectModel, RemoveRefusesWhatOutlookDoesNotHold) {
  WithCategories([](IDispatch* categories) {
    ExpectOutlookFailure(Call(categories, L"Remove", L"Brak"), MAPI_E_NOT_FOUND);
    ExpectOutlookFailure(Call(categories, L"Remove", 4), DISP_E_BADINDEX);
  });
  EXPECT_EQ(host_.Categories(), kInitial);
}

TEST_P(ObjectModel, ACategoryReadAfterItsRemovalFails) {
  WithCategories([](IDispatch* categories) {
    auto category = Call(categories, L"Item", L"Pilne").Object();
    ASSERT_EQ(Call(categories, L"Remove", L"Pilne").hr, S_OK);
    ExpectOutlookFailure(Get(category.Get(), L"Name"), MAPI_E_NOT_FOUND);
  });
}

TEST_P(ObjectModel, GetNamespaceKnowsOnlyMapi) {
  WithApplication(host_, GetParam(), [](IDispatch* application) {
    EXPECT_EQ(Call(application, L"GetNamespace", L"mapi").hr, S_OK);
    ExpectOutlookFailure(Call(application, L"GetNamespace", L"Outlook"), E_INVALIDARG);
  });
}

TEST_P(ObjectModel, ExplorersCountFromOne) {
  WithApplication(host_, GetParam(), [](IDispatch* application) {
    auto explorers = Walk(application, {L"Explorers"});
    EXPECT_EQ(Call(explorers.Get(), L"Item", 1).hr, S_OK);
    ExpectOutlookFailure(Call(explorers.Get(), L"Item", 0), DISP_E_BADINDEX);
    ExpectOutlookFailure(Call(explorers.Get(), L"Item", 2), DISP_E_BADINDEX);
  });
}

// IDispatch itself, as served from the type library.
TEST_P(ObjectModel, DispatchComesFromTheTypeLibrary) {
  WithCategories([](IDispatch* categories) {
    UINT count = 0;
    EXPECT_EQ(categories->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    Microsoft::WRL::ComPtr<ITypeInfo> info;
    ASSERT_EQ(categories->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info), S_OK);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
    const IID categoriesIid = {0xC4F634B0, 0x1107, 0x4991,
                               {0xA0, 0x25, 0x8B, 0xD7, 0x82, 0x00, 0x75, 0xE4}};
    EXPECT_TRUE(::IsEqualGUID(attributes->guid, categoriesIid));
    info->ReleaseTypeAttr(attributes);
    Microsoft::WRL::ComPtr<ITypeInfo> none;
    EXPECT_EQ(categories->GetTypeInfo(1, LOCALE_USER_DEFAULT, &none), DISP_E_BADINDEX);

    DISPID id = 0;
    EXPECT_EQ(DispIdOf(categories, L"Nonsense", &id), DISP_E_UNKNOWNNAME);
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"Count")};
    EXPECT_EQ(categories->GetIDsOfNames(IID_IDispatch, names, 1, LOCALE_USER_DEFAULT, &id),
              DISP_E_UNKNOWNINTERFACE);
    // Outlook's collections answer Item as their default member.
    std::vector<Qv::ScopedVariant> index;
    index.push_back(Qv::ScopedVariant::Long(1));
    const DispatchResult byDefault =
        InvokeById(categories, DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET, std::move(index));
    EXPECT_EQ(Get(byDefault.Object().Get(), L"Name").Text(), L"Klient A");
  });
}

}  // namespace
