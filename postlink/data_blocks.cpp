#include "postlink/data_blocks.h"

#include "postlink/big_endian.h"

namespace tarvoline::postlink {
namespace {

class BlockExpander {
  public:
    BlockExpander(std::span<const std::uint8_t> input, std::size_t cursor,
                  std::span<std::uint8_t> image)
        : input_(input), cursor_(cursor), image_(image) {}

    std::size_t cursor() const { return cursor_; }
    const std::string& detail() const { return detail_; }

    bool ExpandBlock(std::int64_t a5Offset) {
        std::uint8_t start[4];
        if (!ReadInput(start, 4)) {
            return false;
        }
        output_ = a5Offset + static_cast<std::int32_t>(ReadBigEndian32(start));
        for (;;) {
            std::uint8_t command = 0;
            if (!ReadInput(&command, 1)) {
                return false;
            }
            if (command >= 0x10 || (command >= 0x01 && command <= 0x04)) {
                if (!Run(command)) {
                    return false;
                }
            } else {
                return true;  // 0x00 and 0x05 to 0x0F end the block
            }
        }
    }

  private:
    bool Run(std::uint8_t command) {
        if (command & 0x80) {
            return CopyInput((command & 0x7F) + 1);
        }
        if (command & 0x40) {
            Skip((command & 0x3F) + 1);
            return true;
        }
        if (command & 0x20) {
            std::uint8_t value = 0;
            return ReadInput(&value, 1) && Repeat(value, (command & 0x1F) + 2);
        }
        if (command & 0x10) {
            return Repeat(0xFF, (command & 0x0F) + 1);
        }
        // The four forms below each produce eight output bytes.
        switch (command) {
            case 0x01:
                Skip(4);
                return Repeat(0xFF, 2) && CopyInput(2);
            case 0x02:
                Skip(4);
                return Repeat(0xFF, 1) && CopyInput(3);
            case 0x03:
                if (!Write(0xA9) || !Write(0xF0)) {
                    return false;
                }
                Skip(2);
                if (!CopyInput(2)) {
                    return false;
                }
                Skip(1);
                return CopyInput(1);
            default:  // 0x04
                if (!Write(0xA9) || !Write(0xF0)) {
                    return false;
                }
                Skip(1);
                if (!CopyInput(3)) {
                    return false;
                }
                Skip(1);
                return CopyInput(1);
        }
    }

    bool ReadInput(std::uint8_t* out, std::size_t count) {
        if (cursor_ > input_.size() || count > input_.size() - cursor_) {
            detail_ = "a data block reads past the end of DATA 0";
            return false;
        }
        for (std::size_t i = 0; i < count; ++i) {
            out[i] = input_[cursor_ + i];
        }
        cursor_ += count;
        return true;
    }

    bool CopyInput(int count) {
        std::uint8_t bytes[128];
        if (!ReadInput(bytes, static_cast<std::size_t>(count))) {
            return false;
        }
        for (int i = 0; i < count; ++i) {
            if (!Write(bytes[i])) {
                return false;
            }
        }
        return true;
    }

    bool Repeat(std::uint8_t value, int count) {
        for (int i = 0; i < count; ++i) {
            if (!Write(value)) {
                return false;
            }
        }
        return true;
    }

    // Skipping alone touches nothing, so only a write is checked against the image.
    void Skip(int count) { output_ += count; }

    bool Write(std::uint8_t value) {
        if (output_ < 0 || output_ >= static_cast<std::int64_t>(image_.size())) {
            detail_ =
                "a data block writes outside the image, at image offset " + std::to_string(output_);
            return false;
        }
        image_[static_cast<std::size_t>(output_++)] = value;
        return true;
    }

    std::span<const std::uint8_t> input_;
    std::size_t cursor_;
    std::span<std::uint8_t> image_;
    std::int64_t output_ = 0;
    std::string detail_;
};

}  // namespace

bool ExpandDataBlocks(std::span<const std::uint8_t> data0, std::size_t& cursor,
                      std::span<std::uint8_t> image, std::int64_t a5Offset, std::string& detail) {
    BlockExpander expander(data0, cursor, image);
    for (int block = 0; block < kDataBlockCount; ++block) {
        if (!expander.ExpandBlock(a5Offset)) {
            detail = expander.detail();
            return false;
        }
    }
    cursor = expander.cursor();
    return true;
}

}  // namespace tarvoline::postlink
