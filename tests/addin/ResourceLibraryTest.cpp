// Tagsy_ResEN.dll, the English resource library, against the Polish resources this test
// carries (the add-in's string table, ribbon XML and icon).
#include <windows.h>

#include <gtest/gtest.h>

#include "AddinBinary.h"
#include "qv/Text.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "ResourceIds.h"
#include "qv/Handles.h"
#include "qv/ResourceText.h"

namespace {

constexpr UINT kButtonIconId = 2039;

std::string ResourceLibraryPath() { return Qv::WideToAnsi(AddinPath(L"Tagsy_ResEN.dll")); }

class ResourceLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    // An ordinary load, as the add-in's start-up does it.
    english_.Reset(::LoadLibraryA(ResourceLibraryPath().c_str()));
    ASSERT_TRUE(english_) << ResourceLibraryPath() << ": error " << ::GetLastError();
  }

  HMODULE Polish() const { return ::GetModuleHandleA(nullptr); }
  HMODULE English() const { return english_.Get(); }

 private:
  Qv::UniqueModule english_;
};

// ---- The file itself ------------------------------------------------------------------

TEST_F(ResourceLibrary, HasNoEntryPointNoImportsAndNoThreadCallbacks) {
  const auto* base = reinterpret_cast<const BYTE*>(English());
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  ASSERT_EQ(IMAGE_DOS_SIGNATURE, dos->e_magic);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  ASSERT_EQ(static_cast<DWORD>(IMAGE_NT_SIGNATURE), nt->Signature);
  EXPECT_NE(0, nt->FileHeader.Characteristics & IMAGE_FILE_DLL);
  EXPECT_EQ(0u, nt->OptionalHeader.AddressOfEntryPoint) << "the loader must run nothing of it";

  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imports.Size != 0) {
    // At most the terminating descriptor: no DLL is named.
    const auto* first = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
    EXPECT_EQ(0u, first->Name) << "imports " << reinterpret_cast<const char*>(base + first->Name);
  }
  EXPECT_EQ(0u, nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_TLS].Size);
  EXPECT_EQ(0u, nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT].Size);
}

// ---- Strings --------------------------------------------------------------------------

// Every string of a module: string tables are blocks of 16, block n holding ids
// (n - 1) * 16 to n * 16 - 1, each string a length and that many UTF-16 units.
BOOL CALLBACK CollectBlock(HMODULE, LPCWSTR type, LPWSTR name, LONG_PTR blocks) {
  if (IS_INTRESOURCE(name))
    reinterpret_cast<std::vector<WORD>*>(blocks)->push_back(static_cast<WORD>(
        reinterpret_cast<ULONG_PTR>(name)));
  return TRUE;
}

std::map<UINT, std::wstring> StringTable(HMODULE module) {
  std::vector<WORD> blocks;
  ::EnumResourceNamesW(module, reinterpret_cast<LPCWSTR>(RT_STRING), CollectBlock,
                       reinterpret_cast<LONG_PTR>(&blocks));
  std::map<UINT, std::wstring> strings;
  for (const WORD block : blocks) {
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(block), reinterpret_cast<LPCWSTR>(RT_STRING));
    HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
    const auto* data = static_cast<const WCHAR*>(loaded ? ::LockResource(loaded) : nullptr);
    if (data == nullptr) continue;
    const WCHAR* end = data + ::SizeofResource(module, found) / sizeof(WCHAR);
    for (UINT i = 0; i < 16 && data < end; ++i) {
      const WORD length = *data++;
      if (length > 0) strings[(block - 1u) * 16u + i] = std::wstring(data, length);
      data += length;
    }
  }
  return strings;
}

std::vector<UINT> Ids(const std::map<UINT, std::wstring>& strings) {
  std::vector<UINT> ids;
  for (const auto& entry : strings) ids.push_back(entry.first);
  return ids;
}

