// The Categories collection and its Category objects (Outlook 12 on).
#include "SimObjects.h"

#include <string>

#include "qv/ComVariant.h"

namespace OutlookSim {
namespace {

// Outlook's category colours run from olCategoryColorNone (0) to 25, its shortcut keys
// from none (0) to Ctrl+F12 (11).
constexpr LONG kLastColor = 25;
constexpr LONG kLastShortcutKey = 11;

// An optional numeric argument: `fallback` when omitted, false when it is no number or
// outside 0..last.
bool OptionalNumber(const VARIANT& value, LONG last, LONG fallback, LONG* result) {
  if (Qv::IsMissingArgument(value)) {
    *result = fallback;
    return true;
  }
  return SUCCEEDED(Qv::VariantToLong(value, result)) && *result >= 0 && *result <= last;
}

}  // namespace

// --- Categories -----------------------------------------------------------------------

CategoriesObject::CategoriesObject(std::shared_ptr<SimModel> model)
    : SimObject(std::move(model), "Categories") {}

CategoriesObject::~CategoriesObject() { model_->Forget(model_->categoriesSlot, this); }

STDMETHODIMP CategoriesObject::get_Count(LONG* count) {
  return Call("Count", [&] {
    if (!count) return E_POINTER;
    *count = model_->CategoryCount();
    return S_OK;
  });
}

HRESULT CategoriesObject::Find(const VARIANT& index, std::shared_ptr<CategoryRecord>* record) {
  if (Qv::IsStringVariant(index)) {
    std::wstring name;
    if (FAILED(Qv::VariantToString(index, &name))) return Fail(kInvalidArgument);
    *record = model_->FindCategory(name);
    return *record ? S_OK : Fail(kNotFound);
  }
  LONG position = 0;
  if (Qv::IsMissingArgument(index) || FAILED(Qv::VariantToLong(index, &position)))
    return Fail(kInvalidArgument);
  *record = model_->CategoryAt(position);
  return *record ? S_OK : Fail(kOutOfBounds);
}

STDMETHODIMP CategoriesObject::Item(VARIANT index, _Category** category) {
  return Call("Item", [&] {
    if (!category) return E_POINTER;
    *category = nullptr;
    std::shared_ptr<CategoryRecord> record;
    const HRESULT hr = Find(index, &record);
    if (FAILED(hr)) return hr;
    return Hand(model_->CategoryFor(record), category);
  });
}

STDMETHODIMP CategoriesObject::Add(VARIANT name, VARIANT color, VARIANT shortcutKey,
                                   _Category** category) {
  return Call("Add", [&] {
    if (!category) return E_POINTER;
    *category = nullptr;
    std::wstring text;
    LONG colour = 0, key = 0;
    HRESULT hr = S_OK;
    if (Qv::IsMissingArgument(name) || FAILED(Qv::VariantToString(name, &text)) || text.empty() ||
        !OptionalNumber(color, kLastColor, 0, &colour) ||
        !OptionalNumber(shortcutKey, kLastShortcutKey, 0, &key)) {
      hr = Fail(kInvalidArgument);
    } else if (auto record = model_->AddCategory(text, colour, key)) {
      hr = Hand(model_->CategoryFor(record), category);
    } else {
      hr = Fail(kAlreadyExists);
    }
    model_->journal.Record("Add", text, colour, hr);
    return hr;
  });
}

STDMETHODIMP CategoriesObject::Remove(VARIANT index) {
  return Call("Remove", [&] {
    std::shared_ptr<CategoryRecord> record;
    const HRESULT hr = Find(index, &record);
    if (FAILED(hr)) {
      std::wstring asked;
      if (Qv::IsStringVariant(index)) Qv::VariantToString(index, &asked);
      model_->journal.Record("Remove", asked, 0, hr);
      return hr;
    }
    const CategoryRecord removed = model_->ReadCategory(*record);
    model_->RemoveCategory(record);
    model_->journal.Record("Remove", removed.name, removed.color, S_OK);
    return S_OK;
  });
}

// --- Category -------------------------------------------------------------------------

CategoryObject::CategoryObject(std::shared_ptr<SimModel> model,
                               std::shared_ptr<CategoryRecord> record)
    : SimObject(std::move(model), "Category"), record_(std::move(record)) {}

CategoryObject::~CategoryObject() { model_->ForgetCategory(*record_, this); }

// A Category read after its removal from the list has nothing left to describe.
STDMETHODIMP CategoryObject::get_Name(BSTR* name) {
  return Call("Name", [&] {
    if (!name) return E_POINTER;
    *name = nullptr;
    const CategoryRecord now = model_->ReadCategory(*record_);
    if (now.removed) return Fail(kNotFound);
    *name = ::SysAllocStringLen(now.name.data(), static_cast<UINT>(now.name.size()));
    return *name ? S_OK : Fail(kOutOfMemory);
  });
}

STDMETHODIMP CategoryObject::get_Color(LONG* color) {
  return Call("Color", [&] {
    if (!color) return E_POINTER;
    const CategoryRecord now = model_->ReadCategory(*record_);
    if (now.removed) return Fail(kNotFound);
    *color = now.color;
    return S_OK;
  });
}

STDMETHODIMP CategoryObject::get_ShortcutKey(LONG* key) {
  return Call("ShortcutKey", [&] {
    if (!key) return E_POINTER;
    const CategoryRecord now = model_->ReadCategory(*record_);
    if (now.removed) return Fail(kNotFound);
    *key = now.shortcutKey;
    return S_OK;
  });
}

}  // namespace OutlookSim
