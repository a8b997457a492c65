#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>

namespace tarvoline::postlink {

// A zero-filled heap block that reports allocation failure as a value. calloc keeps untouched
// pages of a large image unmapped, so a .Bin that claims a huge A5 world costs address space,
// not memory, until it is rejected.
class ByteBuffer {
  public:
    ByteBuffer() = default;

    static std::optional<ByteBuffer> Allocate(std::size_t size) {
        // calloc(0) may return null; one spare byte keeps "no memory" unambiguous.
        auto* data = static_cast<std::uint8_t*>(std::calloc(size + 1, 1));
        if (data == nullptr) {
            return std::nullopt;
        }
        ByteBuffer buffer;
        buffer.data_.reset(data);
        buffer.size_ = size;
        return buffer;
    }

    std::uint8_t* data() { return data_.get(); }
    const std::uint8_t* data() const { return data_.get(); }
    std::size_t size() const { return size_; }
    std::span<std::uint8_t> span() { return {data_.get(), size_}; }
    std::span<const std::uint8_t> span() const { return {data_.get(), size_}; }

  private:
    struct Free {
        void operator()(std::uint8_t* p) const { std::free(p); }
    };
    std::unique_ptr<std::uint8_t, Free> data_;
    std::size_t size_ = 0;
};

}  // namespace tarvoline::postlink