size_t Occurrences(const std::wstring& text, const std::wstring& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::wstring::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

TEST_F(ResourceLibrary, HasEveryPolishStringAndNoOther) {
  const std::map<UINT, std::wstring> polish = StringTable(Polish());
  const std::map<UINT, std::wstring> english = StringTable(English());
  // The enumeration really found the tables: ids from both ends of the Polish one.
  for (const UINT id : {IDS_PUBLIC_FILE_CREATE_QUESTION, IDS_FIREWALL_RULE_FAILED,
                        IDS_TRANSFER_INCOMPLETE})
    EXPECT_EQ(1u, polish.count(id)) << id;
  EXPECT_EQ(Ids(polish), Ids(english));
}

TEST_F(ResourceLibrary, TranslationsKeepTheirArgumentsAndLineBreaks) {
  const std::map<UINT, std::wstring> polish = StringTable(Polish());
  const std::map<UINT, std::wstring> english = StringTable(English());
  ASSERT_FALSE(polish.empty());
  for (const auto& [id, text] : polish) {
    SCOPED_TRACE(id);
    const auto translation = english.find(id);
    if (translation == english.end()) continue;  // reported by the test above
    const std::wstring& en = translation->second;
    EXPECT_EQ(Occurrences(text, L"%s"), Occurrences(en, L"%s")) << "FormatText fills one %s";
    EXPECT_EQ(Occurrences(text, L"%"), Occurrences(en, L"%"));
    EXPECT_EQ(Occurrences(text, L"\n"), Occurrences(en, L"\n"));
    EXPECT_NE(text, en) << "not translated";
    EXPECT_TRUE(std::all_of(en.begin(), en.end(), [](wchar_t c) { return c >= 0x20 || c == L'\n'; }) &&
                std::all_of(en.begin(), en.end(), [](wchar_t c) { return c < 0x80; }))
        << "English texts are plain ASCII, whatever the code page";
  }
}

TEST_F(ResourceLibrary, TextComesFromItWhenItIsTheResourceModule) {
  const std::string polish = Qv::LoadText(IDS_FIREWALL_RULE_FAILED);
  Qv::SetResourceModule(English());
  const std::string english = Qv::LoadText(IDS_FIREWALL_RULE_FAILED);
  const std::string formatted = Qv::FormatText(IDS_FILE_DOES_NOT_EXIST, "C:\\kategorie.txt");
  Qv::SetResourceModule(nullptr);
  EXPECT_EQ("Cannot add a new Windows Firewall rule for Microsoft Outlook.\n"
            "For the program to work properly, add the rule manually.",
            english);
  EXPECT_EQ("The file C:\\kategorie.txt does not exist.", formatted);
  EXPECT_EQ(0u, polish.find("Nie mo")) << "and from the add-in's own table otherwise";
}

// ---- The button's icon ----------------------------------------------------------------

#pragma pack(push, 2)
struct IconDirectoryEntry {  // GRPICONDIRENTRY
  BYTE width, height, colours, reserved;
  WORD planes, bitCount;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

struct IconImages {
  std::vector<IconDirectoryEntry> entries;
  std::vector<std::string> images;  // the RT_ICON bytes of each entry
};

std::string ResourceData(HMODULE module, LPCSTR type, UINT id) {
  HRSRC found = ::FindResourceA(module, MAKEINTRESOURCEA(id), type);
  HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
  const void* data = loaded ? ::LockResource(loaded) : nullptr;
  return data ? std::string(static_cast<const char*>(data), ::SizeofResource(module, found)) : "";
}

IconImages ReadIcon(HMODULE module, UINT id) {
  IconImages icon;
  const std::string directory = ResourceData(module, RT_GROUP_ICON, id);
  if (directory.size() < 6) return icon;
  WORD count = 0;
  memcpy(&count, directory.data() + 4, sizeof(count));
  for (WORD i = 0; i < count && 6 + (i + 1) * sizeof(IconDirectoryEntry) <= directory.size(); ++i) {
    IconDirectoryEntry entry;
    memcpy(&entry, directory.data() + 6 + i * sizeof(entry), sizeof(entry));
    icon.entries.push_back(entry);
    icon.images.push_back(ResourceData(module, RT_ICON, entry.id));
  }
  return icon;
}

// The alpha values of an icon's colour bitmap, as GDI hands them out.
std::vector<BYTE> AlphaOf(HICON icon, int size) {
  ICONINFO info = {};
  if (!::GetIconInfo(icon, &info)) return {};
  std::vector<BYTE> alpha;
  BITMAPINFO format = {};
  format.bmiHeader.biSize = sizeof(format.bmiHeader);
  format.bmiHeader.biWidth = size;
  format.bmiHeader.biHeight = -size;
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 32;
  format.bmiHeader.biCompression = BI_RGB;
  std::vector<RGBQUAD> pixels(static_cast<size_t>(size) * size);
  HDC screen = ::GetDC(nullptr);
  if (info.hbmColor &&
      ::GetDIBits(screen, info.hbmColor, 0, size, pixels.data(), &format, DIB_RGB_COLORS) == size)
    for (const RGBQUAD& pixel : pixels) alpha.push_back(pixel.rgbReserved);
  ::ReleaseDC(nullptr, screen);
  if (info.hbmColor) ::DeleteObject(info.hbmColor);
  if (info.hbmMask) ::DeleteObject(info.hbmMask);
  return alpha;
}

TEST_F(ResourceLibrary, ButtonIconIsOne32BitImageOf32PixelsInBoth) {
  const IconImages polish = ReadIcon(Polish(), kButtonIconId);
  const IconImages english = ReadIcon(English(), kButtonIconId);
  for (const IconImages* icon : {&polish, &english}) {
    SCOPED_TRACE(icon == &polish ? "Polish" : "English");
    ASSERT_EQ(1u, icon->entries.size());
    EXPECT_EQ(32, icon->entries[0].width);
    EXPECT_EQ(32, icon->entries[0].height);
    EXPECT_EQ(32, icon->entries[0].bitCount);
    ASSERT_FALSE(icon->images[0].empty());
  }
  EXPECT_EQ(polish.images[0], english.images[0]) << "the same picture in both";
}

TEST_F(ResourceLibrary, ButtonIconLoadsAtTheStandardSizeWithItsAlpha) {
  ASSERT_EQ(32, ::GetSystemMetrics(SM_CXICON));
  for (HMODULE module : {Polish(), English()}) {
    SCOPED_TRACE(module == Polish() ? "Polish" : "English");
    HICON icon = static_cast<HICON>(::LoadImageA(module, MAKEINTRESOURCEA(kButtonIconId),
                                                 IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    ASSERT_NE(nullptr, icon) << ::GetLastError();
    const std::vector<BYTE> alpha = AlphaOf(icon, 32);
    ::DestroyIcon(icon);
    ASSERT_EQ(32u * 32u, alpha.size());
    // Transparent corners, an opaque body and antialiased edges in between.
    EXPECT_EQ(0, alpha.back()) << "bottom right corner";
    EXPECT_EQ(255, alpha[16 * 32 + 16]) << "centre";
    EXPECT_TRUE(std::any_of(alpha.begin(), alpha.end(), [](BYTE a) { return a > 0 && a < 255; }));
  }
}

}  // namespace
