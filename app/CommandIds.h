#pragma once
// Command numbers of the menus, toolbar and accelerators. Each QAction carries its number as data.

namespace cmd {
inline constexpr int kCommSettings = 32771;
inline constexpr int kCaptureIndicator = 32772;
inline constexpr int kDisconnect = 32773;
inline constexpr int kXmodemSend = 32775;
inline constexpr int kXmodemReceive = 32776;
inline constexpr int kPostLinkAndLoad = 32779;
inline constexpr int kPostLink = 32780;
inline constexpr int kLoadHex = 32781;
inline constexpr int kLoadCpm68k = 32782;
inline constexpr int kLoadProgram = 32783;
inline constexpr int kClear = 32788;
inline constexpr int kCaptureStart = 32794;
inline constexpr int kCaptureStop = 32795;
inline constexpr int kCapturePause = 32796;
inline constexpr int kCaptureResume = 32797;
inline constexpr int kCaptureOptions = 32798;
inline constexpr int kFormatWrap = 32799;
inline constexpr int kSendBreak = 32800;
inline constexpr int kFormatBackground = 32801;
inline constexpr int kSendSpecialChars = 32802;
inline constexpr int kPasteDateTime = 32803;
inline constexpr int kHelpContents = 32807;
inline constexpr int kPasteToTarget = 32808;
inline constexpr int kTimeStamps = 32810;
inline constexpr int kAnsiColours = 32831;
inline constexpr int kLoadAgain = 32811;
inline constexpr int kLoadOnRebuild = 32812;
inline constexpr int kHexView = 32830;
inline constexpr int kConnect = 32813;  // File > Connect / Disconnect, one toggling command
inline constexpr int kCancelKey = 32768;  // Esc: handled by nobody, so nothing is sent
inline constexpr int kFilePrintSetup = 57606;
inline constexpr int kFilePrint = 57607;
inline constexpr int kFilePrintPreview = 57609;
inline constexpr int kEditCopy = 57634;
inline constexpr int kEditCut = 57635;
inline constexpr int kEditFind = 57636;
inline constexpr int kEditPaste = 57637;  // Shift+Insert: the terminal refuses local pastes
inline constexpr int kEditRepeat = 57640;
inline constexpr int kEditUndo = 57643;
inline constexpr int kNextPane = 57680;
inline constexpr int kPrevPane = 57681;
inline constexpr int kOleProperties = 57860;
inline constexpr int kAppAbout = 57664;
inline constexpr int kAppExit = 57665;
inline constexpr int kFormatFont = 57696;
inline constexpr int kRecentFile = 57616;  // the first of the four recent-file entries
inline constexpr int kIndicatorCaps = 59137;
inline constexpr int kIndicatorNum = 59138;
inline constexpr int kIndicatorScrl = 59139;
inline constexpr int kToolBar = 59392;
inline constexpr int kStatusBar = 59393;
}  // namespace cmd
