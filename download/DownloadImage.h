#pragma once
// The monitor's binary LOAD: the image travels at the download baud rate in blocks of at most
// 1024 bytes, each asked for by the monitor.

#include <cstdint>

struct CTransferContext;

constexpr int kLoadBlockSize = 1024;

// 0 when the monitor confirmed the load; -1 on any failure (its messages shown) or when the
// user cancelled. The line is back at the normal rate, format and time-outs either way.
// title: the progress window's.
std::int16_t DownloadImage(const CTransferContext& ctx, const std::uint8_t* image,
                           std::int32_t length, std::uint32_t loadAddress, std::int32_t byteCount,
                           const char* title = "Sending CPM68K File");
