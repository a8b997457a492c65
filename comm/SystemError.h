#pragma once
// The system's description of an error number, for messages shown to the user.

#include <string>

#include "CommTypes.h"

std::string FormatSystemMessage(DWORD error);

// Errors of network ports that have no error number of their own. The host name lookup's
// codes (getaddrinfo's EAI_ values) are carried as kErrorHostLookup plus the code's magnitude.
constexpr DWORD kErrorHostLookup = 0x20000000;
constexpr DWORD kErrorComPortRefused = 0x20010001;   // the server refused the COM port option
constexpr DWORD kErrorComPortNoAnswer = 0x20010002;  // the server never answered it

// The error for a failed host lookup (a getaddrinfo result other than 0 and EAI_SYSTEM).
DWORD HostLookupError(int gaiCode);
