#pragma once
// What Office reads from an add-in's ribbon XML (GetCustomUI), checked with the
// system's MSXML the way Office checks it before it shows anything: well-formed, a
// customUI root in the 2009/07 custom-UI namespace, and the controls the explorer ribbon
// shows. A plain result, so tests can look at every part.
#include <windows.h>

#include <string>
#include <vector>

namespace OutlookSim {

inline constexpr wchar_t kCustomUiNamespace[] = L"http://schemas.microsoft.com/office/2009/07/customui";

// Attributes as written; empty when absent.
struct RibbonButton {
  std::wstring id, label, size, showImage, onAction, getImage;
};

// The button of a group's dialogBoxLauncher.
struct RibbonLauncher {
  std::wstring id, onAction;
};

struct RibbonGroup {
  std::wstring id, label;
  std::vector<RibbonButton> buttons;
  std::vector<RibbonLauncher> launchers;
};

struct RibbonTab {
  std::wstring idMso;
  std::vector<RibbonGroup> groups;
};

struct RibbonXmlCheck {
  bool wellFormed = false;
  std::wstring parseError;  // MSXML's reason and position when not well-formed
  std::wstring rootName, rootNamespace, onLoad;
  std::vector<RibbonTab> tabs;
  // What Office would refuse the XML for (empty: it takes it).
  std::vector<std::wstring> problems;

  bool Accepted() const noexcept { return wellFormed && problems.empty(); }
  // Every button of every group, launchers' buttons not included.
  std::vector<RibbonButton> Buttons() const;
  // The callback a control's click calls (a button's or a launcher button's onAction);
  // false when no control has that id.
  bool FindAction(const std::wstring& controlId, std::wstring* onAction) const;
};

// Parses with MSXML (COM must be initialised on the calling thread). Never throws for a
// bad document: the result says what is wrong.
RibbonXmlCheck CheckRibbonXml(const std::wstring& xml);

}  // namespace OutlookSim
