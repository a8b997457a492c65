#pragma once
// Command numbers of the menus, toolbar and accelerators. Each QAction carries its number as data.

namespace cmd {
inline constexpr int kCommSettings = 32771;
inline constexpr int kCaptureIndicator = 32772;
inline constexpr int kDisconnect = 32773;
inline constexpr int kClear = 32788;
inline constexpr int kSendBreak = 32800;
inline constexpr int kHelpContents = 32807;
inline constexpr int kPasteToTarget = 32808;
inline constexpr int kFilePrint = 57607;
inline constexpr int kEditCopy = 57634;
inline constexpr int kEditCut = 57635;
inline constexpr int kEditFind = 57636;
inline constexpr int kEditRepeat = 57640;
inline constexpr int kAppAbout = 57664;
inline constexpr int kAppExit = 57665;
inline constexpr int kIndicatorCaps = 59137;
inline constexpr int kIndicatorNum = 59138;
inline constexpr int kIndicatorScrl = 59139;
inline constexpr int kToolBar = 59392;
inline constexpr int kStatusBar = 59393;
}  // namespace cmd
