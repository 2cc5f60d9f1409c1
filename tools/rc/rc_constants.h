// The Win32 constants a script may use without defining them: window, dialog and control
// styles, language identifiers and the standard dialog command ids, with their real values.
#pragma once

#include <cstdint>
#include <string_view>

namespace qb::rc {

bool lookupConstant(std::string_view name, uint32_t* value);

// Control classes that have a predefined atom (0x0080 button ... 0x0085 combo box); the
// name is compared without regard to case. 0 for any other class.
uint16_t classAtom(std::string_view className);

// Win32 style bits the compiler applies itself.
inline constexpr uint32_t kWsPopup = 0x80000000u;
inline constexpr uint32_t kWsChild = 0x40000000u;
inline constexpr uint32_t kWsVisible = 0x10000000u;
inline constexpr uint32_t kWsCaption = 0x00C00000u;
inline constexpr uint32_t kWsBorder = 0x00800000u;
inline constexpr uint32_t kWsSysMenu = 0x00080000u;
inline constexpr uint32_t kWsGroup = 0x00020000u;
inline constexpr uint32_t kWsTabStop = 0x00010000u;
inline constexpr uint32_t kDsSetFont = 0x00000040u;
inline constexpr uint32_t kSsLeft = 0x0, kSsCenter = 0x1, kSsRight = 0x2, kSsIcon = 0x3;
inline constexpr uint32_t kBsPushButton = 0x0, kBsDefPushButton = 0x1, kBsAutoCheckBox = 0x3,
                          kBsGroupBox = 0x7;
inline constexpr uint32_t kCbsSimple = 0x1, kCbsTypeMask = 0x3;

inline constexpr uint16_t kAtomButton = 0x0080;
inline constexpr uint16_t kAtomEdit = 0x0081;
inline constexpr uint16_t kAtomStatic = 0x0082;
inline constexpr uint16_t kAtomListBox = 0x0083;
inline constexpr uint16_t kAtomScrollBar = 0x0084;
inline constexpr uint16_t kAtomComboBox = 0x0085;

// Menu item flags of the standard menu template.
inline constexpr uint16_t kMfGrayed = 0x0001;
inline constexpr uint16_t kMfDisabled = 0x0002;
inline constexpr uint16_t kMfChecked = 0x0008;
inline constexpr uint16_t kMfPopup = 0x0010;
inline constexpr uint16_t kMfMenuBarBreak = 0x0020;
inline constexpr uint16_t kMfMenuBreak = 0x0040;
inline constexpr uint16_t kMfEnd = 0x0080;
inline constexpr uint16_t kMfSeparator = 0x0800;
inline constexpr uint16_t kMfHelp = 0x4000;

} // namespace qb::rc
